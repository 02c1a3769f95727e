// Feeds arbitrary bytes to the single-instance message decoder: whatever it
// accepts is one of the two requests, and its encoded form is stable.
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
    // A URL's encoded form may change once (QUrl escapes a second '#' in the
    // fragment, say), but what the program sends must then stay the same.
    const QByteArray encoded = SingleInstance::encode(*message);
    if (encoded.isEmpty()) {
        // Escaping can lengthen a URL past the size limit; nothing else refuses it.
        if (message->url.toEncoded().size() + 6 <= SingleInstance::maximumMessageSize)
            __builtin_trap();
        return 0;
    }
    const std::optional<SingleInstance::Message> again = SingleInstance::decode(encoded);
    if (!again || again->kind != message->kind || SingleInstance::encode(*again) != encoded)
        __builtin_trap();
    return 0;
}
