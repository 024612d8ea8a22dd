#pragma once
// The receiver's audio from a Qt Multimedia input device chosen by its name (its
// description or its id; empty for the system's default input). Asks for 22050 Hz 16-bit
// mono; takes the device's own format and converts when it offers only that. Qt Multimedia.
#include "monitor/monitor_input.h"
#include "monitor/sample_convert.h"

#include <QAudioDevice>
#include <QAudioSource>

#include <memory>
#include <optional>
#include <vector>

namespace tarvex {

class QtAudioInput : public MonitorInput {
    Q_OBJECT
public:
    explicit QtAudioInput(QString deviceName, QObject* parent = nullptr);
    ~QtAudioInput() override;

    bool start() override;
    void stop() override;
    QString description() const override { return QStringLiteral("qt:") + m_name; }
    int latencyMs() const override;

    /// The descriptions of the input devices, for the Setup dialog.
    static QStringList deviceNames();
    /// The device with this description or id; the default input for an empty name.
    static std::optional<QAudioDevice> findDevice(const QString& name);

private:
    void readSamples();
    void stateChanged(QAudio::State state);

    QString m_name;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
    std::optional<SampleConverter> m_converter;
    std::vector<int16_t> m_converted;
};

} // namespace tarvex
