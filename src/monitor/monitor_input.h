#pragma once
// Where the receiver's audio comes from: a shell command whose standard output is raw signed
// 16-bit mono samples at 22050 Hz (parec, rtl_fm | sox, ...), a Qt Multimedia input device
// chosen by its name, or an ALSA capture device. Each delivers the decoder's format; each
// reports when it stops delivering. Qt.
#include "monitor/monitor_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace tarvex {

class MonitorInput : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Starts delivering; false, with the reason in lastError(), when it cannot.
    virtual bool start() = 0;
    /// Stops and releases everything it started (processes, devices, threads).
    virtual void stop() = 0;
    /// "command:parec ...", "qt:Monitor of Null Output", "alsa:plughw:1,0".
    virtual QString description() const = 0;
    /// The audio's delay through this input as far as it is known (device buffers), in ms.
    virtual int latencyMs() const { return 0; }
    QString lastError() const { return m_lastError; }

signals:
    /// Signed 16-bit little-endian mono samples at 22050 Hz, whole samples only.
    void samples(const QByteArray& samples);
    /// The input stopped delivering on its own (command ended, device lost).
    void failed(const QString& reason);

protected:
    QString m_lastError;
};

/// The input a setting names; for ALSA when the build has no ALSA, an input whose start()
/// fails with the reason.
std::unique_ptr<MonitorInput> makeMonitorInput(const MonitorInputChoice& input);

} // namespace tarvex
