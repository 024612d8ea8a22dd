#pragma once
// Runs the station's alarm command when the off-air alarm is raised or cleared: through
// /bin/sh as the operator wrote it, with the details only in its environment (page text
// never becomes part of a command line), without waiting for it, and killed if it runs
// longer than a minute. Qt (QProcess).
#include "monitor/offair_events.h"

#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

namespace tarvex {

class AlarmCommand : public QObject {
    Q_OBJECT
public:
    static constexpr int TimeoutMs = 60000;
    static constexpr std::size_t MaxRunning = 4;

    explicit AlarmCommand(QObject* parent = nullptr);
    ~AlarmCommand() override;

    void setCommand(const QString& command) { m_command = command; }
    QString command() const { return m_command; }

    /// Starts the command for the event; nothing happens without a command. Refused (a
    /// report) when MaxRunning earlier runs have not ended yet.
    void run(const AlarmEvent& event);

signals:
    /// How a run ended when it did not end well (failed to start, exit code, killed).
    void problem(const QString& text);
    void finished(int exitCode);

private:
    void reap();

    QString m_command;
    std::vector<std::unique_ptr<QProcess>> m_running;
};

} // namespace tarvex
