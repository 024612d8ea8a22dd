#include "encoder/codeword.h"
#include "encoder/errors.h"
#include "encoder/page_encoder.h"

#include "test_pages.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvex;
using tarvex::test::page;

namespace {

std::string repeat(const std::string& word, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += word + " ";
    return s;
}

} // namespace

TEST(Transmission, HelloListingLineByLine) {
    PageEncoder enc;
    const std::string listing =
        enc.BuildTransmission(page("1234567", 0, Coding::Alphanumeric, "Hello"));
    const std::string expected = repeat("AAAAAAAA", 18) + "\r\n7CD215D8\r\n" +
                                 repeat("7A89C197", 8) + "\r\n" + repeat("7A89C197", 6) +
                                 "4B5A0780 89A668A5 \r\n7CD215D8\r\nCDFB2765 84081630 " +
                                 repeat("7A89C197", 6) + "\r\n" + repeat("7A89C197", 8);
    EXPECT_EQ(listing, expected);
    EXPECT_EQ(enc.listing(), expected);
}

TEST(Transmission, NumericEmptyPageLayout) {
    PageEncoder enc;
    enc.BuildTransmission(page("1234567", 0, Coding::Numeric, ""));
    for (int s = 1; s <= 18; ++s)
        EXPECT_EQ(enc.CodewordBuffer[s], PreambleCodeword);
    EXPECT_EQ(enc.CodewordBuffer[19], StockSyncCodeword);
    for (int s = 20; s <= 33; ++s)
        EXPECT_EQ(enc.CodewordBuffer[s], StockIdleCodeword);
    EXPECT_EQ(enc.CodewordBuffer[34], 0x4B5A0780u);
    EXPECT_EQ(enc.CodewordBuffer[35], StockIdleCodeword);
    EXPECT_EQ(enc.LastSlot, 35);
}

TEST(Transmission, AddressStandsInItsFrameForEveryFrame) {
    for (int frame = 0; frame < 8; ++frame) {
        PageEncoder enc;
        enc.BuildTransmission(page(std::to_string(4096 + frame), 2, Coding::Numeric, "1"));
        EXPECT_EQ(enc.CodewordBuffer[20 + 2 * frame], addressCodeword(4096 + frame, 2));
        for (int s = 20; s < 20 + 2 * frame; ++s)
            EXPECT_EQ(enc.CodewordBuffer[s], StockIdleCodeword);
        EXPECT_EQ(enc.LastSlot, frame == 7 ? 52 : 35); // frame 7's message fills slot 35
    }
}

TEST(Transmission, LowerCaseSyncTextGivesOneLine) {
    PageEncoder enc;
    ASSERT_TRUE(enc.setSyncIdle("7cd215d8", "7A89C197"));
    const std::string listing = enc.BuildTransmission(page("8", 0, Coding::Numeric, "12"));
    EXPECT_EQ(listing.find('\r'), std::string::npos);
    EXPECT_EQ(listing.size(), 35u * 9);
    EXPECT_EQ(enc.CodewordBuffer[19], StockSyncCodeword);
}

TEST(Transmission, CustomSyncAndIdleCodewordsAreUsed) {
    PageEncoder enc;
    ASSERT_TRUE(enc.setSyncIdle("12345678", "9ABCDEF0"));
    EXPECT_FALSE(enc.setSyncIdle("", "9ABCDEF0"));
    EXPECT_EQ(enc.SyncText, "12345678");
    const std::string listing = enc.BuildTransmission(page("0", 0, Coding::Numeric, ""));
    EXPECT_EQ(enc.CodewordBuffer[19], 0x12345678u);
    EXPECT_EQ(enc.CodewordBuffer[35], 0x9ABCDEF0u);
    EXPECT_NE(listing.find("\r\n12345678\r\n"), std::string::npos);
}

TEST(Transmission, LongestTypedMessagesEndEarlyAndLimitsHoldOnEveryFrame) {
    int worstAlpha = 0, worstNumeric = 0;
    for (int frame = 0; frame < 8; ++frame) {
        PageEncoder enc;
        enc.BuildTransmission(
            page(std::to_string(frame), 0, Coding::Alphanumeric, std::string(256, 'x')));
        worstAlpha = std::max(worstAlpha, enc.LastSlot);
        enc.BuildTransmission(
            page(std::to_string(frame), 0, Coding::Numeric, std::string(256, '7')));
        worstNumeric = std::max(worstNumeric, enc.LastSlot);
        EXPECT_GE(enc.maxMessageLength(frame, Coding::Alphanumeric), 410);
        EXPECT_GE(enc.maxMessageLength(frame, Coding::Numeric), 720);
    }
    EXPECT_EQ(worstAlpha, 137);
    EXPECT_EQ(worstNumeric, 103);
}

TEST(Transmission, MessagesUpToTheLimitBuildExactlyAsPredicted) {
    for (Coding coding : {Coding::Alphanumeric, Coding::Numeric}) {
        for (int frame = 0; frame < 8; ++frame) {
            PageEncoder enc;
            const int max = enc.maxMessageLength(frame, coding);
            for (int len = max - 25; len <= max; ++len) {
                enc.BuildTransmission(
                    page(std::to_string(frame), 0, coding, std::string(len, '3')));
                ASSERT_EQ(enc.LastSlot, PageEncoder::predictedLastSlot(frame, coding, len));
                ASSERT_LE(enc.LastSlot, 188);
                ASSERT_EQ(enc.CodewordBuffer[enc.LastSlot], enc.IdleCodeword);
            }
        }
    }
}

TEST(Transmission, TooLongMessageIsRefusedAndBufferLeftAlone) {
    PageEncoder enc;
    enc.BuildTransmission(page("1234567", 0, Coding::Alphanumeric, "Hello"));
    const std::string before = enc.listing();
    const int max = enc.maxMessageLength(7, Coding::Alphanumeric);
    try {
        enc.BuildTransmission(page("1234567", 0, Coding::Alphanumeric, std::string(max + 1, 'x')));
        FAIL() << "too long a page was built";
    } catch (const PageRefused& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("slot 188"), std::string::npos) << text;
        EXPECT_NE(text.find("At most " + std::to_string(max)), std::string::npos) << text;
    }
    EXPECT_EQ(enc.LastSlot, 52);
    EXPECT_EQ(enc.listing(), before);
    EXPECT_EQ(enc.CodewordBuffer[201], 0u);
}

TEST(Transmission, AddressesEqualToSyncOrIdleAreRefused) {
    EXPECT_EQ(addressCodeword(2045056, 2), StockSyncCodeword);
    EXPECT_EQ(addressCodeword(2007664, 0), StockIdleCodeword);
    PageEncoder enc;
    for (int ric : {2045056, 2045063}) {
        EXPECT_THROW(enc.BuildTransmission(page(std::to_string(ric), 2, Coding::Alphanumeric, "x")),
                     PageRefused);
        EXPECT_NO_THROW(
            enc.BuildTransmission(page(std::to_string(ric), 3, Coding::Alphanumeric, "x")));
    }
    try {
        enc.BuildTransmission(page("2007671", 0, Coding::Numeric, "1"));
        FAIL();
    } catch (const PageRefused& e) {
        EXPECT_NE(std::string(e.what()).find("idle codeword"), std::string::npos);
    }
    // With other sync and idle codewords the same addresses are fine.
    ASSERT_TRUE(enc.setSyncIdle("12345678", "9ABCDEF0"));
    EXPECT_NO_THROW(enc.BuildTransmission(page("2045056", 2, Coding::Numeric, "1")));
}
