#pragma once
// Where codewords sit in a transmission: slots numbered from 1, an 18-codeword preamble, then
// batches of 17 slots (a sync codeword and eight two-slot frames). Shared by the single-page
// and multi-page builders so both lay out batches and message lengths the same way.
#include "encoder/page_encoder.h"

#include <cstddef>

namespace tarvex::layout {

inline constexpr int Preamble = PageEncoder::PreambleSlots;
inline constexpr int FirstBatch = PageEncoder::FirstBatchSlot;
inline constexpr int Batch = PageEncoder::BatchSlots;

/// True for the first slot of a batch, the slot of its sync codeword.
constexpr bool isBatchStart(int slot) {
    return slot >= FirstBatch && (slot - FirstBatch) % Batch == 0;
}

/// Last slot of the batch that holds `slot` (slot >= FirstBatch).
constexpr int batchEnd(int slot) {
    const int offset = slot - Preamble;
    return Preamble + (offset + Batch - 1) / Batch * Batch;
}

/// First batch start after `slot`.
constexpr int nextBatchStart(int slot) {
    return batchEnd(slot) + 1;
}

/// Slot of the first codeword of `frame` (0..7) in the batch that starts at `batchStart`.
constexpr int frameSlot(int batchStart, int frame) {
    return batchStart + 1 + 2 * frame;
}

/// Message codewords a message of `length` characters takes: 7 bits a character plus the
/// end-of-text character when alphanumeric, 4 bits a character when numeric.
constexpr std::size_t messageCodewords(Coding coding, std::size_t length) {
    const std::size_t bits = coding == Coding::Alphanumeric ? 7 * (length + 1) : 4 * length;
    return (bits + 19) / 20;
}

/// Slot of the last message codeword when `codewords` follow the address at `addressSlot`,
/// skipping every batch start.
constexpr int lastMessageSlot(int addressSlot, std::size_t codewords) {
    int last = addressSlot;
    for (std::size_t i = codewords; i > 0; --i) {
        ++last;
        if (isBatchStart(last))
            ++last;
    }
    return last;
}

} // namespace tarvex::layout
