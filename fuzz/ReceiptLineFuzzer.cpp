// Feeds arbitrary bytes to the receipt line reader: a line either is refused
// or decodes into a receipt that writes back as a line reading the same.
#include "core/Receipt.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<Receipt> receipt = Receipt::fromJsonLine(line);
    if (!receipt)
        return 0;
    if (receipt->status < 0 || receipt->status > 999)
        __builtin_trap();
    // Whatever was read can be written and read again (the summary may be cut).
    const std::optional<Receipt> again = Receipt::fromJsonLine(receipt->toJsonLine());
    if (!again || again->actionId != receipt->actionId || again->signedMessage != receipt->signedMessage)
        __builtin_trap();
    return 0;
}
