#include "signal/qt_sink_worker.h"

#include "signal/wav_image.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QTimer>

#include <algorithm>

namespace tarvex {
namespace {

constexpr int FeedIntervalMs = 5;
// No progress for this long while playing means the sound server has gone away.
constexpr std::chrono::milliseconds StallTimeout{2000};
// The processed time comes from the server's interpolated clock, which can run a little ahead
// of the last sample (10 samples were lost at the end of an ident on a busy machine): the sink
// is stopped only this long after it says the whole image has played.
constexpr std::chrono::milliseconds TailGrace{40};

QAudioFormat imageFormat() {
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(SampleRate));
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::UInt8);
    return format;
}

} // namespace

SinkWorker::SinkWorker(int bufferMs, int aheadMs) : m_bufferMs(bufferMs), m_aheadMs(aheadMs) {}

SinkWorker::~SinkWorker() = default;

bool SinkWorker::openSink(const QAudioDevice& device) {
    if (m_sink && m_sinkDevice == device)
        return true;
    m_sink.reset();
    m_sink = std::make_unique<QAudioSink>(device, imageFormat());
    m_sinkDevice = device;
    return true;
}

bool SinkWorker::start(const QAudioDevice& device, std::span<const uint8_t> samples, PlayMode mode,
                       double volume) {
    stopNow();
    openSink(device);
    m_sink->setBufferSize(static_cast<qsizetype>(SamplesPerMs) * m_bufferMs);
    m_sink->setVolume(volume);
    m_io = m_sink->start();
    if (!m_io || m_sink->error() != QAudio::NoError) {
        const auto code = static_cast<int>(m_sink->error());
        m_sink->stop();
        m_io = nullptr;
        setError("cannot open audio output \"" + device.description().toStdString() +
                 "\" (Qt audio error " + std::to_string(code) + ")");
        return false;
    }
    m_bufferBytes = static_cast<long>(m_sink->bufferSize());
    m_samples = samples;
    m_next = 0;
    m_writtenTotal = 0;
    m_mode = mode;
    m_lengthUs = static_cast<int64_t>(samples.size()) * 1000000 / SampleRate;
    m_lastProcessedUs = -1;
    m_lastProgress = std::chrono::steady_clock::now();
    m_tailSince.reset();
    {
        std::lock_guard lock(m_mutex);
        m_playing = true;
        m_error.clear();
    }
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(FeedIntervalMs);
        QObject::connect(m_timer.get(), &QTimer::timeout, &m_context, [this] { tick(); });
    }
    feed();
    m_timer->start();
    return true;
}

void SinkWorker::feed() {
    // Beyond the sink's own small buffer, keep up to m_aheadMs of samples queued at the
    // server: a client thread that is held up for a moment then costs no gap on the air,
    // and stop() still silences at once, since the server drops what is queued.
    const int64_t processedBytes = m_sink->processedUSecs() * SampleRate / 1000000;
    const int64_t queued = static_cast<int64_t>(m_writtenTotal) - processedBytes;
    const int64_t ahead = static_cast<int64_t>(SamplesPerMs) * m_aheadMs - queued;
    qsizetype room = std::max<qsizetype>(m_sink->bytesFree(), static_cast<qsizetype>(ahead));
    while (room > 0) {
        if (m_next == m_samples.size()) {
            if (m_mode != PlayMode::Loop || m_samples.empty())
                return;
            m_next = 0;
        }
        const auto chunk =
            std::min<qsizetype>(room, static_cast<qsizetype>(m_samples.size() - m_next));
        const qint64 written =
            m_io->write(reinterpret_cast<const char*>(m_samples.data() + m_next), chunk);
        if (written <= 0)
            return;
        m_next += static_cast<std::size_t>(written);
        m_writtenTotal += static_cast<std::size_t>(written);
        room -= written;
    }
}

void SinkWorker::tick() {
    if (!m_sink || !m_io)
        return;
    if (m_sink->state() == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        finish("audio output failed while playing (Qt audio error " +
               std::to_string(static_cast<int>(m_sink->error())) + ")");
        return;
    }
    feed();
    const auto now = std::chrono::steady_clock::now();
    const int64_t processed = m_sink->processedUSecs();
    if (processed != m_lastProcessedUs) {
        m_lastProcessedUs = processed;
        m_lastProgress = now;
    }
    // The sink turns Idle while its last buffer is still sounding; only the processed
    // time tells that the final sample has left.
    if (m_mode != PlayMode::Loop && m_next == m_samples.size() && processed >= m_lengthUs) {
        if (!m_tailSince)
            m_tailSince = now;
        if (now - *m_tailSince >= TailGrace) {
            finish({});
            return;
        }
    }
    if (now - m_lastProgress > StallTimeout && !m_tailSince)
        finish("audio output stalled: no sample played for 2 seconds");
}

void SinkWorker::finish(std::string error) {
    if (m_timer)
        m_timer->stop();
    if (m_sink)
        m_sink->stop();
    m_io = nullptr;
    m_samples = {};
    {
        std::lock_guard lock(m_mutex);
        m_playing = false;
        if (!error.empty())
            m_error = std::move(error);
    }
    m_done.notify_all();
}

void SinkWorker::stopNow() {
    if (m_io || playing())
        finish({});
}

void SinkWorker::setVolume(double volume) {
    if (m_sink)
        m_sink->setVolume(volume);
}

void SinkWorker::shutdown() {
    stopNow();
    m_timer.reset();
    m_sink.reset();
}

bool SinkWorker::playing() const {
    std::lock_guard lock(m_mutex);
    return m_playing;
}

void SinkWorker::waitUntilDone() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return !m_playing; });
}

std::string SinkWorker::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void SinkWorker::setError(std::string text) {
    std::lock_guard lock(m_mutex);
    m_error = std::move(text);
}

} // namespace tarvex
