#include "signal/qt_audio_output.h"

#include "signal/qt_sink_worker.h"
#include "signal/wav_image.h"

#include <QCoreApplication>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>

#if defined(__unix__)
#include <pthread.h>
#include <sched.h>
#endif

namespace tarvex {
namespace {

// Runs fn in the playing thread and waits for it.
template <typename Fn> void inWorker(SinkWorker& worker, Fn fn) {
    QMetaObject::invokeMethod(worker.context(), fn, Qt::BlockingQueuedConnection);
}

QAudioDevice findDevice(const std::string& hint) {
    if (hint.empty())
        return QMediaDevices::defaultAudioOutput();
    const QString wanted = QString::fromStdString(hint);
    for (const QAudioDevice& device : QMediaDevices::audioOutputs()) {
        if (device.description().contains(wanted) ||
            QString::fromUtf8(device.id()).contains(wanted))
            return device;
    }
    return {};
}

// A late sample is a corrupted page on the air, so the feeding thread asks for real-time
// scheduling below the sound server's own. Refused without the privilege: it then runs at
// Qt's highest ordinary priority.
void raiseFeederPriority() {
#if defined(__unix__)
    sched_param param{};
    param.sched_priority = std::max(sched_get_priority_min(SCHED_FIFO), 4);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
#endif
}

} // namespace

QtAudioOutput::QtAudioOutput(std::string deviceHint, int bufferMs, int aheadMs)
    : m_hint(std::move(deviceHint)), m_thread(std::make_unique<QThread>()),
      m_worker(std::make_unique<SinkWorker>(bufferMs, aheadMs)) {
    m_thread->setObjectName("tarvex-audio");
    m_worker->context()->moveToThread(m_thread.get());
    m_thread->start(QThread::TimeCriticalPriority);
    inWorker(*m_worker, [] { raiseFeederPriority(); });
}

QtAudioOutput::~QtAudioOutput() {
    inWorker(*m_worker, [this] { m_worker->shutdown(); });
    m_thread->quit();
    m_thread->wait();
}

bool QtAudioOutput::play(std::span<const uint8_t> image, PlayMode mode) {
    stop();
    std::string why;
    const auto samples = wavImageSamples(image, &why);
    if (!samples) {
        m_worker->setError(why);
        return false;
    }
    if (!QCoreApplication::instance()) {
        m_worker->setError("the Qt audio output needs a QCoreApplication");
        return false;
    }
    const QAudioDevice device = findDevice(m_hint);
    if (device.isNull()) {
        m_worker->setError(m_hint.empty() ? "no audio output device"
                                          : "no audio output device matches \"" + m_hint + "\"");
        return false;
    }
    const double volume = leftChannel(m_level) / 65535.0;
    bool started = false;
    inWorker(*m_worker, [&] { started = m_worker->start(device, *samples, mode, volume); });
    if (!started)
        return false;
    if (mode == PlayMode::Blocking) {
        m_worker->waitUntilDone();
        return m_worker->error().empty();
    }
    return true;
}

bool QtAudioOutput::ready(std::string* why) {
    std::string reason;
    if (!QCoreApplication::instance())
        reason = "the Qt audio output needs a QCoreApplication";
    else if (findDevice(m_hint).isNull())
        reason = m_hint.empty() ? "no audio output device"
                                : "no audio output device matches \"" + m_hint + "\"";
    if (reason.empty())
        return true;
    m_worker->setError(reason);
    if (why != nullptr)
        *why = reason;
    return false;
}

void QtAudioOutput::stop() {
    if (m_worker->playing())
        inWorker(*m_worker, [this] { m_worker->stopNow(); });
}

bool QtAudioOutput::playing() const {
    return m_worker->playing();
}

void QtAudioOutput::setDeviceLevel(DeviceLevel level) {
    m_level = level;
    const double volume = leftChannel(level) / 65535.0;
    inWorker(*m_worker, [this, volume] { m_worker->setVolume(volume); });
}

std::string QtAudioOutput::lastError() const {
    return m_worker->error();
}

std::string QtAudioOutput::name() const {
    return m_hint.empty() ? "qt:default" : "qt:" + m_hint;
}

long QtAudioOutput::sinkBufferBytes() const {
    return m_worker->bufferBytes();
}

std::vector<std::string> QtAudioOutput::deviceDescriptions() {
    std::vector<std::string> names;
    for (const QAudioDevice& device : QMediaDevices::audioOutputs())
        names.push_back(device.description().toStdString());
    return names;
}

} // namespace tarvex
