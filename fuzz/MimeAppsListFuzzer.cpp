#include "platform/MimeAppsList.h"

#include <cstddef>
#include <cstdint>

// A mimeapps.list as anything may have left it: taking our association out
// never adds text, never leaves one of ours behind in an association group,
// and a second pass finds nothing more to remove.
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
    return 0;
}
