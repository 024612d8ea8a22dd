// The decoder's output lines as multimon-ng 1.2.0 printed them for pages rendered by this
// system (captured with -f alpha, -f numeric, -f auto and -C DE), and lines that must not be
// taken for pages.
#include "monitor/multimon_line.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvex;

namespace {

struct LineCase {
    const char* line;
    bool page;
    int baud = 0;
    uint32_t ric = 0;
    int function = 0;
    DecodeKind kind = DecodeKind::ToneOnly;
    const char* text = "";
};

const LineCase Lines[] = {
    {"POCSAG1200: Address: 1234567  Function: 3  Alpha:   Hello [world] {x}|~\\<EOT><EOT>", true,
     1200, 1234567, 3, DecodeKind::Alpha, "Hello [world] {x}|~\\<EOT><EOT>"},
    {"POCSAG1200: Address: 1234567  Function: 3  Alpha:   Hello ÄworldÜ äxüößÖ<EOT><EOT>\n", true,
     1200, 1234567, 3, DecodeKind::Alpha, "Hello ÄworldÜ äxüößÖ<EOT><EOT>"},
    {"POCSAG1200: Address:       8  Function: 0  Numeric: 123  ", true, 1200, 8, 0,
     DecodeKind::Numeric, "123  "},
    {"POCSAG2400: Address:       8  Function: 0  Numeric: .U -][    \r\n", true, 2400, 8, 0,
     DecodeKind::Numeric, ".U -][    "},
    {"POCSAG512: Address: 2097151  Function: 3  Alpha:   x<EOT>", true, 512, 2097151, 3,
     DecodeKind::Alpha, "x<EOT>"},
    {"POCSAG1200: Address:      12  Function: 2 ", true, 1200, 12, 2, DecodeKind::ToneOnly},
    {"POCSAG1200: Address:       0  Function: 0 ", true, 1200, 0, 0, DecodeKind::ToneOnly},
    // Text that begins with blanks keeps them; the label's own padding is not text.
    {"POCSAG1200: Address:      99  Function: 1  Alpha:     two blanks", true, 1200, 99, 1,
     DecodeKind::Alpha, "  two blanks"},
    {"POCSAG1200: Address:      99  Function: 1  Alpha:   ", true, 1200, 99, 1, DecodeKind::Alpha,
     ""},
    // Not pages.
    {"POCSAG1200: Address:       8  Function: 3  Skyper:   <ENQ>", false},
    {"POCSAG1200: Address:       -  Function: -  Alpha:   partial", false},
    {"POCSAG1600: Address:       8  Function: 3  Alpha:   x", false},
    {"POCSAG1200: Address: 2097152  Function: 3  Alpha:   x", false},
    {"POCSAG1200: Address: 12345678  Function: 3  Alpha:   x", false},
    {"POCSAG1200: Address:       8  Function: 4  Alpha:   x", false},
    {"POCSAG1200: Address:       8  Function: 3  Beta:    x", false},
    {"POCSAG1200: Address:       8  Function: 3x", false},
    {"POCSAG1200: Address:", false},
    {"Enabled demodulators: POCSAG512 POCSAG1200 POCSAG2400", false},
    {"===POCSAG1200 stats===", false},
    {"", false},
};

TEST(MultimonLine, ReadsEachFormTheDecoderPrints) {
    for (const auto& c : Lines) {
        SCOPED_TRACE(c.line);
        const auto decode = parseMultimonLine(c.line);
        ASSERT_EQ(decode.has_value(), c.page);
        if (!c.page)
            continue;
        EXPECT_EQ(decode->baud, c.baud);
        EXPECT_EQ(decode->ric, c.ric);
        EXPECT_EQ(decode->functionBits, c.function);
        EXPECT_EQ(decode->kind, c.kind);
        EXPECT_EQ(decode->text, c.text);
    }
}

TEST(MultimonLine, RefusesOverlongLines) {
    const std::string head = "POCSAG1200: Address:      99  Function: 1  Alpha:   ";
    EXPECT_TRUE(parseMultimonLine(head + std::string(MaxMultimonLine - head.size(), 'x')));
    EXPECT_FALSE(parseMultimonLine(head + std::string(MaxMultimonLine, 'x')));
}

} // namespace
