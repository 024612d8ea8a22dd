#pragma once
// The DAPNET transmitter link on the Qt event loop: connects to the server, logs in, runs the
// session, commits each page to the page sink before acknowledging it, and reconnects with a
// growing back-off after a dropped link, a refusal or a silent server. Its status and its log
// lines never hold the auth key.
#include "network/dapnet/clock_sync.h"
#include "network/dapnet/dapnet_session.h"
#include "network/dapnet/dapnet_status.h"
#include "network/page_sink.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <string>

namespace tarvex {

class DapnetLink : public QObject {
    Q_OBJECT
public:
    /// Pages go to sink (called on this object's thread); log lines to log.
    DapnetLink(PageSink& sink, ServiceLogger log, QObject* parent = nullptr);
    ~DapnetLink() override;

    /// Timeouts and back-off; takes effect from the next connection.
    void setTiming(const DapnetLinkTiming& timing) { m_timing = timing; }
    /// How the clock is checked at each attempt and login (systemClockSync unless replaced).
    void setClockCheck(std::function<ClockSyncState()> check) { m_clockCheck = std::move(check); }
    /// Takes on new settings: connects (again) when enabled and usable, goes off when not.
    /// Returns why the settings cannot be used (empty when they can).
    std::string apply(const DapnetSettings& settings);
    /// Closes the link and stays off.
    void stop();

    const DapnetLinkStatus& status() const { return m_status; }
    /// The slots the station may key in: the last ones the server assigned (all before any).
    TimeSlots allowedSlots() const { return m_status.allowedSlots; }

signals:
    void statusChanged();
    void slotsChanged(quint16 mask);

private:
    void connectNow();
    void onConnected();
    void onReadyRead();
    void handleLine(const LineSplitter::Line& line);
    void carryOut(const DapnetOutput& out);
    void commitPage(const DapnetPage& page);
    void noteEvent(const DapnetEvent& event);
    void send(const std::string& line);
    void linkLost(const std::string& reason);
    void log(const std::string& line, LogLevel level = LogLevel::Info);
    /// The text with the key hidden and control characters escaped, as logs and status show it.
    std::string shown(std::string text) const;
    void setState(DapnetLinkState state);
    void checkClock();
    int64_t nowMs() const;

    PageSink& m_sink;
    ServiceLogger m_log;
    std::function<ClockSyncState()> m_clockCheck = systemClockSync;
    DapnetLinkTiming m_timing;
    DapnetSettings m_settings;
    DapnetLinkStatus m_status;
    DapnetSession m_session;
    LineSplitter m_splitter;
    DapnetBackoff m_backoff;
    QTcpSocket m_socket;
    QTimer m_connectTimer;
    QTimer m_silenceTimer;
    QTimer m_retryTimer;
    bool m_connected = false;
    int m_garbageLogged = 0;
};

/// "3.0.0": the version the login line gives.
std::string tarvexVersion();

} // namespace tarvex
