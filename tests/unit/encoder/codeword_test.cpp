#include "encoder/codeword.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/page_encoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

using namespace tarvex;

namespace {

// Remainder of the 31-bit codeword polynomial (bits 31..1) modulo the BCH generator, by plain
// long division: zero for every codeword with correct check bits.
uint32_t bchRemainder(uint32_t codeword) {
    uint64_t poly = codeword >> 1; // 31 bits
    const uint64_t generator = 0x769;
    for (int bit = 30; bit >= 10; --bit)
        if (poly & (uint64_t{1} << bit))
            poly ^= generator << (bit - 10);
    return static_cast<uint32_t>(poly);
}

} // namespace

TEST(Codeword, StockSyncAndIdleAreValidCodewords) {
    for (Codeword cw : {StockSyncCodeword, StockIdleCodeword}) {
        const uint32_t info = (cw >> 11) << 3;
        EXPECT_EQ(FinishCodeword(info, ComputeCheck(info)), cw);
        EXPECT_EQ(bchRemainder(cw), 0u);
    }
}

TEST(Codeword, AddressCodewordsAndFrames) {
    struct Case {
        const char* ric;
        int fb;
        Codeword expected;
        int frame;
    };
    const Case cases[] = {
        {"1234567", 0, 0x4B5A0780, 7}, {"1234567", 3, 0x4B5A1A25, 7},
        {"0", 0, 0x00000000, 0},       {"8", 0, 0x000026EC, 0},
        {"2097151", 3, 0x7FFFF896, 7}, {"  0001234", 1, addressCodeword(1234, 1), 2}};
    for (const auto& c : cases) {
        PageEncoder enc;
        EXPECT_EQ(enc.BuildAddressCodeword(c.ric, c.fb), c.expected) << c.ric;
        EXPECT_EQ(enc.FrameNumber, c.frame) << c.ric;
    }
}

TEST(Codeword, FinishedCodewordsHaveEvenParityValidCheckAndDetectBitErrors) {
    std::mt19937 rng(42);
    for (int n = 0; n < 2000; ++n) {
        const uint32_t info = (rng() & 0x00FFFFFFu) & ~7u;
        const Codeword cw = FinishCodeword(info, ComputeCheck(info));
        ASSERT_EQ(std::popcount(cw) % 2, 0);
        ASSERT_EQ(bchRemainder(cw), 0u);
        ASSERT_TRUE(isValidCodeword(cw));
        if (cw != 0) {
            ASSERT_GE(std::popcount(cw), 6);
        }
        const int a = static_cast<int>(rng() % 32);
        const int b = static_cast<int>(rng() % 32);
        ASSERT_FALSE(isValidCodeword(cw ^ (1u << a)));
        if (a != b) {
            ASSERT_FALSE(isValidCodeword(cw ^ (1u << a) ^ (1u << b)));
        }
    }
    EXPECT_FALSE(isValidCodeword(EndMarker));
}

TEST(Codeword, RicConversionAndRangeErrors) {
    PageEncoder enc;
    for (const char* text : {"", "12a", "1 2", "0x10", "99999999999"}) {
        try {
            enc.BuildAddressCodeword(text, 0);
            ADD_FAILURE() << "accepted " << text;
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(text) + "' is not a valid integer value");
        }
    }
    EXPECT_THROW(enc.BuildAddressCodeword("2097152", 0), PageRefused);
    EXPECT_THROW(enc.BuildAddressCodeword("-1", 0), PageRefused);
    EXPECT_NO_THROW(enc.BuildAddressCodeword("+2097151", 0));
}

TEST(Conversions, HexAndTrim) {
    EXPECT_EQ(hexToCodeword("7cd215d8"), 0x7CD215D8u);
    EXPECT_EQ(hexToCodeword("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(hexToCodeword("1F"), 0x1Fu);
    EXPECT_FALSE(hexToCodeword(""));
    EXPECT_FALSE(hexToCodeword("123456789"));
    EXPECT_FALSE(hexToCodeword("12G4"));
    EXPECT_FALSE(hexToCodeword(" 12"));
    EXPECT_EQ(formatHex8(0xAB), "000000AB");
    EXPECT_EQ(trimControl(std::string_view("\t \x01hi there\r\n ", 14)), "hi there");
    EXPECT_EQ(tryStrToInt("-2147483648"), INT32_MIN);
    EXPECT_FALSE(tryStrToInt("2147483648"));
    EXPECT_FALSE(tryStrToInt("12 "));
}

TEST(Conversions, EscapeControlsKeepsOneEventOnOneLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"Grüße, 12:00 \\ ok", "Grüße, 12:00 \\ ok"}, // ordinary text as it was
        {"Hello\n7654321 - FORGED", "Hello\\x0a7654321 - FORGED"},
        {"a\r\tb", "a\\x0d\\x09b"},
        {"\x1b]0;pwned\x07\x1b[2J", "\\x1b]0;pwned\\x07\\x1b[2J"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        {"c1 \xc2\x9b sep \xe2\x80\xa8", "c1 \\xc2\\x9b sep \\xe2\\x80\\xa8"},
        {"cut \xc2", "cut \xc2"}, // a torn sequence is not a control
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(escapeControls(in), out) << in;
}
