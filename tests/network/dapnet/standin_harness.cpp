#include "standin_harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

namespace tarvex::test {

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the wait below now and then
    tick.start(10);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool StandInServer::start(const QJsonObject& scenario) {
    if (!m_dir.isValid()) {
        m_error = "no temporary folder";
        return false;
    }
    QFile file(m_dir.filePath("scenario.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) < 0) {
        m_error = "cannot write the scenario";
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(TARVEX_PYTHON3, {TARVEX_DAPNET_STANDIN, "--scenario", file.fileName(),
                                     "--report", m_dir.filePath("report.json")});
    // Bounds, not timings: a Python start-up on a loaded machine can take seconds.
    if (!m_process.waitForStarted(30000)) {
        m_error = "the stand-in server did not start";
        return false;
    }
    // Its first line names the port it listens on.
    while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
    }
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        m_error = "the stand-in server did not say its port";
        return false;
    }
    m_port = static_cast<quint16>(line.mid(5).toUInt());
    return m_port != 0;
}

bool StandInServer::waitFinished(int timeoutMs) {
    return runUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

QJsonObject StandInServer::report() const {
    QFile file(m_dir.filePath("report.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

StandInServer::~StandInServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

std::optional<int64_t> RecordingSink::accept(const QueuedPage& page, std::string* error) {
    const std::lock_guard lock(m_mutex);
    if (auto it = m_failures.find(page.page.message); it != m_failures.end() && it->second > 0) {
        --it->second;
        ++m_refusals;
        *error = "the queue is full (test)";
        return std::nullopt;
    }
    m_pages.push_back(page);
    return ++m_nextId;
}

void RecordingSink::failText(const std::string& text, int times) {
    const std::lock_guard lock(m_mutex);
    m_failures[text] = times;
}

std::vector<QueuedPage> RecordingSink::pages() const {
    const std::lock_guard lock(m_mutex);
    return m_pages;
}

int RecordingSink::refusals() const {
    const std::lock_guard lock(m_mutex);
    return m_refusals;
}

} // namespace tarvex::test
