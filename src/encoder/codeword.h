#pragma once
// POCSAG codeword arithmetic: the BCH(31,21) check bits, finishing a codeword with its
// even-parity bit, and the address codeword of a RIC/CAP code with its function bits.
#include <cstdint>

namespace tarvex {

/// 32-bit codeword, bit 31 sent first: flag, 20 data bits, 10 check bits, parity.
using Codeword = uint32_t;

/// Ends every codeword stream; never a finished codeword and never rendered.
inline constexpr Codeword EndMarker = 0xC0000000u;
/// Alternating 1/0 bits: preamble, tune-up tone and the Morse tone.
inline constexpr Codeword PreambleCodeword = 0xAAAAAAAAu;
inline constexpr Codeword StockSyncCodeword = 0x7CD215D8u;
inline constexpr Codeword StockIdleCodeword = 0x7A89C197u;
inline constexpr char StockSyncText[] = "7CD215D8";
inline constexpr char StockIdleText[] = "7A89C197";
/// Highest RIC/CAP code: 18 address bits plus the 3 bits of the frame number.
inline constexpr int32_t MaxRic = 2097151;

/// Ten BCH(31,21) check bits of an information word (flag in bit 23, data in 22..3,
/// bits 2..0 zero). The check bits come back in bits 10..1; bits 15..11 carry no meaning.
uint16_t ComputeCheck(uint32_t info);

/// Joins an information word and its check value into a codeword with even parity.
Codeword FinishCodeword(uint32_t info, uint16_t check);

/// Finishes a message codeword assembled in place (20 data bits in 30..11, all else 0).
Codeword finishMessageCodeword(uint32_t word);

/// Information word of the address codeword for a RIC in 0..MaxRic and function bits 0..3.
uint32_t addressInfoWord(uint32_t ric, int functionBits);

/// Finished address codeword for a RIC in 0..MaxRic and function bits 0..3.
Codeword addressCodeword(uint32_t ric, int functionBits);

/// True when the value has the shape of a finished codeword: even parity and a check
/// field that matches its 21 information bits.
bool isValidCodeword(Codeword value);

} // namespace tarvex
