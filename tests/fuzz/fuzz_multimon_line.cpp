// Fuzz target: one line of decoder output, as the off-air monitor reads multimon-ng. The
// parser never throws; a line it takes as a page has a POCSAG rate, address and function bits
// in range and a text that is the end of the line; printed back in the decoder's form it
// reads the same. The same bytes as a page's message: the decoder's rendering predicted for
// them has no raw control code, stays within the decoder's line, and a decode showing exactly
// that rendering (with its padding) confirms the page.
#include "fuzz_check.h"
#include "monitor/multimon_line.h"
#include "monitor/multimon_text.h"
#include "monitor/offair_matcher.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

std::string printed(const Decode& d) {
    char head[80];
    std::snprintf(head, sizeof head, "POCSAG%d: Address: %7u  Function: %d", d.baud, d.ric,
                  d.functionBits);
    switch (d.kind) {
    case DecodeKind::Alpha:
        return std::string(head) + "  Alpha:   " + d.text;
    case DecodeKind::Numeric:
        return std::string(head) + "  Numeric: " + d.text;
    case DecodeKind::ToneOnly:
        break;
    }
    return std::string(head) + " ";
}

void checkLine(std::string_view line) {
    const auto decode = parseMultimonLine(line);
    if (!decode)
        return;
    FUZZ_CHECK(decode->baud == 512 || decode->baud == 1200 || decode->baud == 2400, quoted(line));
    FUZZ_CHECK(decode->ric <= 2097151 && decode->functionBits >= 0 && decode->functionBits <= 3,
               quoted(line));
    FUZZ_CHECK(line.find(decode->text) != std::string_view::npos, quoted(line));
    FUZZ_CHECK(decode->kind != DecodeKind::ToneOnly || decode->text.empty(), quoted(line));
    const std::string again = printed(*decode);
    const auto back = parseMultimonLine(again);
    FUZZ_CHECK(back && back->baud == decode->baud && back->ric == decode->ric &&
                   back->functionBits == decode->functionBits && back->kind == decode->kind &&
                   back->text == decode->text,
               quoted(line) + " printed back as " + quoted(again));
}

void checkRendering(std::string_view bytes, std::string_view charset) {
    const std::string alpha = decoderAlphaText(bytes, charset);
    FUZZ_CHECK(alpha.size() <= 1023, quoted(bytes));
    for (const char c : alpha)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127, quoted(bytes));
    PageRecord page{77, 3, Coding::Alphanumeric, std::string(bytes), {}};
    Decode heard{1200, 77, 3, DecodeKind::Alpha, alpha + "<EOT>"};
    FUZZ_CHECK(decodeMatchesPage(heard, page, charset), quoted(bytes));

    const std::string digits = decoderNumericText(bytes);
    FUZZ_CHECK(digits.size() == bytes.size(), quoted(bytes));
    page.coding = Coding::Numeric;
    heard.kind = bytes.empty() ? DecodeKind::ToneOnly : DecodeKind::Numeric;
    heard.text = bytes.empty() ? std::string() : digits + "  ";
    FUZZ_CHECK(decodeMatchesPage(heard, page, charset), quoted(bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkLine(input);
    // The first byte picks the decoder's set for the rendering checks.
    static constexpr std::string_view Sets[] = {"", "DE", "SE", "FR", "SI", "US", "DK"};
    const std::string_view set = size ? Sets[data[0] % 7] : Sets[0];
    checkRendering(size ? input.substr(1) : input, set);
    return 0;
}
