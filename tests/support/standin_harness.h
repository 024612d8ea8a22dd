#pragma once
// Runs the stand-in DAPNET server for a test: writes its scenario, starts it on a free port,
// drives the Qt event loop until it has played every connection, and reads its report. Also
// a page sink that records what it accepted and can fail on purpose (called from the link's
// thread, read from the test's).
#include "network/page_sink.h"

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tarvex::test {

class StandInServer {
public:
    /// Starts the server with the scenario; false (with the reason in error()) on failure.
    bool start(const QJsonObject& scenario);
    quint16 port() const { return m_port; }
    /// Runs the event loop until the server has finished; false on timeout.
    bool waitFinished(int timeoutMs);
    /// The server's report (after waitFinished).
    QJsonObject report() const;
    const std::string& error() const { return m_error; }
    ~StandInServer();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    std::string m_error;
};

/// Runs the event loop until done() holds; false on timeout.
bool runUntil(const std::function<bool()>& done, int timeoutMs);

class RecordingSink : public PageSink {
public:
    std::optional<int64_t> accept(const QueuedPage& page, std::string* error) override;
    /// The next `times` pages with this text are refused.
    void failText(const std::string& text, int times);
    std::vector<QueuedPage> pages() const;
    int refusals() const;

private:
    mutable std::mutex m_mutex;
    std::vector<QueuedPage> m_pages;
    int m_refusals = 0;
    std::map<std::string, int> m_failures;
    int64_t m_nextId = 0;
};

} // namespace tarvex::test
