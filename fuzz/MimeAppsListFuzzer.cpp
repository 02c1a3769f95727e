#include "platform/MimeAppsList.h"

#include <cstddef>
#include <cstdint>

// A mimeapps.list as anything may have left it: taking our association out
// never adds text, never leaves one of ours behind in an association group,
// and a second pass finds nothing more to remove; making ours the default
// is read back, and undone by the removal.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray mimeType("x-scheme-handler/quorvane");
    const auto isOurs = [](const QString& entry) { return entry == QLatin1String("quorvane.desktop"); };
    const MimeAppsList::Edit edit = MimeAppsList::withoutAssociations(text, mimeType, isOurs);
    if (edit.removed < 0 || (edit.removed == 0 && edit.text != text))
        __builtin_trap();
    if (edit.text.size() > text.size() + 1)
        __builtin_trap();
    if (MimeAppsList::withoutAssociations(edit.text, mimeType, isOurs).removed != 0)
        __builtin_trap();

    // Making ours the default: read back as the default, and taken out again
    // by the removal.
    const std::optional<QByteArray> chosen = MimeAppsList::withDefault(text, mimeType, QStringLiteral("quorvane.desktop"));
    if (!chosen || chosen->size() > MimeAppsList::maximumSize)
        return 0;
    if (MimeAppsList::defaultFor(*chosen, mimeType) != QLatin1String("quorvane.desktop"))
        __builtin_trap();
    const MimeAppsList::Edit cleared = MimeAppsList::withoutAssociations(*chosen, mimeType, isOurs);
    if (cleared.removed < 1 || MimeAppsList::defaultFor(cleared.text, mimeType) == QLatin1String("quorvane.desktop"))
        __builtin_trap();
    return 0;
}
