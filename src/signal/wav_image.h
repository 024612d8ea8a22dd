#pragma once
// The two-level waveform of a codeword stream: its length in milliseconds, the 44-byte
// RIFF/WAVE header, and the pair-timed sample synthesis at 96000 samples per second.
// Pure functions with no state, shared by TSignalGen, the tests and the benchmark.
#include "encoder/codeword.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarvex {

inline constexpr uint32_t SampleRate = 96000;
inline constexpr uint32_t SamplesPerMs = SampleRate / 1000;
inline constexpr std::size_t WavHeaderSize = 44;
/// Largest stream the generator takes: its working copy holds 4550 bytes.
inline constexpr std::size_t MaxStreamCodewords = 1137;
/// Shortest image in milliseconds; shorter lengths are raised to it.
inline constexpr uint32_t MinDurationMs = 100;
inline constexpr uint8_t HighSample = 255;
inline constexpr uint8_t LowSample = 0;

/// Length in ms of an image holding `codewords` at `baud` (baud >= 2): the microseconds per
/// bit truncated first, then ((1000000 div baud) * 32 * C) div 1000 + 1, raised to 100.
uint32_t streamDurationMs(int baud, std::size_t codewords);

/// Timing of one pair of bits: S samples per pair (not whole in general) and the H samples
/// of its first bit; the second bit takes the rest of the pair.
struct PairTiming {
    double samplesPerPair = 0;
    uint32_t firstBitSamples = 0;
};

/// Pair timing at `baud` (>= 2). An odd rate renders as the even rate below it.
PairTiming pairTiming(int baud);

/// Writes the 44-byte header of an image with `samples` samples into `out` (at least 44 bytes).
void writeWavHeader(std::span<uint8_t> out, uint32_t samples);

/// The samples of an image in the format writeWavHeader produces (PCM, mono, 8 bits,
/// 96000 samples per second, data chunk at offset 44 and wholly inside the image).
/// nullopt, with *error set when error is not null, for anything else.
std::optional<std::span<const uint8_t>> wavImageSamples(std::span<const uint8_t> image,
                                                        std::string* error = nullptr);

/// Renders the stream's bits, most significant bit of each codeword first, into every byte
/// of `out` in a single pass. Samples past the stream's last bit continue at the level of
/// a 0 bit. A 1 bit is 255 and a 0 bit 0, swapped when `inverted`. Requires baud >= 2.
void renderSamples(std::span<const Codeword> stream, int baud, bool inverted,
                   std::span<uint8_t> out);

} // namespace tarvex
