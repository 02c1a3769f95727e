#include "core/LinkOutcome.h"

#include <cstddef>
#include <cstdint>

// The back-end's answer to a session link. Only status 200 links; a refusal
// text comes only with a refusal; an answer that does not link seeds nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const int status : {200, 403}) {
        const LinkOutcome outcome = LinkOutcome::fromResponse(status, body);
        if (outcome.linked && (status != 200 || outcome.refusal))
            __builtin_trap();
        if (!outcome.linked && (outcome.seeded || outcome.rulesCount != 0))
            __builtin_trap();
    }
    return 0;
}
