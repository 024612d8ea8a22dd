#pragma once
// The receiver's audio from a shell command's standard output (raw signed 16-bit mono,
// 22050 Hz). The command runs in a session of its own so that stopping it ends the whole
// pipeline it may start, not only the shell. Qt (QProcess).
#include "monitor/monitor_input.h"

#include <QProcess>

namespace tarvex {

class CommandInput : public MonitorInput {
    Q_OBJECT
public:
    explicit CommandInput(QString command, QObject* parent = nullptr);
    ~CommandInput() override;

    bool start() override;
    void stop() override;
    QString description() const override { return QStringLiteral("command:") + m_command; }
    qint64 pid() const;

private:
    void readSamples();
    void finished(int code, QProcess::ExitStatus status);
    void signalGroup(int signal);

    QString m_command;
    QProcess m_process;
    QByteArray m_odd; ///< half a sample held for the next read
    QString m_lastStderr;
    bool m_stopping = false;
};

} // namespace tarvex
