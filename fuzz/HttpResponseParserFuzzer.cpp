// Feeds arbitrary bytes to the poll connection's response parser, as one piece
// and split where the input says: nothing it reports lies outside the buffer or
// its limits, and the answer does not depend on how the bytes arrived.
#include "core/HttpResponseParser.h"

#include <cstddef>
#include <cstdint>

namespace {

using Outcome = HttpResponseParser::Outcome;

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    // Small limits, so that inputs reach them.
    const HttpResponseParser::Limits limits { 1024, 4096 };
    const bool endOfStream = data[0] & 1;
    const bool answersHead = data[0] & 2;
    const QByteArrayView wire(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    const qsizetype split = qsizetype((data[1] << 8 | data[2]) % (wire.size() + 1));

    const auto whole = HttpResponseParser::parse(wire, endOfStream, limits, answersHead);
    check(whole.consumed >= 0 && whole.consumed <= wire.size());
    check(whole.body.size() <= limits.maximumBodySize);
    check(whole.error.isEmpty() == (whole.outcome == Outcome::Incomplete || whole.outcome == Outcome::Complete));
    if (whole.outcome == Outcome::Complete)
        check(whole.consumed > 0 && whole.status >= 100 && whole.status <= 599);
    else
        check(whole.consumed == 0 && whole.body.isEmpty());
    if (whole.outcome != Outcome::Complete && whole.outcome != Outcome::Incomplete)
        check(!whole.keepAlive);

    // The first bytes only, the peer still sending: not yet known, or already
    // known the same way.
    const auto prefix = HttpResponseParser::parse(wire.first(split), false, limits, answersHead);
    if (endOfStream)
        return 0;
    check(prefix.outcome == Outcome::Incomplete || prefix.outcome == whole.outcome);
    if (prefix.outcome == Outcome::Complete)
        check(prefix == whole);
    if (whole.outcome == Outcome::Complete)
        check((split < whole.consumed) == (prefix.outcome == Outcome::Incomplete));
    return 0;
}
