#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLILineBuffer.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void checkRoundTrip(const CLIEvent& event)
{
    if (event.progress && !std::isfinite(*event.progress))
        return; // JSON has no spelling for these
    QJsonObject object{{QStringLiteral("type"), event.type}};
    if (event.message)
        object.insert(QStringLiteral("message"), *event.message);
    if (event.progress)
        object.insert(QStringLiteral("progress"), *event.progress);
    if (event.error)
        object.insert(QStringLiteral("error"), *event.error);
    if (event.data) {
        QJsonObject data;
        for (auto it = event.data->constBegin(); it != event.data->constEnd(); ++it)
            data.insert(it.key(), *it);
        object.insert(QStringLiteral("data"), data);
    }
    const std::optional<CLIEvent> again = CLIEvent::decode(QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!again || again->type != event.type || again->message != event.message || again->error != event.error
        || again->data != event.data || again->progress.has_value() != event.progress.has_value())
        __builtin_trap();
}

} // namespace

// The tool's standard output as it arrives: the first byte chooses where the
// rest is cut into two reads; every line the buffer yields is decoded.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype cut = bytes.isEmpty() ? 0 : qsizetype(data[0]) % (bytes.size() + 1);

    CLILineBuffer buffer(4096);
    QList<QByteArray> lines = buffer.append(bytes.first(cut));
    lines += buffer.append(bytes.sliced(cut));
    lines += buffer.finish();
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line.contains('\n') || line.size() > 4096 || line != line.trimmed())
            __builtin_trap();
        if (const std::optional<CLIEvent> event = CLIEvent::decode(line))
            checkRoundTrip(*event);
    }
    // A whole input taken as one line must not crash either.
    if (const std::optional<CLIEvent> event = CLIEvent::decode(bytes))
        checkRoundTrip(*event);
    return 0;
}
