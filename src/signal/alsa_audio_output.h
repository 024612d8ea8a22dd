#pragma once
// The ALSA backend for stations without a sound server (and for the lowest latency): plays
// WAV images on a named ALSA device ("default", "plughw:1,0", "null") as 8-bit mono at
// 96000 samples per second, pushed from a thread of its own through a small buffer. ALSA
// has no per-stream level here, so the level scales the samples around the midpoint.
#include "signal/audio_output.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvex {

/// sample scaled around 128 by channel / 65535, rounded: 65535 keeps every sample (0 and
/// 255 exactly), 0 gives 128 throughout.
uint8_t scaleSample(uint8_t sample, uint16_t channel);
/// The 256-entry table of scaleSample for one channel level.
std::array<uint8_t, 256> sampleScaleTable(uint16_t channel);

class AlsaAudioOutput : public AudioOutput {
public:
    /// Period (one write) and whole ring-buffer length asked of the device; it may grant a
    /// little more or less. The buffer rides out a writer thread held up by a busy machine
    /// (a 40 ms buffer left 50 ms of silence in a page under a sanitizer build); Stop still
    /// silences at once, since it drops what the buffer holds.
    static constexpr unsigned DefaultPeriodUs = 10000;
    static constexpr unsigned DefaultBufferUs = 250000;

    explicit AlsaAudioOutput(std::string device = "default", unsigned periodUs = DefaultPeriodUs,
                             unsigned bufferUs = DefaultBufferUs);
    ~AlsaAudioOutput() override;
    AlsaAudioOutput(const AlsaAudioOutput&) = delete;
    AlsaAudioOutput& operator=(const AlsaAudioOutput&) = delete;

    /// Opens the device on the calling thread (a failure returns false at once, the reason
    /// in lastError()) and plays from the worker thread. Blocking returns once the last
    /// sample has left the device.
    bool play(std::span<const uint8_t> image, PlayMode mode) override;
    /// Drops what the device holds (snd_pcm_drop) within one period and closes it.
    void stop() override;
    /// False only once every sample of the last play has been played (the device's delay
    /// reached 0), or after stop().
    bool playing() const override { return m_playing.load(); }
    bool ready(std::string* why) override;
    /// The left channel scales the samples; it applies from the next period written.
    void setDeviceLevel(DeviceLevel level) override;
    DeviceLevel deviceLevel() const override { return m_level.load(); }
    std::string lastError() const override;
    std::string name() const override { return "alsa:" + m_device; }

    /// Period and buffer, in frames, that the device granted at the last play (0 before).
    unsigned long periodFrames() const { return m_periodFrames.load(); }
    unsigned long bufferFrames() const { return m_bufferFrames.load(); }

    /// The playback devices ALSA names (aplay -L), "null" and "default" included.
    static std::vector<std::string> deviceNames();

private:
    struct Pcm;
    void run(Pcm* pcm, std::span<const uint8_t> samples, PlayMode mode);
    bool writeAll(Pcm& pcm, std::span<const uint8_t> samples);
    bool waitPlayedOut(Pcm& pcm);
    void setError(std::string text);

    std::string m_device;
    unsigned m_periodUs;
    unsigned m_bufferUs;
    std::atomic<DeviceLevel> m_level{0xFFFFFFFFu};
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<unsigned long> m_periodFrames{0};
    std::atomic<unsigned long> m_bufferFrames{0};
    std::thread m_worker;
    mutable std::mutex m_errorMutex;
    std::string m_error;
};

} // namespace tarvex
