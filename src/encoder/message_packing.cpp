// The two message packers. Both build each message codeword by exclusive-or into slots that
// the build cleared beforehand, skip the first slot of every batch (the sync codeword) and
// finish with idle fill up to the last work slot.
#include "encoder/page_encoder.h"

namespace tarvex {
namespace {

constexpr uint32_t FirstBitMask = 0x40000000u; // bit 30: first data bit of a codeword
constexpr uint32_t FullMask = 0x400u;          // reached after 20 data bits
constexpr int FirstNextSync = 36;              // first slot of batch 2
constexpr uint8_t EndOfText = 4;

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

} // namespace

void PageEncoder::finishCurrentCodeword() {
    CodewordBuffer[WritePosition] = finishMessageCodeword(CodewordBuffer[WritePosition]);
    ++WritePosition;
}

void PageEncoder::fillWorkSlots(int nextSyncSlot) {
    for (int s = WritePosition; s <= SlotCount; ++s) {
        if (s == nextSyncSlot) {
            CodewordBuffer[s] = SyncCodeword;
            nextSyncSlot += BatchSlots;
        } else {
            CodewordBuffer[s] = IdleCodeword;
        }
    }
}

void PageEncoder::PackAlphaMessage(std::string_view message) {
    int nextSync = FirstNextSync;
    uint32_t mask = FirstBitMask;

    // A codeword fills after 20 bits, mid-character at times; the rest of that character then
    // lands in the sync slot and is carried one slot forward at the next sync check.
    auto syncCheck = [&] {
        if (WritePosition == nextSync) {
            nextSync += BatchSlots;
            CodewordBuffer[WritePosition + 1] = CodewordBuffer[WritePosition];
            CodewordBuffer[WritePosition] = SyncCodeword;
            ++WritePosition;
        }
    };
    auto packCharacter = [&](uint8_t c) {
        if (c == 19)
            c = 13;
        syncCheck();
        for (uint8_t bit = 1; bit != 0x80; bit = static_cast<uint8_t>(bit << 1)) {
            if (c & bit)
                CodewordBuffer[WritePosition] ^= mask;
            mask >>= 1;
            if (mask == FullMask) {
                mask = FirstBitMask;
                finishCurrentCodeword();
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
                CodewordBuffer[WritePosition] ^= mask;
            mask >>= 1;
            bit = bit == 0x40 ? 1 : static_cast<uint8_t>(bit << 1);
        }
        finishCurrentCodeword();
    }
    fillWorkSlots(nextSync);
}

void PageEncoder::PackNumericMessage(std::string_view message) {
    int nextSync = FirstNextSync;
    uint32_t mask = FirstBitMask;

    auto packCode = [&](uint8_t code) {
        for (uint8_t bit = 1; bit != 0x10; bit = static_cast<uint8_t>(bit << 1)) {
            if (code & bit)
                CodewordBuffer[WritePosition] ^= mask;
            mask >>= 1;
        }
    };

    for (const char c : message) {
        // 20 is a multiple of 4, so a codeword never straddles a sync slot here.
        if (WritePosition == nextSync) {
            CodewordBuffer[WritePosition] = SyncCodeword;
            nextSync += BatchSlots;
            ++WritePosition;
        }
        packCode(numericCode(static_cast<unsigned char>(c)));
        if (mask == FullMask) {
            finishCurrentCodeword();
            mask = FirstBitMask;
        }
    }
    if (mask != FirstBitMask) {
        while (mask > FullMask)
            packCode(12);
        finishCurrentCodeword();
    }
    fillWorkSlots(nextSync);
}

} // namespace tarvex
