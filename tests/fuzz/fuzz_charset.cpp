// Fuzz target: any bytes as text from the network, mapped to each national set. Only
// printable 7-bit codes, CR and LF come out; the changes account for every difference (the
// input with each change applied is exactly what the pager shows); and what the pager shows
// maps back to the same bytes with no change.
#include "fuzz_check.h"
#include "network/charset.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

/// The input with every reported change applied, in order; the changes must lie in the
/// input where they say, one after another.
std::string applyChanges(std::string_view in, const PagerText& out) {
    std::string shown;
    std::size_t pos = 0;
    for (const CharChange& c : out.changes) {
        FUZZ_CHECK(c.offset >= pos && c.offset <= in.size() &&
                       in.substr(c.offset, c.from.size()) == c.from && !c.from.empty(),
                   "change at " + std::to_string(c.offset) + " of " + quoted(in));
        shown.append(in.substr(pos, c.offset - pos));
        shown += c.to;
        pos = c.offset + c.from.size();
    }
    return shown.append(in.substr(pos));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    for (const Charset set : {Charset::UsAscii, Charset::German, Charset::Swedish, Charset::Danish,
                              Charset::French, Charset::Slovenian}) {
        const PagerText out = toPagerText(in, set);
        const auto where = [&] { return std::string(charsetCode(set)) + " " + quoted(in); };
        for (const char c : out.bytes)
            FUZZ_CHECK((c >= 0x20 && c <= 0x7E) || c == '\r' || c == '\n',
                       "byte " + quoted(std::string(1, c)) + " sent for " + where());
        const std::string shown = fromPagerText(out.bytes, set);
        FUZZ_CHECK(applyChanges(in, out) == shown,
                   "unreported change: " + where() + " shows " + quoted(shown));
        FUZZ_CHECK(out.changes.empty() == (shown == in), "changes listed for " + where());
        const PagerText again = toPagerText(shown, set);
        FUZZ_CHECK(again.bytes == out.bytes && again.changes.empty() && !again.invalidUtf8,
                   "second pass differs: " + where() + " gives " + quoted(again.bytes));
        FUZZ_CHECK(describeChanges(out.changes).size() <= 8 * 64 + 16, "long summary " + where());
    }
    return 0;
}
