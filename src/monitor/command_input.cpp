#include "monitor/command_input.h"

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace tarvex {

CommandInput::CommandInput(QString command, QObject* parent)
    : MonitorInput(parent), m_command(std::move(command)) {
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &CommandInput::readSamples);
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray text = m_process.readAllStandardError().trimmed();
        if (!text.isEmpty())
            m_lastStderr = QString::fromLocal8Bit(text.mid(text.lastIndexOf('\n') + 1).left(300));
    });
    connect(&m_process, &QProcess::finished, this, &CommandInput::finished);
#ifdef Q_OS_UNIX
    // Its own process group: stop() signals the shell and everything it started.
    m_process.setChildProcessModifier([] { ::setsid(); });
#endif
}

CommandInput::~CommandInput() {
    stop();
}

bool CommandInput::start() {
    m_stopping = false;
    m_odd.clear();
    m_lastStderr.clear();
    m_process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), m_command});
    if (!m_process.waitForStarted(5000)) {
        m_lastError = QStringLiteral("cannot start the input command: ") + m_process.errorString();
        return false;
    }
    m_process.closeWriteChannel();
    return true;
}

qint64 CommandInput::pid() const {
    return m_process.state() == QProcess::NotRunning ? 0 : m_process.processId();
}

void CommandInput::signalGroup(int signal) {
#ifdef Q_OS_UNIX
    const auto id = static_cast<pid_t>(m_process.processId());
    if (id > 0)
        ::kill(-id, signal);
#else
    Q_UNUSED(signal);
    m_process.kill();
#endif
}

void CommandInput::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    signalGroup(SIGTERM);
    if (!m_process.waitForFinished(1000)) {
        signalGroup(SIGKILL);
        m_process.waitForFinished(1000);
    }
}

void CommandInput::readSamples() {
    QByteArray data = m_odd + m_process.readAllStandardOutput();
    m_odd.clear();
    if (data.size() % 2 != 0) {
        m_odd = data.right(1);
        data.chop(1);
    }
    if (!data.isEmpty())
        emit samples(data);
}

void CommandInput::finished(int code, QProcess::ExitStatus status) {
    if (m_stopping)
        return;
    QString how = status == QProcess::CrashExit
                      ? QStringLiteral("the input command was killed")
                      : QStringLiteral("the input command exited with code %1").arg(code);
    if (!m_lastStderr.isEmpty())
        how += QStringLiteral(": ") + m_lastStderr;
    emit failed(how);
}

} // namespace tarvex
