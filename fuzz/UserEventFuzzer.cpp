#include "UserEvent.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString frame = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<UserEvent> event = UserEvent::fromFrame(frame)) {
        // Every decoded event carries exactly the members of its kind.
        if (event->kind != UserEvent::Kind::unknown && !event->raw.isEmpty())
            __builtin_trap();
    }
    return 0;
}
