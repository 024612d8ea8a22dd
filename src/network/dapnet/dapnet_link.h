#pragma once
// The DAPNET transmitter link, on a thread of its own: connects to the server, logs in, runs
// the session, hands each page to the page intake (which commits it to the durable queue)
// before acknowledging it, and reconnects with a growing back-off after a dropped link, a
// refusal or a silent server. Its status is read from any thread; its status and its log
// lines never hold the auth key. POSIX sockets, no Qt.
#include "network/dapnet/clock_sync.h"
#include "network/dapnet/dapnet_session.h"
#include "network/dapnet/dapnet_status.h"
#include "network/service_logger.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tarvex {

class PageIntake;

class DapnetLink {
public:
    /// Pages go to `intake` (from the link's thread, as source "dapnet"); log lines to log
    /// (from either thread).
    DapnetLink(PageIntake& intake, ServiceLogger log);
    ~DapnetLink();
    DapnetLink(const DapnetLink&) = delete;
    DapnetLink& operator=(const DapnetLink&) = delete;

    /// Timeouts and back-off; set while the link is off.
    void setTiming(const DapnetLinkTiming& timing) { m_timing = timing; }
    /// How the clock is checked at each attempt and login (systemClockSync unless replaced);
    /// set while the link is off. Runs on the link's thread.
    void setClockCheck(std::function<ClockSyncState()> check) { m_clockCheck = std::move(check); }
    /// Called, on whichever thread changed it, each time the status changed; set while the
    /// link is off.
    void setOnChange(std::function<void()> changed) { m_changed = std::move(changed); }
    /// Takes on new settings: connects (again) when enabled and usable, goes off when not.
    /// Returns why the settings cannot be used (empty when they can).
    std::string apply(const DapnetSettings& settings);
    /// Closes the link, joins its thread and stays off.
    void stop();

    /// The status now (any thread).
    DapnetLinkStatus status() const;
    /// The slots the station may key in: the last ones the server assigned (all before any);
    /// any thread.
    TimeSlots allowedSlots() const;

private:
    // All but status() and allowedSlots() below run on the link's thread.
    void run();
    void connectOnce();
    void converse();
    void onConnected();
    void handleLine(const LineSplitter::Line& line);
    void carryOut(const DapnetOutput& out);
    void commitPage(const DapnetPage& page);
    void noteEvent(const DapnetEvent& event);
    void send(const std::string& line);
    bool flush();
    void linkLost(const std::string& reason);
    void log(const std::string& line, LogLevel level = LogLevel::Info);
    /// The text with the key hidden and control characters escaped, as logs and status show it.
    std::string shown(std::string text) const;
    /// Changes the status under the lock, then tells the listener (unless `tell` is false).
    template <typename F> void update(F change, bool tell = true);
    void setState(DapnetLinkState state);
    void checkClock();
    bool stopping() const { return m_stop.load(); }
    int64_t nowMs() const;

    PageIntake& m_intake;
    ServiceLogger m_log;
    std::function<ClockSyncState()> m_clockCheck = systemClockSync;
    std::function<void()> m_changed;
    DapnetLinkTiming m_timing;
    DapnetSettings m_settings;
    mutable std::mutex m_statusMutex;
    DapnetLinkStatus m_status; ///< under m_statusMutex
    DapnetSession m_session;
    LineSplitter m_splitter;
    DapnetBackoff m_backoff;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_stopFd = -1; ///< an eventfd: readable once stop() has been asked for
    int m_fd = -1;     ///< the connection to the server
    std::string m_out; ///< answers the server has not taken yet
    bool m_connected = false;
    int64_t m_retryMs = 0; ///< the wait before the next attempt
    int m_garbageLogged = 0;
};

/// "3.0.0": the version the login line gives.
std::string tarvexVersion();

} // namespace tarvex
