#include "signal/signal_gen.h"

#include "signal/wav_image.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace tarvex {
namespace {

// Shared by every generator of the process; the program has one thread.
int g_liveGenerators = 0;
uint16_t g_savedLeftLevel = 0xFFFF;

constexpr std::chrono::milliseconds ReleaseMargin{100};

} // namespace

TSignalGen::TSignalGen(std::shared_ptr<AudioOutput> output)
    : m_output(std::move(output)), m_clock([] { return std::chrono::steady_clock::now(); }) {
    if (!m_output)
        throw std::invalid_argument("TSignalGen needs an audio output");
    if (g_liveGenerators == 0) {
        g_savedLeftLevel = leftChannel(m_output->deviceLevel());
        PresetVolume();
    }
    ++g_liveGenerators;
}

TSignalGen::~TSignalGen() {
    Stop();
    releaseImage();
    if (--g_liveGenerators == 0)
        m_output->setDeviceLevel(bothChannels(g_savedLeftLevel));
}

void TSignalGen::setOutput(std::shared_ptr<AudioOutput> output) {
    if (!output)
        throw std::invalid_argument("TSignalGen needs an audio output");
    Stop();
    releaseImage();
    m_output = std::move(output);
    PresetVolume();
}

int TSignalGen::liveCount() {
    return g_liveGenerators;
}

uint16_t TSignalGen::savedDeviceLevel() {
    return g_savedLeftLevel;
}

void TSignalGen::setDuration(uint32_t ms) {
    m_duration = std::max(ms, MinDurationMs);
}

void TSignalGen::setLevel(int percent) {
    m_level = static_cast<int16_t>(std::clamp(percent, 0, 100));
    if (m_loading || m_stopped)
        PresetVolume();
}

void TSignalGen::PresetVolume() {
    const auto channel = static_cast<uint16_t>(m_level * 65535 / 100);
    m_output->setDeviceLevel(bothChannels(channel));
}

void TSignalGen::releaseImage() {
    ImageBytes().swap(m_image);
}

bool TSignalGen::refuse(std::string text) {
    m_output->stop();
    releaseImage();
    setDuration(0);
    m_error = std::move(text);
    return false;
}

bool TSignalGen::BuildImage() {
    // Take the stream up to its EndMarker and leave Data on the marker.
    const auto marker = std::find(m_data.begin(), m_data.end(), EndMarker);
    const auto count = static_cast<std::size_t>(marker - m_data.begin());
    const std::span<const Codeword> stream = m_data.first(count);
    m_data = m_data.subspan(count);

    if (m_data.empty())
        return refuse("codeword stream has no end marker within its " + std::to_string(count) +
                      " codewords of memory; nothing sent");
    if (count > MaxStreamCodewords)
        return refuse("codeword stream of " + std::to_string(count) +
                      " codewords is longer than the " + std::to_string(MaxStreamCodewords) +
                      " the signal generator takes; nothing sent");
    if (m_baud < 2)
        return refuse("bit rate " + std::to_string(m_baud) +
                      " bit/s cannot be rendered (the lowest is 2); nothing sent");

    setDuration(streamDurationMs(m_baud, count));
    const std::size_t samples = static_cast<std::size_t>(m_duration) * SamplesPerMs;

    // The old image may still be playing out of memory: silence it before letting it go.
    m_output->stop();
    releaseImage();
    try {
        m_image.resize(WavHeaderSize + samples);
    } catch (const std::bad_alloc&) {
        releaseImage();
        m_error = "no memory for a WAV image of " + std::to_string(WavHeaderSize + samples) +
                  " bytes; nothing sent";
        return false;
    }
    const std::span<uint8_t> image(m_image);
    writeWavHeader(image, static_cast<uint32_t>(samples));
    renderSamples(stream, m_baud, m_inverted, image.subspan(WavHeaderSize));
    m_error.clear();
    return true;
}

void TSignalGen::Send() {
    PresetVolume();
    BuildImage();
    m_stopped = false;
    Stop();
    PresetVolume();
    if (!m_image.empty()) {
        const PlayMode mode = m_loop    ? PlayMode::Loop
                              : m_async ? PlayMode::Async
                                        : PlayMode::Blocking;
        m_releaseAt = m_clock() + std::chrono::milliseconds(m_duration) + ReleaseMargin;
        if (!m_output->play(m_image, mode))
            m_error = m_output->lastError();
    }
    m_stopped = !m_async && !m_loop;
}

void TSignalGen::Stop() {
    m_output->stop();
    m_stopped = true;
}

bool TSignalGen::outputReady() {
    std::string why;
    if (m_output->ready(&why)) {
        m_error.clear();
        return true;
    }
    m_error = why.empty() ? m_output->lastError() : why;
    if (m_error.empty())
        m_error = "the audio output is not ready";
    return false;
}

bool TSignalGen::outputDrained() const {
    return m_clock() >= m_releaseAt && !m_output->playing();
}

} // namespace tarvex
