#include "monitor/sample_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvex {
namespace {

uint32_t nextNoise(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

int16_t clampSample(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

} // namespace

std::size_t frameBytes(const CaptureFormat& format) {
    std::size_t bytes = 2;
    switch (format.format) {
    case SampleFormat::UInt8:
        bytes = 1;
        break;
    case SampleFormat::Int16:
        bytes = 2;
        break;
    case SampleFormat::Int32:
    case SampleFormat::Float:
        bytes = 4;
        break;
    }
    return bytes * static_cast<std::size_t>(format.channels);
}

SampleConverter::SampleConverter(CaptureFormat from, int toRate)
    : m_from(from), m_toRate(std::clamp(toRate, 8000, 384000)) {
    m_from.rate = std::clamp(m_from.rate, 8000, 384000);
    m_from.channels = std::clamp(m_from.channels, 1, 32);
    m_step = static_cast<double>(m_from.rate) / m_toRate;
}

double SampleConverter::frameValue(const uint8_t* frame) const {
    double sum = 0;
    for (int c = 0; c < m_from.channels; ++c) {
        switch (m_from.format) {
        case SampleFormat::UInt8:
            sum += (frame[c] - 128) * 256.0;
            break;
        case SampleFormat::Int16: {
            int16_t v;
            std::memcpy(&v, frame + 2 * c, 2);
            sum += v;
            break;
        }
        case SampleFormat::Int32: {
            int32_t v;
            std::memcpy(&v, frame + 4 * c, 4);
            sum += v / 65536.0;
            break;
        }
        case SampleFormat::Float: {
            float v;
            std::memcpy(&v, frame + 4 * c, 4);
            sum += std::isfinite(v) ? v * 32767.0 : 0.0;
            break;
        }
        }
    }
    return sum / m_from.channels;
}

void SampleConverter::push(double value, std::vector<int16_t>& out) {
    if (m_step == 1.0) {
        out.push_back(clampSample(value));
    } else if (m_step < 1.0) {
        // Up: output samples fall between the previous frame and this one.
        while (m_phase <= 1.0) {
            out.push_back(clampSample(m_last + (value - m_last) * m_phase));
            m_phase += m_step;
        }
        m_phase -= 1.0;
    } else {
        // Down: each output sample is the mean of the source span it covers; a frame that
        // straddles the span's end counts in both, by the share on each side.
        const double room = m_step - m_weight;
        if (room > 1.0) {
            m_sum += value;
            m_weight += 1.0;
        } else {
            m_sum += value * room;
            out.push_back(clampSample(m_sum / m_step));
            m_sum = value * (1.0 - room);
            m_weight = 1.0 - room;
        }
    }
    m_last = value;
}

void SampleConverter::convert(std::span<const uint8_t> bytes, std::vector<int16_t>& out) {
    const std::size_t frame = frameBytes(m_from);
    std::size_t pos = 0;
    if (!m_partial.empty()) {
        const std::size_t need = std::min(frame - m_partial.size(), bytes.size());
        m_partial.insert(m_partial.end(), bytes.begin(), bytes.begin() + need);
        pos = need;
        if (m_partial.size() < frame)
            return;
        push(frameValue(m_partial.data()), out);
        m_partial.clear();
    }
    for (; pos + frame <= bytes.size(); pos += frame)
        push(frameValue(bytes.data() + pos), out);
    m_partial.assign(bytes.begin() + pos, bytes.end());
}

void addDither(std::span<int16_t> samples, uint32_t& state) {
    if (state == 0)
        state = 0x9E3779B9u;
    for (auto& s : samples) {
        const int step = static_cast<int>(nextNoise(state) % 3) - 1;
        s = static_cast<int16_t>(std::clamp(s + step, -32768, 32767));
    }
}

} // namespace tarvex
