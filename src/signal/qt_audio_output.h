#pragma once
// The sound-card backend: plays WAV images through Qt Multimedia's QAudioSink (PulseAudio on
// Linux) at 96000 samples per second, 8-bit mono. Samples are pushed from a thread of its
// own, so playback keeps time whatever the user-interface thread is doing.
#include "signal/audio_output.h"

#include <memory>
#include <string>
#include <vector>

class QThread;

namespace tarvex {

class SinkWorker;

class QtAudioOutput : public AudioOutput {
public:
    /// Target of the sink's buffer; PulseAudio may grant a little more.
    static constexpr int DefaultBufferMs = 25;
    /// Samples kept queued at the sound server ahead of playback, beyond that buffer.
    static constexpr int DefaultAheadMs = 150;

    /// deviceHint empty: the system's default output at each play; otherwise the first
    /// output whose description or id contains the hint. Needs a QCoreApplication.
    explicit QtAudioOutput(std::string deviceHint = {}, int bufferMs = DefaultBufferMs,
                           int aheadMs = DefaultAheadMs);
    ~QtAudioOutput() override;
    QtAudioOutput(const QtAudioOutput&) = delete;
    QtAudioOutput& operator=(const QtAudioOutput&) = delete;

    /// Async and Loop return once the sink runs; Blocking returns after the last sample
    /// has been played, handling no events meanwhile. No device or no sound server: false,
    /// nothing thrown, the reason in lastError().
    bool play(std::span<const uint8_t> image, PlayMode mode) override;
    void stop() override;
    bool playing() const override;
    bool ready(std::string* why) override;
    /// The stream's volume follows the left channel, linearly (channel value / 65535).
    void setDeviceLevel(DeviceLevel level) override;
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override;
    std::string name() const override;

    /// Buffer size in bytes that the sink reported after its last start (0 before).
    long sinkBufferBytes() const;
    /// Descriptions of the output devices Qt offers.
    static std::vector<std::string> deviceDescriptions();

private:
    std::string m_hint;
    DeviceLevel m_level = 0xFFFFFFFFu;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<SinkWorker> m_worker;
};

} // namespace tarvex
