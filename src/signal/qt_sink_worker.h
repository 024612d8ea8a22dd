#pragma once
// The thread-side half of QtAudioOutput: owns the QAudioSink, pushes samples into it from
// a 5 ms timer and judges the end of playback by the samples the sink has processed
// (its Idle state comes before the sound has left, and stopping then cuts the tail).
#include "signal/audio_output.h"

#include <QAudioDevice>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

class QAudioSink;
class QIODevice;
class QTimer;

namespace tarvex {

class SinkWorker {
public:
    SinkWorker(int bufferMs, int aheadMs);
    ~SinkWorker();

    /// Lives in the playing thread; QtAudioOutput runs the calls below through it.
    QObject* context() { return &m_context; }

    // Called in the playing thread only.
    bool start(const QAudioDevice& device, std::span<const uint8_t> samples, PlayMode mode,
               double volume);
    void stopNow();
    void setVolume(double volume);
    void shutdown();

    // Safe from any thread.
    bool playing() const;
    void waitUntilDone();
    std::string error() const;
    void setError(std::string text);
    long bufferBytes() const { return m_bufferBytes.load(); }

private:
    void tick();
    void feed();
    void finish(std::string error);
    bool openSink(const QAudioDevice& device);

    QObject m_context;
    int m_bufferMs;
    int m_aheadMs;
    std::unique_ptr<QAudioSink> m_sink;
    QAudioDevice m_sinkDevice;
    QIODevice* m_io = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::span<const uint8_t> m_samples;
    std::size_t m_next = 0;         // next sample of the image to write
    std::size_t m_writtenTotal = 0; // bytes written since start, loops included
    PlayMode m_mode = PlayMode::Async;
    int64_t m_lengthUs = 0;
    int64_t m_lastProcessedUs = -1;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::optional<std::chrono::steady_clock::time_point> m_tailSince; ///< all played, by the
                                                                      ///< server's clock

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_playing = false;
    std::string m_error;
    std::atomic<long> m_bufferBytes{0};
};

} // namespace tarvex
