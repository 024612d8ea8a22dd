// The two message packers. Both build each message codeword by exclusive-or into slots that
// the caller cleared beforehand and skip the first slot of every batch (the sync codeword).
// PageEncoder's own packers run them on its buffer and finish with idle fill.
#include "encoder/message_packing.h"

#include "encoder/batch_layout.h"
#include "encoder/page_encoder.h"

namespace tarvex {
namespace {

constexpr uint32_t FirstBitMask = 0x40000000u; // bit 30: first data bit of a codeword
constexpr uint32_t FullMask = 0x400u;          // reached after 20 data bits
constexpr uint8_t EndOfText = 4;

void finishCurrentCodeword(PackCursor& cursor) {
    Codeword& word = cursor.buffer[cursor.writePosition];
    word = finishMessageCodeword(word);
    ++cursor.writePosition;
}

} // namespace

uint8_t numericCode(unsigned char c) {
    switch (c) {
    case 'A':
        return 12;
    case '-':
        return 13;
    case 25:
        return 11;
    case ']':
        return 14;
    case '[':
        return 15;
    default:
        return static_cast<uint8_t>(c & 0x0F);
    }
}

void fillIdle(SlotBuffer& buffer, int first, int last, int nextSyncSlot, Codeword sync,
              Codeword idle) {
    for (int s = first; s <= last; ++s) {
        if (s == nextSyncSlot) {
            buffer[s] = sync;
            nextSyncSlot += layout::Batch;
        } else {
            buffer[s] = idle;
        }
    }
}

int closeLastBatch(SlotBuffer& buffer, int lastWritten, Codeword sync, Codeword idle) {
    int last = layout::batchEnd(lastWritten);
    if (buffer[last] != idle) {
        buffer[last + 1] = sync;
        buffer.fill(last + 2, last + layout::Batch, idle);
        last += layout::Batch;
    }
    return last;
}

void packAlphaMessage(PackCursor& cursor, std::string_view message) {
    SlotBuffer& slots = cursor.buffer;
    int& at = cursor.writePosition;
    uint32_t mask = FirstBitMask;

    // A codeword fills after 20 bits, mid-character at times; the rest of that character then
    // lands in the sync slot and is carried one slot forward at the next sync check.
    auto syncCheck = [&] {
        if (at == cursor.nextSyncSlot) {
            cursor.nextSyncSlot += layout::Batch;
            slots[at + 1] = slots[at];
            slots[at] = cursor.sync;
            ++at;
        }
    };
    auto packCharacter = [&](uint8_t c) {
        if (c == 19)
            c = 13;
        syncCheck();
        for (uint8_t bit = 1; bit != 0x80; bit = static_cast<uint8_t>(bit << 1)) {
            if (c & bit)
                slots[at] ^= mask;
            mask >>= 1;
            if (mask == FullMask) {
                mask = FirstBitMask;
                finishCurrentCodeword(cursor);
            }
        }
    };

    for (const char c : message)
        packCharacter(static_cast<uint8_t>(c));
    packCharacter(EndOfText);
    syncCheck();

    if (mask != FirstBitMask) {
        uint8_t bit = 1;
        while (mask > FullMask) {
            if (EndOfText & bit)
                slots[at] ^= mask;
            mask >>= 1;
            bit = bit == 0x40 ? 1 : static_cast<uint8_t>(bit << 1);
        }
        finishCurrentCodeword(cursor);
    }
}

char numericShownAs(unsigned char c) {
    return "0123456789*U -]["[numericCode(c)];
}

void packNumericMessage(PackCursor& cursor, std::string_view message) {
    SlotBuffer& slots = cursor.buffer;
    int& at = cursor.writePosition;
    uint32_t mask = FirstBitMask;

    auto packCode = [&](uint8_t code) {
        for (uint8_t bit = 1; bit != 0x10; bit = static_cast<uint8_t>(bit << 1)) {
            if (code & bit)
                slots[at] ^= mask;
            mask >>= 1;
        }
    };

    for (const char c : message) {
        // 20 is a multiple of 4, so a codeword never straddles a sync slot here.
        if (at == cursor.nextSyncSlot) {
            slots[at] = cursor.sync;
            cursor.nextSyncSlot += layout::Batch;
            ++at;
        }
        packCode(numericCode(static_cast<unsigned char>(c)));
        if (mask == FullMask) {
            finishCurrentCodeword(cursor);
            mask = FirstBitMask;
        }
    }
    if (mask != FirstBitMask) {
        while (mask > FullMask)
            packCode(12);
        finishCurrentCodeword(cursor);
    }
}

// PageEncoder's packers: the message starts in batch 1, so the next sync codeword is due at
// the first slot of batch 2; the work slots behind the message get idle fill.
void PageEncoder::PackAlphaMessage(std::string_view message) {
    PackCursor cursor{CodewordBuffer, WritePosition, FirstBatchSlot + BatchSlots, SyncCodeword};
    packAlphaMessage(cursor, message);
    WritePosition = cursor.writePosition;
    fillWorkSlots(cursor.nextSyncSlot);
}

void PageEncoder::PackNumericMessage(std::string_view message) {
    PackCursor cursor{CodewordBuffer, WritePosition, FirstBatchSlot + BatchSlots, SyncCodeword};
    packNumericMessage(cursor, message);
    WritePosition = cursor.writePosition;
    fillWorkSlots(cursor.nextSyncSlot);
}

void PageEncoder::fillWorkSlots(int nextSyncSlot) {
    fillIdle(CodewordBuffer, WritePosition, SlotCount, nextSyncSlot, SyncCodeword, IdleCodeword);
}

} // namespace tarvex
