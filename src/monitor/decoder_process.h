#pragma once
// One multimon-ng process of the monitor: started with its command line, fed the receiver's
// audio on standard input, its output read line by line into decodes, stopped by closing its
// input (then terminate, then kill). A backlog the process does not take is dropped, not
// buffered without end. Qt (QProcess).
#include "monitor/decoder_command.h"
#include "monitor/multimon_line.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

namespace tarvex {

class DecoderProcess : public QObject {
    Q_OBJECT
public:
    /// Audio held for a process that does not read, at most (about 3 s at 22050 Hz).
    static constexpr qint64 MaxBacklogBytes = 3 * 2 * 22050;

    explicit DecoderProcess(DecoderCommand command, QObject* parent = nullptr);
    ~DecoderProcess() override;

    /// Starts the process; false, with the reason in lastError(), when it cannot run.
    bool start();
    /// Closes its input and waits up to waitMs for it to end before terminating it.
    void stop(int waitMs = 1000);
    void feed(const QByteArray& samples);

    bool running() const;
    qint64 pid() const;
    const DecoderCommand& command() const { return m_command; }
    QString lastError() const { return m_lastError; }

signals:
    void decoded(const tarvex::Decode& decode);
    /// The process ended without stop() being called: how, and its last words on stderr.
    void exited(const QString& reason);

private:
    void readOutput();
    void readErrors();
    void finished(int code, QProcess::ExitStatus status);
    void failedToStart(QProcess::ProcessError error);

    DecoderCommand m_command;
    QProcess m_process;
    QByteArray m_line;
    bool m_skipLine = false; ///< the line under way is too long; drop it to its end
    QString m_lastStderr;
    QString m_lastError;
    bool m_stopping = false;
};

} // namespace tarvex
