#pragma once
// The two message packers over any slot buffer: they put a message's codewords behind an
// address codeword, a sync codeword in the first slot of every batch they enter. PageEncoder
// packs its single page with them and the multi-page builder packs each page of a burst.
#include "encoder/codeword.h"
#include "encoder/codeword_buffer.h"

#include <cstdint>
#include <string_view>

namespace tarvex {

/// Where a packer writes. Every slot from writePosition on must hold 0: codewords are built
/// by exclusive-or in place. nextSyncSlot is the first batch start after the address.
struct PackCursor {
    SlotBuffer& buffer;
    int writePosition = 0; ///< next slot to write; left after the last message codeword
    int nextSyncSlot = 0;  ///< next batch start not yet given its sync codeword
    Codeword sync = 0;
};

/// The 4-bit code a numeric message byte goes on the air as: digits by their low four bits,
/// 'A' spare (12), '-' (13), ']' and '[' the brackets (14, 15), 0x19 the urgency code (11).
uint8_t numericCode(unsigned char c);

/// 7 bits a character, an end-of-text character appended and repeated as fill.
void packAlphaMessage(PackCursor& cursor, std::string_view message);
/// 4 bits a character, fill with code 12.
void packNumericMessage(PackCursor& cursor, std::string_view message);
/// What a numeric pager shows for the character c once it is packed: the digits, '-', '['
/// and ']' show as themselves; every other character shows as the character of its 4-bit
/// code ('*' standing for the spare code 10, 'U', ' ', '-', ']', '[' for 11 to 15).
char numericShownAs(unsigned char c);

/// Slots first..last get the idle codeword, or the sync codeword at nextSyncSlot and every
/// batch start after it.
void fillIdle(SlotBuffer& buffer, int first, int last, int nextSyncSlot, Codeword sync,
              Codeword idle);

/// Ends a transmission whose last codeword is in slot lastWritten and whose batch is already
/// filled behind it, and returns its last slot: the end of that batch, or one batch of sync
/// and idle codewords more when that batch's last slot does not hold the idle codeword.
int closeLastBatch(SlotBuffer& buffer, int lastWritten, Codeword sync, Codeword idle);

} // namespace tarvex
