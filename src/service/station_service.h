#pragma once
// tarvexd's station: the engine run with no display from the same settings store and
// station folder the desktop program uses, with its keying line, audio output, auto-send
// poll and ident as stored, a line per event on standard error for journald, the control
// socket, systemd's notifications, a reload of the settings on SIGHUP, and an orderly end on
// SIGTERM or SIGINT (sound stopped, transmitter released, auto-send entries not yet sent
// returned).
#include "network/inputs/network_settings.h"
#include "network/service_logger.h"
#include "network/wctp/wctp_http.h"
#include "network/web/web_history.h"
#include "paging/event_wait.h"
#include "station/health.h"
#include "station/station.h"
#include "station/station_hold.h"
#include "station/station_settings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace tarvex {

class ControlServer;
class WebApi;
class WebBoard;
class NetworkInputs;
class StationHost;
class SystemdNotifier;

/// What the command line overrides; empty fields leave the stored settings alone.
struct ServiceOptions {
    /// --config FILE (the installed service: /etc/tarvex/tarvex.ini); empty: the per-user
    /// store, as the desktop program reads it
    QString settingsFile;
    std::optional<uint16_t> snppPort;
    std::optional<std::string> snppListen; ///< addresses, comma-separated
    std::optional<uint16_t> wctpPort;
    std::optional<std::string> wctpListen;
    DapnetOverrides dapnet;
    std::optional<std::string> monitorCommand; ///< the receiver's audio from this command
};

/// Reads tarvexd's options; false with *error for an unknown or malformed one.
bool parseServiceOptions(int argc, char** argv, ServiceOptions* options, std::string* error);

class StationService : public QObject {
    Q_OBJECT
public:
    explicit StationService(ServiceOptions options, QObject* parent = nullptr);
    ~StationService() override;

    /// tarvexd's exit status when another program holds the station: systemd is told not to
    /// restart it (RestartPreventExitStatus=), as a restart could only be refused again.
    static constexpr int HeldExitStatus = 3;

    /// Takes the station hold, builds the station, opens the control socket and starts the
    /// poll and ident. False (after a log line saying why) when the service cannot run;
    /// exitStatus() then says how the program should end.
    bool start();
    int exitStatus() const { return m_exitStatus; }
    /// Reads the settings again and applies what can change while the service runs (once
    /// the transmitter is free); the log names each change applied and each that needs a
    /// restart. The queue, the network inputs and the DAPNET link stay as they are.
    void reload();

    Station& station() { return *m_station; }
    const StationSettings& settings() const { return m_settings; }
    const std::string& folder() const { return m_folder; }

    /// One line of the service log on standard error (see service_log.h).
    static void log(const std::string& text, LogLevel level = LogLevel::Info);
    /// The service log as the network inputs and the monitor take it.
    static ServiceLogger logger();

private:
    std::shared_ptr<AudioOutput> openAudio(bool fallbackToDefault);
    std::unique_ptr<KeyingLine> openKeying(std::vector<std::string>* holdPaths);
    void configure();
    void onEvent(const StationEvent& event);
    void watchSignals();
    void startNetwork(const StoredLookup& lookup);
    void startMonitor(const StoredLookup& lookup);
    /// The web interface on the status pages' server; STOP from a browser is posted here.
    void startWeb(const NetworkSettings& net);
    /// The web page follows each queued page by its number: the queue's and the monitor's word
    /// on it is kept in m_fates.
    void followPages();
    /// Hands the status to the web interface (engine thread).
    void publishWebStatus(const HealthFacts& facts, const std::vector<HealthFault>& faults);
    /// What the control socket's STATUS judges the station's health from.
    HealthFacts healthFacts();
    /// "keying ..., audio ...": the line and the output in force.
    void logBackends();
    /// One line saying how the station is, for systemd's status.
    std::string summary();
    /// Renews what GET /metrics, /health and systemd's status say, from the engine's thread.
    void refreshStatusPages();

    ServiceOptions m_options;
    StationSettings m_settings;
    std::string m_keyingFault;      ///< a settings fault: nothing is keyed, and why
    std::string m_audioFault;       ///< a settings fault: nothing is played, and why
    int64_t m_maxWaitSeconds = 600; ///< StatusMaxWaitSeconds
    std::string m_folder;
    std::unique_ptr<StationHost> m_host;
    Station* m_station = nullptr;
    StationHold m_hold;
    ControlServer* m_control = nullptr;
    NetworkInputs* m_network = nullptr; ///< set once the inputs start
    QSocketNotifier* m_signals = nullptr;
    SystemdNotifier* m_notify = nullptr;
    std::map<std::string, std::string> m_stored; ///< the store's values as last read
    QTimer* m_reloadWait = nullptr;              ///< a reload asked for while on air
    HealthCounters m_counters; ///< since the service started, for status and /metrics
    std::mutex m_pagesMutex;   ///< the status pages are read by the HTTP server's threads
    std::string m_metrics;
    StatusPage m_health{503, "text/plain; charset=utf-8", "UNKNOWN: starting\n"};
    std::unique_ptr<WebBoard> m_board; ///< read by the HTTP server's threads
    std::shared_ptr<WebApi> m_web;
    PageFates m_fates;    ///< the fate of the pages queued lately, for the web page
    HourlyTotals m_hours; ///< m_counters at each hour's start, for the web page's charts
    double m_elapsed = 0; ///< of the transmission on air, for the web page's progress
    double m_total = 0;
    int m_signal = 0;
    int m_exitStatus = 1;
};

} // namespace tarvex
