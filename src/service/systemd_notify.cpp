#include "service/systemd_notify.h"

#include "encoder/conversions.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace tarvex {

SystemdNotifier::SystemdNotifier(QObject* parent) : QObject(parent) {
    connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

void SystemdNotifier::send(const std::string& state) {
    ::sd_notify(0, state.c_str());
}

void SystemdNotifier::ready(const std::string& summary) {
    m_ready = true;
    m_status = escapeControls(summary);
    send("READY=1\nSTATUS=" + m_status);
    uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Twice per period, as systemd advises; a loop stuck in one handler misses both.
        m_watchdog.start(static_cast<int>(std::max<uint64_t>(usec / 2000, 1)));
        send("WATCHDOG=1");
    }
}

void SystemdNotifier::status(const std::string& summary) {
    const std::string shown = escapeControls(summary);
    if (shown == m_status)
        return;
    m_status = shown;
    if (m_ready) // before READY=1 systemd shows "activating"; the summary comes with it
        send("STATUS=" + m_status);
}

void SystemdNotifier::reloading() {
    send("RELOADING=1");
}

void SystemdNotifier::stopping() {
    m_watchdog.stop();
    send("STOPPING=1");
}

} // namespace tarvex
