#pragma once
// Turning whatever a capture device delivers (8-bit unsigned, 16/32-bit signed or float
// samples, any rate, one or more channels) into what the decoder reads: signed 16-bit mono at
// 22050 samples per second. Channels are averaged, the rate changed by linear interpolation
// (up) or by averaging the source samples each output sample spans (down). A dither of one
// step keeps digital silence from holding the decoder in step.
// Standard C++ only.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

enum class SampleFormat { UInt8, Int16, Int32, Float };

struct CaptureFormat {
    SampleFormat format = SampleFormat::Int16;
    int rate = 22050;
    int channels = 1;
};

/// Bytes of one frame (all channels) of the format.
std::size_t frameBytes(const CaptureFormat& format);

class SampleConverter {
public:
    /// rate 8000..384000 and 1..32 channels; other values are brought into range.
    explicit SampleConverter(CaptureFormat from, int toRate = 22050);

    /// Converts raw bytes; a partial frame at the end is kept for the next call. Appends the
    /// output samples to `out`.
    void convert(std::span<const uint8_t> bytes, std::vector<int16_t>& out);

    const CaptureFormat& from() const { return m_from; }

private:
    double frameValue(const uint8_t* frame) const;
    void push(double value, std::vector<int16_t>& out);

    CaptureFormat m_from;
    int m_toRate;
    std::vector<uint8_t> m_partial;
    double m_step = 1.0;  ///< source frames per output sample
    double m_phase = 0.0; ///< position of the next output sample, in source frames from m_last
    double m_last = 0.0;  ///< the previous source frame (interpolation)
    double m_sum = 0.0;   ///< averaging: weighted sum so far
    double m_weight = 0.0;
};

/// Adds a one-step dither (-1, 0 or +1) to each sample, from a small generator whose state
/// the caller keeps.
void addDither(std::span<int16_t> samples, uint32_t& state);

} // namespace tarvex
