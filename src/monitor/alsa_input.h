#pragma once
// The receiver's audio from an ALSA capture device ("alsa:NAME": default, plughw:1,0, ...),
// for stations without a sound server. A thread of its own reads 20 ms periods of 16-bit
// mono at 22050 Hz (ALSA's plug layer converts) and hands them to the Qt thread. Needs
// libasound; Qt for the hand-over.
#include "monitor/monitor_input.h"

#include <QStringList>

#include <atomic>
#include <string>
#include <thread>

namespace tarvex {

class AlsaInput : public MonitorInput {
    Q_OBJECT
public:
    explicit AlsaInput(QString device, QObject* parent = nullptr);
    ~AlsaInput() override;

    /// Opens the device on the calling thread (a refusal comes back at once) and reads
    /// from the worker thread.
    bool start() override;
    /// Stops the thread within one period and closes the device.
    void stop() override;
    QString description() const override { return QStringLiteral("alsa:") + m_device; }
    int latencyMs() const override { return m_latencyMs; }

    /// The capture devices ALSA names (arecord -L), "default" first, for the Setup dialog.
    static QStringList deviceNames();

private:
    void run(void* pcm, unsigned long periodFrames);

    QString m_device;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_latencyMs = 0;
};

} // namespace tarvex
