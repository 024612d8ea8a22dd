#include "signal/wav_image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace tarvex {
namespace {

void requireRenderableBaud(int baud) {
    if (baud < 2)
        throw std::invalid_argument("bit rate " + std::to_string(baud) +
                                    " cannot be rendered (the lowest is 2 bit/s)");
}

void putLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void putLe16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t getLe32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

uint16_t getLe16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

bool fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

bool checkHeader(std::span<const uint8_t> image, std::string* error) {
    if (image.size() < WavHeaderSize)
        return fail(error, "WAV image shorter than its 44-byte header");
    const uint8_t* h = image.data();
    if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0 ||
        std::memcmp(h + 12, "fmt ", 4) != 0 || std::memcmp(h + 36, "data", 4) != 0)
        return fail(error, "not a RIFF/WAVE image with its data at offset 44");
    if (getLe32(h + 16) != 16 || getLe16(h + 20) != 1 || getLe16(h + 22) != 1 ||
        getLe32(h + 24) != SampleRate || getLe16(h + 34) != 8)
        return fail(error, "WAV image is not 8-bit mono PCM at 96000 samples per second");
    if (getLe32(h + 40) > image.size() - WavHeaderSize)
        return fail(error, "WAV image is shorter than its data chunk says");
    return true;
}

} // namespace

uint32_t streamDurationMs(int baud, std::size_t codewords) {
    requireRenderableBaud(baud);
    // The microseconds per bit are truncated before they are multiplied: 416.67 us at
    // 2400 bit/s counts as 416, so long streams come out slightly short.
    const uint64_t usPerBit = 1000000u / static_cast<uint32_t>(baud);
    // Above 1000000 bit/s a bit takes 0 whole microseconds: the stream counts as 1 ms.
    if (usPerBit > 0 && codewords >= std::numeric_limits<uint64_t>::max() / (usPerBit * 32))
        return std::numeric_limits<uint32_t>::max();
    const uint64_t ms = usPerBit * 32 * codewords / 1000 + 1;
    if (ms > std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return std::max(static_cast<uint32_t>(ms), MinDurationMs);
}

PairTiming pairTiming(int baud) {
    requireRenderableBaud(baud);
    PairTiming t;
    t.samplesPerPair = static_cast<double>(SampleRate) / static_cast<double>(baud / 2);
    t.firstBitSamples = static_cast<uint32_t>(t.samplesPerPair + 0.5) / 2;
    return t;
}

void writeWavHeader(std::span<uint8_t> out, uint32_t samples) {
    if (out.size() < WavHeaderSize)
        throw std::length_error("WAV header needs 44 bytes");
    if (samples > std::numeric_limits<uint32_t>::max() - 36)
        throw std::length_error("too many samples for a WAV header");
    uint8_t* h = out.data();
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, samples + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1); // PCM
    putLe16(h + 22, 1); // mono
    putLe32(h + 24, SampleRate);
    putLe32(h + 28, SampleRate); // one byte per sample
    putLe16(h + 32, 1);
    putLe16(h + 34, 8);
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, samples);
}

std::optional<std::span<const uint8_t>> wavImageSamples(std::span<const uint8_t> image,
                                                        std::string* error) {
    if (!checkHeader(image, error))
        return std::nullopt;
    return image.subspan(WavHeaderSize, getLe32(image.data() + 40));
}

void renderSamples(std::span<const Codeword> stream, int baud, bool inverted,
                   std::span<uint8_t> out) {
    const PairTiming timing = pairTiming(baud);
    const uint8_t levels[2] = {inverted ? HighSample : LowSample,
                               inverted ? LowSample : HighSample};
    const std::size_t total = out.size();
    if (total == 0)
        return;
    const uint64_t streamBits = static_cast<uint64_t>(stream.size()) * 32;
    uint8_t* const dst = out.data();

    auto bitAt = [&](uint64_t bit) -> unsigned {
        return (stream[static_cast<std::size_t>(bit >> 5)] >> (31 - (bit & 31))) & 1u;
    };

    // Equal bits in a row are written as one run: fewer, longer fills.
    std::size_t runStart = 0;
    unsigned runLevel = 0; // past the stream the level of a 0 bit follows
    auto startRun = [&](std::size_t at, unsigned level) {
        if (level == runLevel)
            return;
        std::memset(dst + runStart, levels[runLevel], at - runStart);
        runStart = at;
        runLevel = level;
    };
    if (streamBits > 0)
        runLevel = bitAt(0);

    std::size_t pos = 0; // first sample of the current pair
    uint64_t pair = 0;
    for (uint64_t bit = 0; pos < total && bit < streamBits; bit += 2) {
        ++pair;
        // Pair p ends before Trunc(p * S), so the running total never drifts.
        const auto exactEnd =
            static_cast<std::size_t>(static_cast<double>(pair) * timing.samplesPerPair);
        const std::size_t pairEnd = std::min(total, exactEnd);
        const std::size_t firstEnd = std::min(pairEnd, pos + timing.firstBitSamples);
        startRun(pos, bitAt(bit));
        startRun(firstEnd, bit + 1 < streamBits ? bitAt(bit + 1) : 0u);
        pos = pairEnd;
    }
    // Past the stream the pair timing would go on with 0 bits, which is one flat level.
    startRun(pos, 0);
    std::memset(dst + runStart, levels[runLevel], total - runStart);
}

} // namespace tarvex
