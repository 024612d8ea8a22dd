#pragma once
// The tune-up stream: TuneTime seconds of the alternating pattern 0xAAAAAAAA, which plays
// as a square wave at half the bit rate while the radio is adjusted.
#include "encoder/codeword_buffer.h"

namespace tarvex {

inline constexpr int MinTuneTime = 1;
inline constexpr int MaxTuneTime = 15;

/// Codewords of about one second at a bit rate: 16 at 512, 38 at 1200, 75 at 2400.
/// Throws tarvex::Error for any other rate.
int codewordsPerSecond(int baud);

/// tuneTime × codewordsPerSecond(baud). Throws tarvex::Error for a tune time outside 1..15
/// seconds (a stored setting may hold anything) or an unknown rate.
int tuneUpCodewordCount(int tuneTime, int baud);

/// Fills slots 1..n with 0xAAAAAAAA and puts EndMarker in slot n + 1; returns n.
int BuildTuneUp(SlotBuffer& buffer, int tuneTime, int baud);

} // namespace tarvex
