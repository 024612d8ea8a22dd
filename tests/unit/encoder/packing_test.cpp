#include "encoder/codeword.h"
#include "encoder/page_encoder.h"

#include "test_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;
using tarvex::test::page;

namespace {

// Reads a transmission back the way a pager does: finds the address codeword in its frame,
// then collects the 20 data bits of every following message codeword, skipping batch starts.
struct Decoded {
    Codeword address = 0;
    std::vector<Codeword> messageWords;
    std::vector<bool> bits;
};

Decoded decode(const PageEncoder& enc) {
    Decoded d;
    const int addressSlot = 20 + 2 * enc.FrameNumber;
    d.address = enc.CodewordBuffer[addressSlot];
    for (int s = addressSlot + 1; s <= enc.LastSlot; ++s) {
        if ((s - 19) % 17 == 0) {
            EXPECT_EQ(enc.CodewordBuffer[s], enc.SyncCodeword) << "slot " << s;
            continue;
        }
        const Codeword cw = enc.CodewordBuffer[s];
        if (!(cw & 0x80000000u))
            break;
        EXPECT_TRUE(isValidCodeword(cw)) << "slot " << s;
        d.messageWords.push_back(cw);
        for (int b = 30; b >= 11; --b)
            d.bits.push_back((cw >> b) & 1u);
    }
    return d;
}

std::string alphaText(const std::vector<bool>& bits) {
    std::string text;
    for (std::size_t i = 0; i + 7 <= bits.size(); i += 7) {
        int c = 0;
        for (int b = 0; b < 7; ++b)
            c |= bits[i + b] << b;
        if (c == 4)
            break;
        text += static_cast<char>(c);
    }
    return text;
}

} // namespace

TEST(Packing, EmptyMessages) {
    PageEncoder enc;
    enc.BuildTransmission(page("0", 0, Coding::Alphanumeric, ""));
    EXPECT_EQ(enc.CodewordBuffer[21], 0x90204208u);
    EXPECT_EQ(enc.CodewordBuffer[22], enc.IdleCodeword);

    enc.BuildTransmission(page("0", 0, Coding::Numeric, ""));
    EXPECT_EQ(enc.CodewordBuffer[20], 0x00000000u);
    EXPECT_EQ(enc.CodewordBuffer[21], enc.IdleCodeword);
    EXPECT_EQ(enc.LastSlot, 35);
}

TEST(Packing, NumericDigitsAndTable) {
    PageEncoder enc;
    enc.BuildTransmission(page("0", 0, Coding::Numeric, "01234"));
    EXPECT_EQ(enc.CodewordBuffer[21], 0x842613B7u);
    EXPECT_EQ(enc.CodewordBuffer[22], enc.IdleCodeword);

    enc.BuildTransmission(page("0", 0, Coding::Numeric, "0123456789"));
    EXPECT_EQ(enc.CodewordBuffer[21], 0x842613B7u);
    EXPECT_EQ(enc.CodewordBuffer[22], 0xD370CFDEu);

    // Space is 0, "A" 12, "U" 5; the fill after the last digit is code 12.
    auto nibbles = [&](const std::string& msg) {
        enc.BuildTransmission(page("0", 0, Coding::Numeric, msg));
        std::vector<int> out;
        const auto bits = decode(enc).bits;
        for (std::size_t i = 0; i + 4 <= bits.size(); i += 4)
            out.push_back(bits[i] | bits[i + 1] << 1 | bits[i + 2] << 2 | bits[i + 3] << 3);
        return out;
    };
    EXPECT_EQ(nibbles(" AU-][*()"), (std::vector<int>{0, 12, 5, 13, 14, 15, 10, 8, 9, 12}));
    EXPECT_EQ(nibbles(std::string(1, '\x19') + "7"), (std::vector<int>{11, 7, 12, 12, 12}));
}

TEST(Packing, HelloOnFrameSevenCrossesTheBatch) {
    PageEncoder enc;
    enc.BuildTransmission(page("1234567", 0, Coding::Alphanumeric, "Hello"));
    EXPECT_EQ(enc.CodewordBuffer[34], 0x4B5A0780u);
    EXPECT_EQ(enc.CodewordBuffer[35], 0x89A668A5u);
    EXPECT_EQ(enc.CodewordBuffer[36], enc.SyncCodeword);
    EXPECT_EQ(enc.CodewordBuffer[37], 0xCDFB2765u);
    EXPECT_EQ(enc.CodewordBuffer[38], 0x84081630u);
    EXPECT_EQ(enc.LastSlot, 52);
}

TEST(Packing, AlphaRoundTripsOnEveryFrameAndLength) {
    // Lengths that put the 20-bit codeword boundary at every position inside a character and
    // let codewords fill up exactly at a sync slot (the carry-forward case).
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>(' ' + (i * 37) % 95);
    for (int frame = 0; frame < 8; ++frame) {
        for (std::size_t len = 0; len <= 300; len += (len < 60 ? 1 : 7)) {
            PageEncoder enc;
            const std::string msg = text.substr(0, len);
            enc.BuildTransmission(
                page(std::to_string(8 * 1000 + frame), 0, Coding::Alphanumeric, msg));
            ASSERT_EQ(enc.FrameNumber, frame);
            const Decoded d = decode(enc);
            ASSERT_EQ(alphaText(d.bits), msg) << "frame " << frame << " len " << len;
            ASSERT_EQ(d.messageWords.size(), (7 * (len + 1) + 19) / 20);
            ASSERT_EQ(enc.LastSlot,
                      PageEncoder::predictedLastSlot(frame, Coding::Alphanumeric, len));
        }
    }
}

TEST(Packing, AlphaCharacterMapping) {
    PageEncoder enc;
    // Chr 19 goes out as carriage return; bit 7 is dropped; chr 4 is sent as it stands.
    enc.BuildTransmission(page("0", 0, Coding::Alphanumeric, std::string("a\x13") + "\xC1" + "z"));
    EXPECT_EQ(alphaText(decode(enc).bits), "a\rAz");
    enc.BuildTransmission(page("0", 0, Coding::Alphanumeric, std::string("ab\x04") + "cd"));
    const auto bits = decode(enc).bits;
    EXPECT_EQ(alphaText(bits), "ab");
    // The fill after the end-of-text character repeats its bits (0010000 from bit 0).
    enc.BuildTransmission(page("0", 0, Coding::Alphanumeric, ""));
    const auto fill = decode(enc).bits;
    ASSERT_EQ(fill.size(), 20u);
    for (std::size_t i = 0; i < fill.size(); ++i)
        EXPECT_EQ(fill[i], (i % 7) == 2) << i;
}

TEST(Packing, NumericEndingInLastSlotOfBatchGetsAnotherBatch) {
    for (int digits = 71; digits <= 75; ++digits) {
        PageEncoder enc;
        enc.BuildTransmission(page("0", 0, Coding::Numeric, std::string(digits, '5')));
        EXPECT_EQ(enc.LastSlot, 52) << digits;
        EXPECT_NE(enc.CodewordBuffer[35], enc.IdleCodeword);
        EXPECT_EQ(enc.CodewordBuffer[36], enc.SyncCodeword);
        for (int s = 37; s <= 52; ++s)
            EXPECT_EQ(enc.CodewordBuffer[s], enc.IdleCodeword);
    }
    // Ending in the last but one slot needs no extra batch.
    PageEncoder enc;
    enc.BuildTransmission(page("0", 0, Coding::Numeric, std::string(70, '5')));
    EXPECT_EQ(enc.CodewordBuffer[35], enc.IdleCodeword);
    EXPECT_EQ(enc.LastSlot, 35);
}
