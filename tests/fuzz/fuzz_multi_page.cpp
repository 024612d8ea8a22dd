// Fuzz target: buildMultiPageTransmission with any queue of pages (RIC texts, function bits,
// codings, rates, polarities, messages), budget and sync and idle values. The transmission
// has the preamble and a sync codeword at every batch start, every page's address in its
// frame and its codewords as its own single-page build gives them, valid codewords, idle
// everywhere else, nothing past the budget; packing stopped for the reason it gives; refused
// pages are those BuildTransmission refuses; and one page is BuildTransmission's output.
#include "encoder/codeword.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/multi_page.h"
#include "encoder/page_encoder.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace tarvex;

namespace {

constexpr int Batch = PageEncoder::BatchSlots;

bool batchStart(int slot) {
    return slot >= PageEncoder::FirstBatchSlot && (slot - PageEncoder::FirstBatchSlot) % Batch == 0;
}

PageParams fuzzedPage(FuzzedDataProvider& in) {
    PageParams page;
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
        page.ric = in.ConsumeRandomLengthString(9);
        break;
    case 1:
        page.ric = std::to_string(in.ConsumeIntegralInRange(-2, MaxRic + 2));
        break;
    default: // mostly small codes, so frames repeat and batches fill up
        page.ric = std::to_string(in.ConsumeIntegralInRange(0, 63));
    }
    page.functionBits = in.ConsumeIntegralInRange(0, 3);
    page.coding = in.ConsumeBool() ? Coding::Numeric : Coding::Alphanumeric;
    const int rate = in.ConsumeIntegralInRange(0, 15);
    page.baud = rate == 0 ? 512 : rate == 1 ? 2400 : 1200;
    page.inverted = in.ConsumeIntegralInRange(0, 15) == 0;
    const std::size_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(0, 30)
                                                : in.ConsumeIntegralInRange<std::size_t>(0, 800);
    page.message = in.ConsumeBytesAsString(length);
    page.message.resize(length, '7');
    return page;
}

void fuzzSyncIdle(PageEncoder& encoder, FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 3) != 0)
        return;
    const std::string sync = formatHex8(in.ConsumeIntegral<uint32_t>());
    const std::string idle = formatHex8(in.ConsumeIntegral<uint32_t>());
    if (sync != idle && sync != formatHex8(EndMarker) && idle != formatHex8(EndMarker))
        encoder.setSyncIdle(in.ConsumeBool() ? sync : StockSyncText, idle);
}

/// The page's address and message codewords as BuildTransmission lays them out alone, or the
/// reason it refuses the page.
struct Alone {
    std::vector<Codeword> words;
    std::optional<std::string> refused;
};

Alone buildAlone(PageEncoder& encoder, const PageParams& page) {
    Alone alone;
    try {
        encoder.BuildTransmission(page);
    } catch (const Error& e) {
        alone.refused = e.what();
        return alone;
    }
    const int address = PageEncoder::FirstBatchSlot + 1 + 2 * encoder.FrameNumber;
    const std::size_t bits = page.coding == Coding::Alphanumeric ? 7 * (page.message.size() + 1)
                                                                 : 4 * page.message.size();
    alone.words.push_back(encoder.CodewordBuffer[address]);
    for (int s = address + 1; alone.words.size() < 1 + (bits + 19) / 20; ++s)
        if (!batchStart(s))
            alone.words.push_back(encoder.CodewordBuffer[s]);
    return alone;
}

void checkSlots(const MultiPageTransmission& t, const PageEncoder& encoder,
                const std::vector<PageParams>& queue, const std::vector<Alone>& alone) {
    const auto at = [&](int slot) { return t.stream[static_cast<std::size_t>(slot - 1)]; };
    FUZZ_CHECK(t.stream.size() == static_cast<std::size_t>(t.lastSlot) + 1 &&
                   t.stream.back() == EndMarker,
               "stream length " + std::to_string(t.stream.size()));
    FUZZ_CHECK(t.lastSlot <= MaxTransmissionCodewords && (t.lastSlot - 18) % Batch == 0,
               "last slot " + std::to_string(t.lastSlot));
    std::vector<char> page(static_cast<std::size_t>(t.lastSlot) + 1, 0);
    int previousLast = PageEncoder::FirstBatchSlot;
    for (const PackedPage& p : t.pages) {
        const int frame = *fuzz::referenceDecimal(queue[p.index].ric) % 8;
        FUZZ_CHECK(p.addressSlot > previousLast && (p.addressSlot - 20) % Batch == 2 * frame,
                   "address slot " + std::to_string(p.addressSlot));
        // The first batch where the frame is free: a batch earlier would overlap.
        FUZZ_CHECK(p.addressSlot - Batch <= previousLast, "address later than its first chance");
        std::vector<Codeword> words;
        for (int s = p.addressSlot; s <= p.lastSlot; ++s) {
            if (!batchStart(s))
                words.push_back(at(s));
            page[static_cast<std::size_t>(s)] = 1;
        }
        FUZZ_CHECK(words == alone[p.index].words, "page " + std::to_string(p.index) + " codewords");
        previousLast = p.lastSlot;
    }
    const bool stock =
        encoder.SyncCodeword == StockSyncCodeword && encoder.IdleCodeword == StockIdleCodeword;
    for (int s = 1; s <= t.lastSlot; ++s) {
        const Codeword cw = at(s);
        const std::string where = "slot " + std::to_string(s) + " " + formatHex8(cw);
        if (s < PageEncoder::FirstBatchSlot)
            FUZZ_CHECK(cw == PreambleCodeword, where);
        else if (batchStart(s))
            FUZZ_CHECK(cw == encoder.SyncCodeword, where);
        else if (page[static_cast<std::size_t>(s)])
            FUZZ_CHECK(isValidCodeword(cw), where);
        else
            FUZZ_CHECK(cw == encoder.IdleCodeword, where);
        if (stock && s >= PageEncoder::FirstBatchSlot)
            FUZZ_CHECK(isValidCodeword(cw), where);
    }
}

void checkPacking(const MultiPageTransmission& t, const PageEncoder& encoder,
                  const std::vector<PageParams>& queue, const std::vector<Alone>& alone,
                  int budget) {
    std::size_t packed = 0, refused = 0;
    for (std::size_t i = 0; i < t.consumed; ++i) {
        if (alone[i].refused) {
            FUZZ_CHECK(refused < t.refused.size() && t.refused[refused].index == i &&
                           t.refused[refused].reason == *alone[i].refused,
                       "refusal of page " + std::to_string(i));
            ++refused;
            continue;
        }
        FUZZ_CHECK(packed < t.pages.size() && t.pages[packed].index == i,
                   "page " + std::to_string(i) + " neither packed nor refused");
        FUZZ_CHECK(queue[i].baud == t.baud && queue[i].inverted == t.inverted, "mixed rates");
        ++packed;
    }
    FUZZ_CHECK(packed == t.pages.size() && refused == t.refused.size(), "counts");
    const int limit = std::clamp(budget, 0, MaxTransmissionCodewords);
    FUZZ_CHECK(t.pages.size() <= 1 || t.lastSlot <= limit, "past the budget");
    if (t.consumed == queue.size()) {
        FUZZ_CHECK(t.stop == PackingStop::QueueEnd, "stop reason at the queue's end");
        return;
    }
    const PageParams& next = queue[t.consumed];
    FUZZ_CHECK(!alone[t.consumed].refused && !t.pages.empty(), "stopped at a refused page");
    const bool otherRate = next.baud != t.baud || next.inverted != t.inverted;
    FUZZ_CHECK((t.stop == PackingStop::RateChange) == otherRate, "stop reason");
    if (t.stop == PackingStop::Budget) { // with the next page the transmission is too long
        const auto longer = buildMultiPageTransmission(std::span(queue).first(t.consumed + 1),
                                                       MaxTransmissionCodewords, encoder);
        FUZZ_CHECK(longer.consumed == t.consumed + 1 && longer.lastSlot > limit,
                   "stopped although the page fits");
    }
}

void checkSinglePage(const PageEncoder& stock, const PageParams& page) {
    PageEncoder encoder = stock;
    std::string listing;
    try {
        listing = encoder.BuildTransmission(page);
    } catch (const Error&) {
        return;
    }
    const auto t = buildMultiPageTransmission({&page, 1}, 0, stock);
    const auto slots = encoder.CodewordBuffer.range(1, encoder.LastSlot);
    FUZZ_CHECK(t.lastSlot == encoder.LastSlot &&
                   std::equal(slots.begin(), slots.end(), t.stream.begin()) && t.listing == listing,
               "single page differs from BuildTransmission");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    PageEncoder encoder;
    fuzzSyncIdle(encoder, in);
    const int budget =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-10, 1200) : in.ConsumeIntegralInRange(0, 300);
    std::vector<PageParams> queue(in.ConsumeIntegralInRange<std::size_t>(0, 40));
    for (auto& page : queue)
        page = fuzzedPage(in);

    PageEncoder scratch = encoder;
    std::vector<Alone> alone;
    for (const auto& page : queue)
        alone.push_back(buildAlone(scratch, page));
    const MultiPageTransmission t = buildMultiPageTransmission(queue, budget, encoder);
    checkPacking(t, encoder, queue, alone, budget);
    if (t.pages.empty())
        FUZZ_CHECK(t.lastSlot == 0 && t.stream.size() == 1 && t.listing.empty(), "empty");
    else
        checkSlots(t, encoder, queue, alone);
    if (!queue.empty())
        checkSinglePage(encoder, queue.front());
    return 0;
}
