#pragma once
// Test helper: reads rendered samples back into bits at the generator's pair timing, and
// insists that every sample of a bit carries that bit's level.
#include "encoder/codeword.h"
#include "signal/wav_image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvex::test {

/// Bits of `count` whole bit times from the start of `samples`, or nullopt when a bit's
/// samples are not all at one level or a level other than 0 and 255 appears.
inline std::optional<std::vector<bool>> decodeBits(std::span<const uint8_t> samples, int baud,
                                                   bool inverted, std::size_t count) {
    const PairTiming t = pairTiming(baud);
    const uint8_t one = inverted ? 0 : 255;
    std::vector<bool> bits;
    std::size_t start = 0;
    for (std::size_t pair = 1; bits.size() < count; ++pair) {
        const auto end = static_cast<std::size_t>(static_cast<double>(pair) * t.samplesPerPair);
        const std::size_t mid = start + t.firstBitSamples;
        for (auto [from, to] : {std::pair{start, mid}, std::pair{mid, end}}) {
            if (bits.size() == count)
                break;
            if (to > samples.size() || from >= to)
                return std::nullopt;
            const uint8_t level = samples[from];
            if (level != 0 && level != 255)
                return std::nullopt;
            for (std::size_t i = from; i < to; ++i) {
                if (samples[i] != level)
                    return std::nullopt;
            }
            bits.push_back(level == one);
        }
        start = end;
    }
    return bits;
}

/// The bits of a codeword stream, most significant bit of each codeword first.
inline std::vector<bool> streamBits(std::span<const Codeword> stream) {
    std::vector<bool> bits;
    for (Codeword word : stream) {
        for (int b = 31; b >= 0; --b)
            bits.push_back((word >> b) & 1u);
    }
    return bits;
}

/// Lengths of the runs of equal samples.
inline std::vector<std::size_t> runLengths(std::span<const uint8_t> samples) {
    std::vector<std::size_t> runs;
    for (std::size_t i = 0; i < samples.size();) {
        std::size_t j = i;
        while (j < samples.size() && samples[j] == samples[i])
            ++j;
        runs.push_back(j - i);
        i = j;
    }
    return runs;
}

} // namespace tarvex::test
