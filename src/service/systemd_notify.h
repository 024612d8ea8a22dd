#pragma once
// tarvexd's side of systemd's service protocol (Type=notify): READY=1 once the station is up,
// STATUS= with a one-line summary, WATCHDOG=1 from the event loop at half the unit's
// WatchdogSec= (a loop that stops turning gets the service restarted), RELOADING=1 and
// STOPPING=1 around a reload and the end. Without NOTIFY_SOCKET every call does nothing.
#include <QObject>
#include <QTimer>

#include <string>

namespace tarvex {

class SystemdNotifier : public QObject {
    Q_OBJECT
public:
    explicit SystemdNotifier(QObject* parent = nullptr);

    /// The station is up: READY=1 with its summary, and the watchdog starts when asked for.
    void ready(const std::string& summary);
    /// The summary systemctl status shows; sent only when it changed.
    void status(const std::string& summary);
    void reloading();
    void stopping();

private:
    void send(const std::string& state);

    QTimer m_watchdog;
    std::string m_status;
    bool m_ready = false;
};

} // namespace tarvex
