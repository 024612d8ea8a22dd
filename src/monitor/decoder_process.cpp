#include "monitor/decoder_process.h"

#include <QStringList>

namespace tarvex {

DecoderProcess::DecoderProcess(DecoderCommand command, QObject* parent)
    : QObject(parent), m_command(std::move(command)) {
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &DecoderProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &DecoderProcess::readErrors);
    connect(&m_process, &QProcess::finished, this, &DecoderProcess::finished);
    connect(&m_process, &QProcess::errorOccurred, this, &DecoderProcess::failedToStart);
}

DecoderProcess::~DecoderProcess() {
    stop(200);
}

bool DecoderProcess::start() {
    if (m_command.arguments.empty()) {
        m_lastError = QStringLiteral("no decoder command");
        return false;
    }
    QStringList args;
    for (std::size_t i = 1; i < m_command.arguments.size(); ++i)
        args << QString::fromStdString(m_command.arguments[i]);
    m_stopping = false;
    m_line.clear();
    m_skipLine = false;
    m_lastStderr.clear();
    m_process.start(QString::fromStdString(m_command.arguments[0]), args);
    if (!m_process.waitForStarted(5000)) {
        m_lastError =
            QStringLiteral("cannot start %1: %2")
                .arg(QString::fromStdString(m_command.arguments[0]), m_process.errorString());
        return false;
    }
    return true;
}

void DecoderProcess::stop(int waitMs) {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    m_process.closeWriteChannel(); // the decoder ends at the end of its input
    if (!m_process.waitForFinished(waitMs)) {
        m_process.terminate();
        if (!m_process.waitForFinished(1000)) {
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }
}

void DecoderProcess::feed(const QByteArray& samples) {
    if (m_process.state() != QProcess::Running)
        return;
    // A decoder that stopped reading loses what it is behind on, not the program's memory.
    if (m_process.bytesToWrite() + samples.size() > MaxBacklogBytes)
        return;
    m_process.write(samples);
}

bool DecoderProcess::running() const {
    return m_process.state() == QProcess::Running;
}

qint64 DecoderProcess::pid() const {
    return running() ? m_process.processId() : 0;
}

void DecoderProcess::readOutput() {
    const QByteArray chunk = m_process.readAllStandardOutput();
    for (const char c : chunk) {
        if (c != '\n') {
            if (m_skipLine)
                continue;
            if (static_cast<std::size_t>(m_line.size()) >= MaxMultimonLine) {
                m_skipLine = true;
                m_line.clear();
                continue;
            }
            m_line.append(c);
            continue;
        }
        if (!m_skipLine) {
            if (const auto decode = parseMultimonLine(
                    std::string_view(m_line.constData(), static_cast<std::size_t>(m_line.size()))))
                emit decoded(*decode);
        }
        m_line.clear();
        m_skipLine = false;
    }
}

void DecoderProcess::readErrors() {
    // Keep only the last line, bounded: it says why the decoder gave up.
    const QByteArray text = m_process.readAllStandardError().trimmed();
    if (text.isEmpty())
        return;
    const qsizetype nl = text.lastIndexOf('\n');
    m_lastStderr = QString::fromLocal8Bit(text.mid(nl + 1).left(300));
}

void DecoderProcess::finished(int code, QProcess::ExitStatus status) {
    if (m_stopping)
        return;
    QString how = status == QProcess::CrashExit ? QStringLiteral("was killed")
                                                : QStringLiteral("exited with code %1").arg(code);
    if (!m_lastStderr.isEmpty())
        how += QStringLiteral(": ") + m_lastStderr;
    emit exited(how);
}

void DecoderProcess::failedToStart(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
        m_lastError = m_process.errorString();
}

} // namespace tarvex
