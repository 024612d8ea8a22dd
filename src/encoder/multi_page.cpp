#include "encoder/multi_page.h"

#include "encoder/batch_layout.h"
#include "encoder/errors.h"
#include "encoder/message_packing.h"

#include <algorithm>
#include <memory>

namespace tarvex {
namespace {

using layout::Batch;

/// First slot of the batch that holds `slot`.
int batchStartOf(int slot) {
    return layout::batchEnd(slot) - Batch + 1;
}

/// Lays pages one after another into a buffer of its own. Every slot from m_writePosition on
/// holds 0, as the packers need.
class BurstLayout {
public:
    explicit BurstLayout(const PageEncoder& encoder)
        : m_encoder(encoder), m_slots(std::make_unique<SlotBuffer>()) {
        m_slots->fill(1, PageEncoder::PreambleSlots, PreambleCodeword);
        (*m_slots)[layout::FirstBatch] = encoder.SyncCodeword;
    }

    /// Places the page behind the previous one when the transmission then ends by `limit`;
    /// leaves everything as it was and returns false otherwise.
    bool place(const PageParams& page, const PageEncoder::CheckedPage& checked, int limit,
               PackedPage& where) {
        const int start = m_writePosition;
        int address = layout::frameSlot(batchStartOf(start), checked.frame);
        if (address < start)
            address += Batch;
        // The transmission ends no earlier than the batch of the last message codeword; this
        // also keeps every write far inside the buffer.
        const int lastMessage = layout::lastMessageSlot(
            address, layout::messageCodewords(page.coding, page.message.size()));
        if (layout::batchEnd(lastMessage) > limit)
            return false;

        const Codeword sync = m_encoder.SyncCodeword;
        fillIdle(*m_slots, start, address - 1, layout::nextBatchStart(start - 1), sync,
                 m_encoder.IdleCodeword);
        (*m_slots)[address] = checked.address;
        PackCursor cursor{*m_slots, address + 1, layout::nextBatchStart(address), sync};
        if (page.coding == Coding::Alphanumeric)
            packAlphaMessage(cursor, page.message);
        else
            packNumericMessage(cursor, page.message);
        if (endingLastSlot(cursor.writePosition) > limit) {
            m_slots->fill(start, cursor.writePosition, 0);
            return false;
        }
        m_writePosition = cursor.writePosition;
        // The alphanumeric packer may already have put the next batch's sync codeword down.
        const int last = m_writePosition - 1;
        where.addressSlot = address;
        where.lastSlot = layout::isBatchStart(last) ? last - 1 : last;
        return true;
    }

    /// Fills and closes the last batch; the transmission's last slot.
    int close() {
        const int last = m_writePosition - 1;
        fillIdle(*m_slots, m_writePosition, layout::batchEnd(last), layout::nextBatchStart(last),
                 m_encoder.SyncCodeword, m_encoder.IdleCodeword);
        return closeLastBatch(*m_slots, last, m_encoder.SyncCodeword, m_encoder.IdleCodeword);
    }

    const SlotBuffer& slots() const { return *m_slots; }

private:
    /// The last slot close() would give if the transmission ended with the codeword before
    /// writePosition: the fill behind it is idle, so only a message codeword standing in the
    /// batch's last slot can call for one more batch.
    int endingLastSlot(int writePosition) const {
        const int last = writePosition - 1;
        const int end = layout::batchEnd(last);
        const bool closingBatch = end == last && (*m_slots)[end] != m_encoder.IdleCodeword;
        return closingBatch ? end + Batch : end;
    }

    const PageEncoder& m_encoder;
    std::unique_ptr<SlotBuffer> m_slots; // 2000 slots: more than the 1137 a stream may hold
    int m_writePosition = layout::FirstBatch + 1;
};

void finishStream(MultiPageTransmission& t, BurstLayout& burst, const PageEncoder& encoder) {
    if (t.pages.empty())
        return;
    t.lastSlot = burst.close();
    const auto slots = burst.slots().range(1, t.lastSlot);
    t.stream.assign(slots.begin(), slots.end());
    t.stream.push_back(EndMarker);
    t.listing = codewordListing(burst.slots(), 1, t.lastSlot, encoder.SyncText);
}

} // namespace

MultiPageTransmission buildMultiPageTransmission(std::span<const PageParams> queue, int budget,
                                                 const PageEncoder& encoder) {
    budget = std::clamp(budget, 0, MaxTransmissionCodewords);
    MultiPageTransmission t;
    BurstLayout burst(encoder);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const PageParams& page = queue[i];
        PageEncoder::CheckedPage checked;
        try {
            checked = encoder.checkPage(page);
        } catch (const Error& e) {
            t.refused.push_back({i, e.what()});
            t.consumed = i + 1;
            continue;
        }
        const bool first = t.pages.empty();
        if (!first && (page.baud != t.baud || page.inverted != t.inverted)) {
            t.stop = PackingStop::RateChange;
            break;
        }
        PackedPage where{i, 0, 0};
        if (!burst.place(page, checked, first ? MaxTransmissionCodewords : budget, where)) {
            if (!first) {
                t.stop = PackingStop::Budget;
                break;
            }
            // Only an encoder with more work slots than the generator takes gets here.
            t.refused.push_back({i, "The page does not fit in one transmission of at most " +
                                        std::to_string(MaxTransmissionCodewords) + " codewords."});
            t.consumed = i + 1;
            continue;
        }
        if (first) {
            t.baud = page.baud;
            t.inverted = page.inverted;
        }
        t.pages.push_back(where);
        t.consumed = i + 1;
    }
    finishStream(t, burst, encoder);
    return t;
}

} // namespace tarvex
