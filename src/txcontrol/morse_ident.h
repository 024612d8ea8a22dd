#pragma once
// The Morse station ident as a codeword stream: played at 800 bit/s, 0xAAAAAAAA is 40 ms of
// 400 Hz tone and 0x00000000 40 ms of silence, so dots, dashes and gaps are whole codewords.
#include "encoder/codeword_buffer.h"

#include <cstdint>
#include <string_view>

namespace tarvex {

/// Bit rate the ident is played at.
inline constexpr int MorseBaud = 800;
/// Codewords of each element: dot 2 tone + 1 silent, dash 6 + 1, end of character 6 silent.
inline constexpr int DotCodewords = 3;
inline constexpr int DashCodewords = 7;
inline constexpr int CharacterGapCodewords = 6;
/// EndMarkers written after the last character.
inline constexpr int IdentEndMarkers = 3;

/// The table byte of a character: the lowest set bit is a start marker, the bits above it
/// (up to bit 7) are the elements in sending order, lowest first, 1 dash and 0 dot.
/// A..Z, 0..9 and '/' (lower-case letters as their capitals); 0 for characters without an
/// entry.
uint8_t morseCode(char c);

/// Codewords the callsign's stream takes, without the closing EndMarkers. Characters
/// without a table entry are skipped.
int morseIdentCodewordCount(std::string_view callsign);

/// Builds the ident from slot 1001 on and returns its codeword count (0 when no character
/// can be sent). A stored callsign may be longer than the dialog allows: one that does not
/// fit in slots 1001..2000 is refused with tarvex::Error before anything is written.
int BuildMorseIdent(SlotBuffer& buffer, std::string_view callsign);

} // namespace tarvex
