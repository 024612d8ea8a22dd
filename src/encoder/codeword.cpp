#include "encoder/codeword.h"

#include <bit>

namespace tarvex {

uint16_t ComputeCheck(uint32_t info) {
    // Shift register over the 21 information bits, highest coefficient first. The register is
    // tested at bit 10 before each shift, which leaves the remainder in bits 10..1.
    uint16_t reg = 0;
    for (int i = 0; i < 21; ++i) {
        const bool bit = (info & 0x00800000u) != 0;
        info <<= 1;
        if (((reg & 0x400u) != 0) != bit)
            reg ^= 0x769u;
        reg = static_cast<uint16_t>(reg << 1);
    }
    return reg;
}

Codeword FinishCodeword(uint32_t info, uint16_t check) {
    Codeword v = (info << 8) + (check & 0x7FFu);
    if (std::popcount(v) % 2 != 0)
        v += 1;
    return v;
}

Codeword finishMessageCodeword(uint32_t word) {
    const uint32_t info = (word ^ 0x80000000u) >> 8;
    return FinishCodeword(info, ComputeCheck(info));
}

uint32_t addressInfoWord(uint32_t ric, int functionBits) {
    return ((ric / 8) << 5) + (static_cast<uint32_t>(functionBits) << 3);
}

Codeword addressCodeword(uint32_t ric, int functionBits) {
    const uint32_t info = addressInfoWord(ric, functionBits);
    return FinishCodeword(info, ComputeCheck(info));
}

bool isValidCodeword(Codeword value) {
    const uint32_t info = (value >> 8) & 0x00FFFFF8u;
    return FinishCodeword(info, ComputeCheck(info)) == value;
}

} // namespace tarvex
