// Fuzz target: BuildTransmission with any RIC text, function bits, coding, message and
// sync and idle values. A refused page gives its reason and leaves the encoder as it was;
// a built page has the preamble, sync codewords at every batch start, valid codewords in
// between, its message decodable from the buffer, ends on a batch within the work slots,
// writes nothing beyond them, and its listing reads back to the buffer.
#include "encoder/codeword.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/page_encoder.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

constexpr int Batch = PageEncoder::BatchSlots;
constexpr int FirstSync = PageEncoder::FirstBatchSlot;

bool batchStart(int slot) {
    return slot >= FirstSync && (slot - FirstSync) % Batch == 0;
}

/// All slots at once, so that checks reading every slot skip the range check of each read;
/// slot s is at [s - 1].
std::span<const Codeword> allSlots(const SlotBuffer& buffer) {
    return buffer.range(SlotBuffer::FirstSlot, SlotBuffer::LastSlot);
}

struct Snapshot {
    SlotBuffer buffer;
    int writePosition, frameNumber, lastSlot;
    std::string syncText, idleText;
    Codeword sync, idle;

    explicit Snapshot(const PageEncoder& e)
        : buffer(e.CodewordBuffer), writePosition(e.WritePosition), frameNumber(e.FrameNumber),
          lastSlot(e.LastSlot), syncText(e.SyncText), idleText(e.IdleText), sync(e.SyncCodeword),
          idle(e.IdleCodeword) {}

    bool sameAs(const PageEncoder& e) const {
        if (!std::ranges::equal(allSlots(buffer), allSlots(e.CodewordBuffer)))
            return false;
        return writePosition == e.WritePosition && frameNumber == e.FrameNumber &&
               lastSlot == e.LastSlot && syncText == e.SyncText && idleText == e.IdleText &&
               sync == e.SyncCodeword && idle == e.IdleCodeword;
    }
};

std::string hexText(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeRandomLengthString(10); // mostly refused
    case 1:
        return formatHex8(in.ConsumeIntegral<uint32_t>());
    case 2: { // short, lower case
        const std::string full = formatHex8(in.ConsumeIntegral<uint32_t>());
        std::string text = full.substr(in.ConsumeIntegralInRange<std::size_t>(0, 7));
        for (char& c : text)
            if (c >= 'A' && c <= 'F')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    }
    default:
        return in.ConsumeBool() ? StockSyncText : StockIdleText;
    }
}

std::string ricText(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return in.ConsumeRandomLengthString(12);
    const int ric = in.ConsumeIntegralInRange(-3, MaxRic + 3);
    std::string text = std::to_string(ric);
    if (in.ConsumeBool() && text.size() < 7)
        text.insert(0, 7 - text.size(), ric < 0 ? ' ' : '0');
    return text;
}

/// Message bits in sending order from the message codewords that follow the address.
std::vector<int> messageBits(const PageEncoder& e, int addressSlot, int codewords,
                             const std::string& what) {
    std::vector<int> bits;
    int slot = addressSlot;
    for (int n = 0; n < codewords; ++n) {
        ++slot;
        if (batchStart(slot))
            ++slot;
        const Codeword cw = e.CodewordBuffer[slot];
        FUZZ_CHECK((cw & 0x80000000u) != 0 && isValidCodeword(cw),
                   "slot " + std::to_string(slot) + " " + formatHex8(cw) + ": " + what);
        for (int b = 30; b >= 11; --b)
            bits.push_back(static_cast<int>((cw >> b) & 1u));
    }
    return bits;
}

int bitsValue(const std::vector<int>& bits, std::size_t first, int count) {
    int value = 0;
    for (int j = 0; j < count; ++j)
        value |= bits[first + static_cast<std::size_t>(j)] << j;
    return value;
}

/// The message read back from the buffer, with the end-of-text and the fill after it.
void checkMessage(const PageEncoder& e, const PageParams& page, int addressSlot, int codewords,
                  const std::string& what) {
    const std::vector<int> bits = messageBits(e, addressSlot, codewords, what);
    const std::string& msg = page.message;
    if (page.coding == Coding::Alphanumeric) {
        for (std::size_t i = 0; i <= msg.size(); ++i) {
            int want = 4; // end of text
            if (i < msg.size()) {
                const auto c = static_cast<unsigned char>(msg[i]);
                want = (c == 19 ? 13 : c) & 0x7F;
            }
            FUZZ_CHECK(bitsValue(bits, 7 * i, 7) == want, "character " + std::to_string(i));
        }
        for (std::size_t i = 7 * (msg.size() + 1); i < bits.size(); ++i)
            FUZZ_CHECK(bits[i] == ((4 >> ((i - 7 * (msg.size() + 1)) % 7)) & 1), "fill bits");
        return;
    }
    // Numeric: digits as themselves, the five signs by their table codes, anything else by
    // its low four bits; fill with the space code 12.
    for (std::size_t i = 0; 4 * i < bits.size(); ++i) {
        int want = 12;
        if (i < msg.size()) {
            const auto c = static_cast<unsigned char>(msg[i]);
            want = c == 'A'   ? 12
                   : c == '-' ? 13
                   : c == 25  ? 11
                   : c == ']' ? 14
                   : c == '[' ? 15
                              : c & 15;
        }
        FUZZ_CHECK(bitsValue(bits, 4 * i, 4) == want, "digit " + std::to_string(i));
    }
}

void checkListing(const PageEncoder& e, const std::string& listing) {
    FUZZ_CHECK(listing == e.listing(), "returned listing differs from listing()");
    // Only a sync codeword, on its own line, ends in a line break.
    const bool endsOnSync = formatHex8(e.CodewordBuffer[e.LastSlot]) == e.SyncText;
    FUZZ_CHECK(endsOnSync == (listing.size() >= 2 && listing.substr(listing.size() - 2) == "\r\n"),
               "line break at the end");
    std::vector<uint32_t> values;
    std::size_t pos = 0;
    while (pos < listing.size()) {
        const auto end = listing.find_first_of(" \r\n", pos);
        const std::string_view token =
            std::string_view(listing).substr(pos, end == std::string::npos ? end : end - pos);
        if (!token.empty()) {
            FUZZ_CHECK(token.size() == 8, quoted(token));
            const auto value = hexToCodeword(token);
            FUZZ_CHECK(value.has_value(), quoted(token));
            values.push_back(*value);
        }
        pos = end == std::string::npos ? listing.size() : end + 1;
    }
    FUZZ_CHECK(values.size() == static_cast<std::size_t>(e.LastSlot), "listing count");
    bool syncOnlyAtBatchStarts = e.SyncText == formatHex8(e.SyncCodeword);
    const auto slots = allSlots(e.CodewordBuffer);
    for (int s = 1; s <= e.LastSlot; ++s) {
        const Codeword cw = slots[static_cast<std::size_t>(s - 1)];
        FUZZ_CHECK(values[static_cast<std::size_t>(s - 1)] == cw,
                   "listing slot " + std::to_string(s));
        syncOnlyAtBatchStarts = syncOnlyAtBatchStarts && (batchStart(s) || cw != e.SyncCodeword);
    }
    if (syncOnlyAtBatchStarts) { // the preamble line, then sync, frames 0-3, frames 4-7
        std::size_t lines = 1;
        for (std::size_t at = listing.find("\r\n"); at != std::string::npos;
             at = listing.find("\r\n", at + 2))
            ++lines;
        FUZZ_CHECK(lines == 1 + 3 * static_cast<std::size_t>((e.LastSlot - 18) / Batch),
                   std::to_string(lines) + " lines");
    }
}

/// Where the page's codewords must land, counted slot by slot.
struct Layout {
    int addressSlot = 0;
    int codewords = 0;   ///< message codewords
    int lastMessage = 0; ///< slot of the last message codeword (the address when none)
    int batchEnd = 0;    ///< last slot of that codeword's batch
    int lastSlot = 0;    ///< one batch more when the message fills its batch
};

Layout expectedLayout(int frame, Coding coding, std::size_t length) {
    Layout l;
    l.addressSlot = FirstSync + 1 + 2 * frame;
    const std::size_t bits = coding == Coding::Alphanumeric ? 7 * (length + 1) : 4 * length;
    l.codewords = static_cast<int>((bits + 19) / 20);
    l.lastMessage = l.addressSlot;
    for (int n = 0; n < l.codewords; ++n)
        l.lastMessage += batchStart(l.lastMessage + 1) ? 2 : 1;
    l.batchEnd = 18 + Batch * ((l.lastMessage - 18 + Batch - 1) / Batch);
    l.lastSlot = l.batchEnd + (l.lastMessage == l.batchEnd ? Batch : 0);
    return l;
}

void checkSlots(const PageEncoder& e, const Snapshot& before, const Layout& l,
                const std::string& what) {
    const auto slots = allSlots(e.CodewordBuffer), earlier = allSlots(before.buffer);
    for (int s = 1; s <= SlotBuffer::LastSlot; ++s) {
        const Codeword cw = slots[static_cast<std::size_t>(s - 1)];
        const auto where = [&] {
            return "slot " + std::to_string(s) + " " + formatHex8(cw) + ": " + what;
        };
        if (s > e.SlotCount)
            FUZZ_CHECK(cw == earlier[static_cast<std::size_t>(s - 1)],
                       "written beyond the work slots, " + where());
        else if (s < FirstSync)
            FUZZ_CHECK(cw == PreambleCodeword, where());
        else if (batchStart(s))
            FUZZ_CHECK(cw == e.SyncCodeword, where());
        else if (s < l.addressSlot || s > l.lastMessage)
            FUZZ_CHECK(cw == e.IdleCodeword, where());
        if (s >= FirstSync && s <= e.LastSlot)
            FUZZ_CHECK(cw == e.SyncCodeword || cw == e.IdleCodeword || isValidCodeword(cw),
                       where());
    }
}

void checkBuilt(const PageEncoder& e, const Snapshot& before, const PageParams& page, int ric,
                const std::string& listing, const std::string& what) {
    const Layout l = expectedLayout(ric % 8, page.coding, page.message.size());
    FUZZ_CHECK(e.FrameNumber == ric % 8, what);
    FUZZ_CHECK(e.LastSlot <= e.lastUsableSlot() && e.LastSlot <= 188, what);
    FUZZ_CHECK(e.LastSlot >= FirstSync + Batch - 1 && (e.LastSlot - 18) % Batch == 0, what);
    // A last message codeword that happens to equal the idle value ends the page there.
    const bool endsOnIdleValue =
        l.lastMessage == l.batchEnd && e.CodewordBuffer[l.batchEnd] == e.IdleCodeword;
    FUZZ_CHECK(e.LastSlot == (endsOnIdleValue ? l.batchEnd : l.lastSlot), what);
    FUZZ_CHECK(e.CodewordBuffer[l.addressSlot] ==
                   addressCodeword(static_cast<uint32_t>(ric), page.functionBits & 3),
               what);
    checkMessage(e, page, l.addressSlot, l.codewords, what);
    checkSlots(e, before, l, what);
    checkListing(e, listing);
}

PageParams fuzzedPage(FuzzedDataProvider& in) {
    PageParams page;
    page.ric = ricText(in);
    page.functionBits =
        in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(0, 3);
    page.coding = in.ConsumeBool() ? Coding::Numeric : Coding::Alphanumeric;
    page.inverted = in.ConsumeBool();
    page.message = in.ConsumeRemainingBytesAsString();
    return page;
}

/// Sync and idle texts from the input: taken whole when both are hexadecimal, else ignored.
void fuzzSyncIdle(PageEncoder& encoder, FuzzedDataProvider& in) {
    const std::string syncText = hexText(in), idleText = hexText(in);
    const Snapshot unset(encoder);
    if (!encoder.setSyncIdle(syncText, idleText))
        FUZZ_CHECK(unset.sameAs(encoder), "refused sync/idle texts changed the encoder");
    else
        FUZZ_CHECK(encoder.SyncCodeword == hexToCodeword(syncText) &&
                       encoder.IdleCodeword == hexToCodeword(idleText) &&
                       encoder.SyncText == syncText && encoder.IdleText == idleText,
                   quoted(syncText) + " " + quoted(idleText));
}

/// Whether the page must be refused: RIC out of range, an address equal to the sync or
/// idle codeword, or a message that would end after the last whole batch of the work slots.
bool mustRefuse(const PageEncoder& encoder, const PageParams& page, std::optional<int32_t> ric) {
    if (!ric || *ric < 0 || *ric > MaxRic)
        return true;
    const Codeword address = addressCodeword(static_cast<uint32_t>(*ric), page.functionBits & 3);
    return address == encoder.SyncCodeword || address == encoder.IdleCodeword ||
           expectedLayout(*ric % 8, page.coding, page.message.size()).lastSlot >
               encoder.lastUsableSlot();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    PageEncoder encoder;
    for (int s = SlotBuffer::FirstSlot; s <= SlotBuffer::LastSlot; ++s)
        encoder.CodewordBuffer[s] = static_cast<Codeword>(s) * 0x9E3779B1u;
    if (in.ConsumeBool()) { // an earlier page in the buffer
        PageParams earlier;
        earlier.message = "earlier page";
        encoder.BuildTransmission(earlier);
    }
    fuzzSyncIdle(encoder, in);
    const PageParams page = fuzzedPage(in);
    const std::string what = "RIC " + quoted(page.ric) + " fb " +
                             std::to_string(page.functionBits) +
                             (page.coding == Coding::Numeric ? " numeric " : " alpha ") +
                             std::to_string(page.message.size()) + " chars, sync " +
                             quoted(encoder.SyncText) + " idle " + quoted(encoder.IdleText);
    const auto ric = fuzz::referenceDecimal(page.ric);
    const bool refusable = mustRefuse(encoder, page, ric);

    const Snapshot before(encoder);
    try {
        const std::string listing = encoder.BuildTransmission(page);
        FUZZ_CHECK(!refusable, "built a page that must be refused: " + what);
        checkBuilt(encoder, before, page, *ric, listing, what);
    } catch (const ConversionError& e) {
        FUZZ_CHECK(!ric && *e.what() != '\0', "conversion error: " + what);
        FUZZ_CHECK(before.sameAs(encoder), "refusal changed the encoder: " + what);
    } catch (const PageRefused& e) {
        FUZZ_CHECK(ric && refusable && *e.what() != '\0', "refused: " + what + ": " + e.what());
        FUZZ_CHECK(before.sameAs(encoder), "refusal changed the encoder: " + what);
    } catch (const std::exception& e) {
        fuzz::propertyFailed(__FILE__, __LINE__, e.what(), what);
    }
    return 0;
}
