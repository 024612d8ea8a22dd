#include "monitor/alarm_command.h"

#include "monitor/offair_report.h"

#include <QDateTime>
#include <QProcessEnvironment>
#include <QTimer>

namespace tarvex {

AlarmCommand::AlarmCommand(QObject* parent) : QObject(parent) {}

AlarmCommand::~AlarmCommand() {
    for (auto& p : m_running) {
        p->disconnect(this);
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(1000);
        }
    }
}

void AlarmCommand::run(const AlarmEvent& event) {
    if (m_command.trimmed().isEmpty())
        return;
    reap();
    if (m_running.size() >= MaxRunning) {
        emit problem(QStringLiteral("alarm command not run: %1 earlier runs have not ended")
                         .arg(m_running.size()));
        return;
    }
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : alarmEnvironment(event))
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    env.insert(QStringLiteral("TARVEX_ALARM_TIME"),
               QDateTime::currentDateTime().toString(Qt::ISODate));
    process->setProcessEnvironment(env);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QProcess* p = process.get();
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit problem(QStringLiteral("alarm command failed to start: ") + p->errorString());
    });
    connect(p, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit)
            emit problem(QStringLiteral("alarm command was killed"));
        else if (code != 0)
            emit problem(QStringLiteral("alarm command exited with code %1").arg(code));
        emit finished(code);
        QTimer::singleShot(0, this, &AlarmCommand::reap);
    });
    QTimer::singleShot(TimeoutMs, p, [p] {
        if (p->state() != QProcess::NotRunning)
            p->kill();
    });
    p->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), m_command});
    m_running.push_back(std::move(process));
}

void AlarmCommand::reap() {
    std::erase_if(m_running, [](const std::unique_ptr<QProcess>& p) {
        return p->state() == QProcess::NotRunning;
    });
}

} // namespace tarvex
