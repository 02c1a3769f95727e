// Feeds arbitrary bytes to the single-instance message decoder: whatever it
// accepts is one of the two requests, and encodes back to the same request.
#include "app/shell/SingleInstance.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<SingleInstance::Message> message = SingleInstance::decode(line);
    if (!message)
        return 0;
    if (line.size() > SingleInstance::maximumMessageSize || !line.endsWith('\n'))
        __builtin_trap();
    if (message->kind == SingleInstance::Message::Kind::open && message->url.scheme() != QLatin1String("quorvane"))
        __builtin_trap();
    const QByteArray encoded = SingleInstance::encode(*message);
    const std::optional<SingleInstance::Message> again = SingleInstance::decode(encoded);
    if (encoded.isEmpty() || !again || !(*again == *message))
        __builtin_trap();
    return 0;
}
