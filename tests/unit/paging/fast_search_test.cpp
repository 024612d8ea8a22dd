// Fast search: the packed transmission's layout, the 256 codes it reaches (decoded back from
// the address codewords), its listing, and the mends for unreceivable codes and the tail.
#include "paging/fast_search.h"

#include "encoder/conversions.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace tarvex;

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        const auto crlf = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, crlf - pos));
        if (crlf == std::string::npos)
            return lines;
        pos = crlf + 2;
    }
}

/// The codes a pager would answer to: address bits × 8 + the frame the codeword stands in.
std::set<int64_t> codesReached(const SlotBuffer& b) {
    std::set<int64_t> codes;
    for (int k = 0; k < 16; ++k) {
        const int batch = 19 + 17 * k;
        for (int frame = 0; frame < 8; ++frame)
            for (int half = 0; half < 2; ++half) {
                const Codeword cw = b[batch + 1 + 2 * frame + half];
                if (cw == StockIdleCodeword)
                    continue;
                EXPECT_TRUE(isValidCodeword(cw)) << formatHex8(cw);
                EXPECT_EQ(cw >> 31, 0u);
                EXPECT_EQ((cw >> 11) & 3u, 1u) << "function bits";
                codes.insert(int64_t{(cw >> 13) & 0x3FFFF} * 8 + frame);
            }
    }
    return codes;
}

TEST(FastSearch, LayoutOfTheTransmission) {
    SlotBuffer b;
    b.fill(1, 2000, 0x11111111);
    const auto t = BuildFastSearch(b, 1000, StockSyncCodeword, StockIdleCodeword, StockSyncText,
                                   StockIdleText);
    for (int s = 1; s <= 18; ++s)
        EXPECT_EQ(b[s], PreambleCodeword);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(b[19 + 17 * k], StockSyncCodeword) << k;
    EXPECT_EQ(b[20], 0x000FA8B9u); // A(1000)
    EXPECT_EQ(b[21], 0x000FCD5Eu); // A(1008)
    EXPECT_EQ(b[37], 0x000FEBB2u); // A(1016), batch 1
    for (int s = 291; s <= 306; ++s)
        EXPECT_EQ(b[s], StockIdleCodeword) << s;
    EXPECT_EQ(b[307], EndMarker);
    EXPECT_EQ(b[308], 0x11111111u);
    EXPECT_EQ(t.LastSlot, 292); // two idle codewords go out after the last batch
    EXPECT_EQ(t.nextStart, 1256);
}

TEST(FastSearch, ReachesTheBlockOf256FromTheMultipleOf8AtOrBelowTheStart) {
    for (int64_t start : {1000, 1003, 0, 2096896}) {
        SlotBuffer b;
        const auto t = BuildFastSearch(b, start, StockSyncCodeword, StockIdleCodeword,
                                       StockSyncText, StockIdleText);
        const auto codes = codesReached(b);
        const int64_t first = start / 8 * 8;
        ASSERT_EQ(codes.size(), 256u) << start;
        EXPECT_EQ(*codes.begin(), first);
        EXPECT_EQ(*codes.rbegin(), first + 255);
        EXPECT_EQ(t.nextStart, start + 256);
    }
}

TEST(FastSearch, ListingLines) {
    SlotBuffer b;
    const auto t = BuildFastSearch(b, 1000, StockSyncCodeword, StockIdleCodeword, StockSyncText,
                                   StockIdleText);
    const auto lines = splitLines(t.listing);
    ASSERT_EQ(lines.size(), 17u);
    std::string first;
    for (int i = 0; i < 8; ++i)
        first += "000FA8B9 000FCD5E ";
    EXPECT_EQ(lines[0], first + "7CD215D8");
    EXPECT_EQ(lines[1].substr(0, 9), "000FEBB2 ");
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(lines[static_cast<std::size_t>(k)].size(), 16 * 9 + 8u);
        // The listing shows exactly what is in the buffer.
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(lines[static_cast<std::size_t>(k)].substr(static_cast<std::size_t>(i) * 9, 8),
                      formatHex8(b[20 + 17 * k + i]));
    }
    std::string idle;
    for (int i = 0; i < 16; ++i)
        idle += "7A89C197 ";
    EXPECT_EQ(lines[16], idle);
}

TEST(FastSearch, CodesNoPagerCanHoldBecomeIdleInBufferAndListing) {
    SlotBuffer b;
    const std::string idleText = "7a89c197"; // as typed in the dialog: the listing keeps it
    const auto t =
        BuildFastSearch(b, 2097100, StockSyncCodeword, StockIdleCodeword, "7CD215D8", idleText);
    const auto lines = splitLines(t.listing);
    // Batch 2: codes 2097132 and 2097140, both valid. Batch 3: 2097148 valid, 2097156 not.
    EXPECT_EQ(b[19 + 17 * 3 + 1], *fastSearchAddress(2097148));
    EXPECT_EQ(b[19 + 17 * 3 + 2], StockIdleCodeword);
    EXPECT_EQ(lines[3].substr(9, 9), idleText + " ");
    for (int k = 4; k < 16; ++k)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(b[20 + 17 * k + i], StockIdleCodeword) << k << " " << i;
    EXPECT_EQ(codesReached(b).size(), 56u); // 2097096 .. 2097151, nothing beyond

    EXPECT_FALSE(fastSearchAddress(-1));
    EXPECT_FALSE(fastSearchAddress(2097152));
    EXPECT_TRUE(fastSearchAddress(2097151));
    SlotBuffer negative;
    BuildFastSearch(negative, -64, StockSyncCodeword, StockIdleCodeword, "7CD215D8", idleText);
    EXPECT_EQ(negative[20], StockIdleCodeword); // -64
    EXPECT_EQ(negative[20 + 17 * 4], *fastSearchAddress(0));
}

TEST(FastSearch, UsesTheEncodersSyncAndIdleAndSetsLastSlot) {
    PageEncoder enc;
    ASSERT_TRUE(enc.setSyncIdle("12345678", "9ABCDEF0"));
    const auto t = BuildFastSearch(enc, 1000);
    EXPECT_EQ(enc.LastSlot, 292);
    EXPECT_EQ(enc.CodewordBuffer[19], 0x12345678u);
    EXPECT_EQ(enc.CodewordBuffer[292], 0x9ABCDEF0u);
    EXPECT_EQ(splitLines(t.listing)[0].substr(16 * 9), "12345678");
}

TEST(FastSearch, StatusLine) {
    EXPECT_EQ(fastSearchInfoText("1000", "14:03:07", 2400),
              "Started with RIC 1000 at 14:03:07 Sending 3764.7 RICs per minute");
    EXPECT_EQ(fastSearchRateText(512), "803.1");
    EXPECT_EQ(fastSearchRateText(1200), "1882.32");
}

} // namespace
