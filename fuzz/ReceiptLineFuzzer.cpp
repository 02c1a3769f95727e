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
    // Whatever was read can be written and read again; a field the writer cut
    // to its limit reads back as the start of what was read.
    const std::optional<Receipt> again = Receipt::fromJsonLine(receipt->toJsonLine());
    if (!again)
        __builtin_trap();
    const auto keptOrCut = [&](const auto& before, const auto& after, QLatin1String key) {
        return again->cut.contains(key) ? before.startsWith(after) && after.size() < before.size() : before == after;
    };
    if (!keptOrCut(receipt->actionId, again->actionId, QLatin1String("action_id"))
        || !keptOrCut(receipt->signedMessage, again->signedMessage, QLatin1String("signed_message")))
        __builtin_trap();
    return 0;
}
