#include "encoder/codeword.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/multi_page.h"
#include "encoder/page_encoder.h"

#include "test_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;
using tarvex::test::page;

namespace {

constexpr int Unlimited = MaxTransmissionCodewords;

bool batchStart(int slot) {
    return slot >= 19 && (slot - 19) % 17 == 0;
}

Codeword slotOf(const MultiPageTransmission& t, int slot) {
    return t.stream.at(static_cast<std::size_t>(slot - 1));
}

/// The codewords of one page: its address and message codewords, batch starts left out.
std::vector<Codeword> pageWords(const MultiPageTransmission& t, const PackedPage& p) {
    std::vector<Codeword> words;
    for (int s = p.addressSlot; s <= p.lastSlot; ++s)
        if (!batchStart(s))
            words.push_back(slotOf(t, s));
    return words;
}

/// The same page built alone: its address and message codewords.
std::vector<Codeword> aloneWords(const PageParams& alone) {
    PageEncoder enc;
    enc.BuildTransmission(alone);
    std::vector<Codeword> words{enc.CodewordBuffer[20 + 2 * enc.FrameNumber]};
    for (int s = 21 + 2 * enc.FrameNumber; s <= enc.LastSlot; ++s)
        if (!batchStart(s) && (enc.CodewordBuffer[s] & 0x80000000u))
            words.push_back(enc.CodewordBuffer[s]);
    return words;
}

/// Preamble, a sync codeword at every batch start and nowhere else, each page's codewords as
/// its own build gives them in its frame, idle everywhere else, EndMarker after lastSlot.
void expectWellFormed(const MultiPageTransmission& t, const std::vector<PageParams>& queue) {
    ASSERT_EQ(t.stream.size(), static_cast<std::size_t>(t.lastSlot) + 1);
    EXPECT_EQ(t.stream.back(), EndMarker);
    EXPECT_EQ((t.lastSlot - 18) % 17, 0);
    std::vector<bool> used(static_cast<std::size_t>(t.lastSlot) + 1, false);
    for (const PackedPage& p : t.pages) {
        const PageParams& pg = queue[p.index];
        EXPECT_EQ((p.addressSlot - 20) % 17, 2 * (std::stoi(pg.ric) % 8)) << "RIC " << pg.ric;
        EXPECT_EQ(pageWords(t, p), aloneWords(pg)) << "RIC " << pg.ric;
        for (int s = p.addressSlot; s <= p.lastSlot; ++s) {
            EXPECT_FALSE(used[static_cast<std::size_t>(s)]) << "slot " << s << " used twice";
            used[static_cast<std::size_t>(s)] = true;
        }
    }
    for (int s = 1; s <= t.lastSlot; ++s) {
        const Codeword want = s < 19                              ? PreambleCodeword
                              : batchStart(s)                     ? StockSyncCodeword
                              : used[static_cast<std::size_t>(s)] ? slotOf(t, s)
                                                                  : StockIdleCodeword;
        EXPECT_EQ(slotOf(t, s), want) << "slot " << s;
    }
}

std::vector<PageParams> pagesAt(std::initializer_list<int> rics, const std::string& message = "",
                                Coding coding = Coding::Numeric) {
    std::vector<PageParams> queue;
    for (int ric : rics)
        queue.push_back(page(std::to_string(ric), 0, coding, message));
    return queue;
}

} // namespace

// One page through the burst builder is the page BuildTransmission builds: every frame, both
// codings, every message length that fits, stock and other sync/idle values (a lower-case
// sync text that the listing never matches, and an idle value equal to a message codeword).
TEST(MultiPage, OnePageIsTheSinglePageBuild) {
    const PageParams fills = page("0", 0, Coding::Numeric, std::string(75, '9'));
    PageEncoder lastWordProbe;
    lastWordProbe.BuildTransmission(fills);
    const std::string lastWord = formatHex8(lastWordProbe.CodewordBuffer[35]);
    const std::vector<std::pair<std::string, std::string>> syncIdle = {
        {StockSyncText, StockIdleText},
        {"12345678", "9ABCDEF0"},
        {"7cd215d8", StockIdleText},
        {StockSyncText, lastWord}};
    for (const auto& [sync, idle] : syncIdle) {
        PageEncoder enc;
        ASSERT_TRUE(enc.setSyncIdle(sync, idle));
        for (int frame = 0; frame < 8; ++frame) {
            for (const Coding coding : {Coding::Alphanumeric, Coding::Numeric}) {
                const int longest = enc.maxMessageLength(frame, coding);
                for (int length = 0; length <= longest; ++length) {
                    const PageParams p = page(std::to_string(8000 + frame), frame % 4, coding,
                                              std::string(static_cast<std::size_t>(length),
                                                          coding == Coding::Numeric ? '9' : 'z'));
                    const std::string listing = enc.BuildTransmission(p);
                    const auto t = buildMultiPageTransmission({&p, 1}, 0, enc);
                    ASSERT_EQ(t.lastSlot, enc.LastSlot) << sync << " " << frame << " " << length;
                    const auto built = enc.CodewordBuffer.range(1, enc.LastSlot);
                    ASSERT_TRUE(std::equal(built.begin(), built.end(), t.stream.begin()));
                    ASSERT_EQ(t.listing, listing);
                    ASSERT_EQ(t.pages.size(), 1u);
                    EXPECT_EQ(t.pages[0].addressSlot, 20 + 2 * frame);
                }
            }
        }
    }
    // The idle value equal to the last message codeword spares the closing batch there.
    PageEncoder enc;
    ASSERT_TRUE(enc.setSyncIdle(StockSyncText, lastWord));
    EXPECT_EQ(buildMultiPageTransmission({&fills, 1}, 0, enc).lastSlot, 35);
}

// Where each address lands: in its frame, in the first batch where that frame is still free
// after the previous page's last codeword; messages run across batch starts.
TEST(MultiPage, AddressesTakeTheFirstFreeFrame) {
    struct Case {
        const char* what;
        std::vector<PageParams> queue;
        std::vector<int> addressSlots;
        std::vector<int> lastSlots;
        int lastSlot;
    };
    std::vector<PageParams> spill = {page("7", 0, Coding::Alphanumeric, "Hello"),
                                     page("1", 1, Coding::Numeric, ""),
                                     page("16", 2, Coding::Numeric, "12345")};
    std::vector<PageParams> fullBatch = {page("0", 0, Coding::Numeric, std::string(75, '1')),
                                         page("1", 3, Coding::Alphanumeric, "x")};
    std::vector<PageParams> longAlpha = {page("6", 0, Coding::Alphanumeric, std::string(100, 'L')),
                                         page("5", 0, Coding::Alphanumeric, "after")};
    const std::vector<Case> cases = {
        {"rising frames share a batch",
         pagesAt({8, 3, 13}, "12345"),
         {20, 26, 30},
         {21, 27, 31},
         35},
        {"a lower frame waits for the next batch", pagesAt({5, 2}), {30, 41}, {30, 41}, 52},
        {"the same frame twice", pagesAt({1, 9}), {22, 39}, {22, 39}, 52},
        {"message over a sync, next page right behind it", spill, {34, 39, 54}, {38, 39, 55}, 69},
        {"batch filled to its end, sync before the next", fullBatch, {20, 39}, {35, 40}, 52},
        {"three batch starts crossed", longAlpha, {32, 81}, {71, 84}, 86},
    };
    for (const auto& c : cases) {
        const auto t = buildMultiPageTransmission(c.queue, Unlimited, PageEncoder{});
        ASSERT_EQ(t.pages.size(), c.queue.size()) << c.what;
        for (std::size_t i = 0; i < t.pages.size(); ++i) {
            EXPECT_EQ(t.pages[i].addressSlot, c.addressSlots[i]) << c.what << " page " << i;
            EXPECT_EQ(t.pages[i].lastSlot, c.lastSlots[i]) << c.what << " page " << i;
        }
        EXPECT_EQ(t.lastSlot, c.lastSlot) << c.what;
        EXPECT_EQ(t.stop, PackingStop::QueueEnd) << c.what;
        expectWellFormed(t, c.queue);
    }
}

TEST(MultiPage, BudgetStopsBeforeThePageThatWouldExceedIt) {
    // Every page on frame 0 takes a batch of its own; the second page below ends its batch
    // and so needs the closing batch as well.
    const auto oneBatchEach = pagesAt({0, 8, 16, 24, 32, 40, 48, 56, 64, 72});
    const std::vector<PageParams> closing = {page("1", 0, Coding::Numeric, ""),
                                             page("8", 0, Coding::Numeric, std::string(75, '2'))};
    std::vector<PageParams> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(page(std::to_string(8 * i), 1, Coding::Numeric, ""));
    struct Case {
        const std::vector<PageParams>& queue;
        int budget;
        std::size_t packed;
        int lastSlot;
    };
    const std::vector<Case> cases = {
        {oneBatchEach, 35, 1, 35}, {oneBatchEach, 51, 1, 35}, {oneBatchEach, 52, 2, 52},
        {oneBatchEach, 0, 1, 35},  {oneBatchEach, -5, 1, 35}, {oneBatchEach, 188, 10, 188},
        {closing, 52, 1, 35},      {closing, 68, 1, 35},      {closing, 69, 2, 69},
        {many, 1 << 30, 65, 1123}, {many, 240, 13, 239},
    };
    for (const auto& c : cases) {
        const auto t = buildMultiPageTransmission(c.queue, c.budget, PageEncoder{});
        EXPECT_EQ(t.pages.size(), c.packed) << "budget " << c.budget;
        EXPECT_EQ(t.consumed, c.packed) << "budget " << c.budget;
        EXPECT_EQ(t.lastSlot, c.lastSlot) << "budget " << c.budget;
        EXPECT_EQ(t.stop, c.packed < c.queue.size() ? PackingStop::Budget : PackingStop::QueueEnd);
    }
}

TEST(MultiPage, AnotherRateOrPolarityEndsTheTransmission) {
    auto queue = pagesAt({1, 2, 3, 4});
    for (auto& p : queue)
        p.baud = 512;
    auto rate = queue, polarity = queue;
    rate[2].baud = 2400;
    polarity[1].inverted = true;
    for (const auto& [q, packed] : {std::pair{rate, 2u}, std::pair{polarity, 1u}}) {
        const auto t = buildMultiPageTransmission(q, Unlimited, PageEncoder{});
        EXPECT_EQ(t.pages.size(), packed);
        EXPECT_EQ(t.consumed, packed);
        EXPECT_EQ(t.stop, PackingStop::RateChange);
        EXPECT_EQ(t.baud, 512);
        EXPECT_FALSE(t.inverted);
    }
}

TEST(MultiPage, RefusedPagesAreReportedAndSkipped) {
    PageEncoder enc;
    std::vector<PageParams> queue = {page("abc", 0, Coding::Numeric, ""),
                                     page("11", 0, Coding::Numeric, "1"),
                                     page("2097152", 0, Coding::Numeric, ""),
                                     page("2045058", 2, Coding::Numeric, ""), // sync address
                                     page("12", 0, Coding::Alphanumeric, std::string(500, 'x')),
                                     page("13", 0, Coding::Numeric, "2")};
    queue[0].baud = 2400; // a refused page sets no rate
    const auto t = buildMultiPageTransmission(queue, Unlimited, enc);
    ASSERT_EQ(t.pages.size(), 2u);
    EXPECT_EQ(t.pages[0].index, 1u);
    EXPECT_EQ(t.pages[1].index, 5u);
    EXPECT_EQ(t.baud, 1200);
    EXPECT_EQ(t.consumed, queue.size());
    ASSERT_EQ(t.refused.size(), 4u);
    for (const RefusedPage& r : t.refused) {
        std::string want;
        try {
            enc.BuildTransmission(queue[r.index]);
        } catch (const Error& e) {
            want = e.what();
        }
        EXPECT_FALSE(want.empty()) << "page " << r.index;
        EXPECT_EQ(r.reason, want) << "page " << r.index;
    }
    expectWellFormed(t, queue);

    const auto none = buildMultiPageTransmission({queue.data(), 1}, Unlimited, enc);
    EXPECT_EQ(none.stream, std::vector<Codeword>{EndMarker});
    EXPECT_EQ(none.lastSlot, 0);
    EXPECT_TRUE(none.listing.empty());
    EXPECT_EQ(none.consumed, 1u);
}
