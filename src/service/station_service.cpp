#include "service/station_service.h"

#include "encoder/conversions.h"
#include "host/station_host.h"
#include "monitor/offair_monitor.h"
#include "monitor/station_monitor.h"
#include "network/inputs/network_inputs.h"
#include "network/web/web_api.h"
#include "paging/release_on_signal.h"
#include "paging/station_folder.h"
#include "service/control_server.h"
#include "service/service_check.h"
#include "service/service_log.h"
#include "service/service_settings.h"
#include "service/systemd_notify.h"
#include "signal/audio_choice.h"
#include "signal/null_output.h"
#include "station/control_protocol.h"
#include "station/keying_method.h"
#include "station/qt/settings_file.h"
#include "txcontrol/recording_file_port.h"
#include "txcontrol/system_port.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace tarvex {

namespace {

/// Sent is news; stopped is the operator's doing; refused or failed needs someone's eye.
LogLevel outcomeLevel(const TxOutcome& out) {
    if (out.stopped)
        return LogLevel::Notice;
    if (!out.built)
        return LogLevel::Warning;
    return out.played && out.portError.empty() ? LogLevel::Info : LogLevel::Error;
}

/// Every value of the store, by name, to tell what a reload changed.
std::map<std::string, std::string> storedValues(const QSettings& store) {
    std::map<std::string, std::string> values;
    for (const QString& key : store.allKeys())
        values[key.toStdString()] = storedValue(store, key.toStdString()).value_or("");
    return values;
}

/// The settings that choose the keying line and the audio output: the service opens those
/// once, so a change to them needs a restart.
std::set<std::string> deviceSettingNames() {
    std::set<std::string> names{"Port", "Pin", "InvKey", "Keying", "AudioBackend", "AudioDevice"};
    readPttSettings([&names](std::string_view name) -> std::optional<std::string> {
        names.insert(std::string(name));
        return std::nullopt;
    });
    return names;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

StationService::StationService(ServiceOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_board(std::make_unique<WebBoard>()) {}

StationService::~StationService() {
    setServiceLogTap({}); // the board goes with this service
    m_board->close();     // event streams end at once
    // The inputs' HTTP threads read this service's status pages: they stop first.
    m_host.reset();
}

void StationService::log(const std::string& text, LogLevel level) {
    writeServiceLog(level, text);
}

ServiceLogger StationService::logger() {
    return [](LogLevel level, const std::string& text) { writeServiceLog(level, text); };
}

bool StationService::start() {
    m_folder = stationFolder();
    const ServiceSettings stored = readServiceSettings(m_options.settingsFile);
    log("station folder " + m_folder + ", settings " + stored.storeName);
    for (const std::string& line : stored.lines)
        log(line, LogLevel::Warning);
    const StoredLookup& lookup = stored.checked.lookup;
    m_keyingFault = stored.checked.keyingFault;
    m_audioFault = stored.checked.audioFault;
    m_settings = readStationSettings(lookup, m_folder);
    m_stored = storedValues(*stored.store);
    m_notify = new SystemdNotifier(this);

    std::vector<std::string> holdPaths;
    std::unique_ptr<KeyingLine> line = openKeying(&holdPaths);
    if (!line)
        return false;
    std::string holder;
    std::vector<std::string> notes;
    if (!m_hold.acquire(holdPaths, &holder, &notes)) {
        log("the station is held by " + holder + "; tarvexd does not key it and ends",
            LogLevel::Error);
        m_exitStatus = HeldExitStatus;
        return false;
    }
    for (const auto& note : notes)
        log(note);

    HostSetup setup;
    // Only when the settings allow it does an absent device give way to the default output.
    setup.audio = openAudio(lookup("AudioFallbackDefault").value_or("0") == "1");
    setup.line = std::move(line);
    setup.folder = m_folder;
    setup.log = logger();
    m_host = std::make_unique<StationHost>(std::move(setup));
    m_station = &m_host->station();
    m_station->subscribe([this](const StationEvent& e) { onEvent(e); });
    configure();

    startNetwork(lookup);
    startMonitor(lookup);
    followPages();
    m_control = new ControlServer(*m_station, logger(), this);
    m_maxWaitSeconds =
        parseDecimal(lookup("StatusMaxWaitSeconds").value_or("")).value_or(m_maxWaitSeconds);
    m_control->setHealth([this] { return healthFacts(); });
    m_control->setStatusExtra([this] {
        const StationMonitor* monitor = m_host->monitor();
        return m_network->statusText() + (monitor ? monitor->statusText() : std::string());
    });
    // A page handed over on the control socket goes through the intake to the page queue
    // like any page from outside, so a restart does not lose it.
    m_control->setQueueAction([this](const PageParams& page) -> std::string {
        Submission submission;
        submission.source = "control";
        submission.peer = "tarvex-cli";
        submission.ready = page;
        const IntakeResult result = m_network->submit(submission);
        if (result.status == IntakeStatus::Queued)
            return {};
        return m_network->feed() ? "the page queue did not take the page: " + result.detail
                                 : result.detail;
    });
    QString error;
    const QString socket = QString::fromStdString(controlSocketPath());
    if (!m_control->listen(socket, &error))
        log("control socket " + socket.toStdString() + " not open: " + error.toStdString() +
                " (tarvex-cli status cannot reach this service)",
            LogLevel::Error);
    else
        log("control socket " + socket.toStdString());
    watchSignals();
    logBackends();
    m_notify->ready(summary());
    // Ages and the link's state change without an event: monitoring sees them within a second.
    refreshStatusPages();
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, &StationService::refreshStatusPages);
    refresh->start(1000);
    return true;
}

void StationService::logBackends() {
    const StationStatus status = m_station->status();
    log("keying " + status.keying + ", audio " + status.audio);
}

std::string StationService::summary() {
    const HealthFacts facts = healthFacts();
    return healthSummary(facts, healthFaults(facts));
}

void StationService::refreshStatusPages() {
    if (m_network == nullptr)
        return;
    const HealthFacts facts = healthFacts();
    const std::vector<HealthFault> faults = healthFaults(facts);
    std::string metrics = healthMetrics(facts, faults);
    // WARNING still serves: only a station that cannot page answers 503.
    const bool critical = healthState(faults) == HealthState::Critical;
    const std::string summary = healthSummary(facts, faults);
    StatusPage health{critical ? 503 : 200, "text/plain; charset=utf-8", summary + "\n"};
    m_notify->status(summary); // sent only when it changed
    publishWebStatus(facts, faults);
    const std::lock_guard lock(m_pagesMutex);
    m_metrics = std::move(metrics);
    m_health = std::move(health);
}

void StationService::reload() {
    if (m_signal != 0)
        return;
    if (m_station->status().state != OnAirState::Idle) {
        // Never change the signal under a transmission: the reload waits for the release.
        if (m_reloadWait == nullptr) {
            m_reloadWait = new QTimer(this);
            connect(m_reloadWait, &QTimer::timeout, this, [this] {
                if (m_station->status().state == OnAirState::Idle) {
                    m_reloadWait->stop();
                    reload();
                }
            });
        }
        if (!m_reloadWait->isActive()) {
            log("reload: waits until the transmitter is free");
            m_reloadWait->start(200);
        }
        return;
    }
    m_notify->reloading();
    // Checked as at start: each problem is logged, and a bad value reads as its replacement.
    const ServiceSettings stored = readServiceSettings(m_options.settingsFile);
    for (const std::string& line : stored.lines)
        log(line, LogLevel::Warning);
    std::set<std::string> stationNames;
    StationSettings fresh = readStationSettings(
        [&](std::string_view name) {
            stationNames.insert(std::string(name));
            return stored.checked.lookup(name);
        },
        m_folder);
    const std::map<std::string, std::string> now = storedValues(*stored.store);
    const std::set<std::string> devices = deviceSettingNames();
    std::string applied;
    std::string restart;
    std::set<std::string> names;
    for (const auto& [name, value] : m_stored)
        names.insert(name);
    for (const auto& [name, value] : now)
        names.insert(name);
    for (const std::string& name : names) {
        const auto before = m_stored.find(name);
        const auto after = now.find(name);
        const bool same =
            before != m_stored.end() && after != now.end() && before->second == after->second;
        if (same)
            continue;
        std::string& list =
            stationNames.contains(name) && !devices.contains(name) ? applied : restart;
        list += (list.empty() ? "" : ", ") + name;
    }
    // The keying line and the audio output stay as opened; everything else takes effect.
    KeyingSettings keying = m_settings.keying;
    keying.KeyDelay = fresh.keying.KeyDelay;
    fresh.keying = keying;
    fresh.ptt = m_settings.ptt;
    fresh.audioBackend = m_settings.audioBackend;
    fresh.audioDevice = m_settings.audioDevice;
    m_settings = fresh;
    m_stored = now;
    configure();
    log("reload: " + (applied.empty() ? std::string("no change to apply") : "applied " + applied) +
        "; the pager directory and the logins are read again whenever they change");
    if (!restart.empty())
        log("reload: " + restart + " changed and take effect only after a restart of tarvexd",
            LogLevel::Warning);
    m_notify->ready(summary());
}

std::shared_ptr<AudioOutput> StationService::openAudio(bool fallbackToDefault) {
    // A station keying its radio while the sound goes nowhere, or to another card, sends dead
    // carriers: an output that cannot be had is a fault, and nothing is keyed until it is back.
    const auto unavailable = [](const std::string& choice, const std::string& why) {
        log("audio output " + choice + ": " + why +
                "; nothing is keyed and pages wait until it can be opened",
            LogLevel::Error);
        return std::make_shared<UnavailableOutput>(choice, why);
    };
    if (!m_audioFault.empty())
        return unavailable(audioChoiceText(m_settings.audioBackend, m_settings.audioDevice),
                           m_audioFault);
    std::string error;
    // Tests and headless set-ups may force the output, as for the desktop program.
    const std::string forced = environment("TARVEX_AUDIO");
    if (!forced.empty()) {
        if (auto output = makeAudioOutput(forced, &error))
            return output;
        return unavailable(forced, error);
    }
    const std::string choice = audioChoiceText(m_settings.audioBackend, m_settings.audioDevice);
    std::string note;
    auto output =
        openStoredAudioOutput(m_settings.audioBackend, m_settings.audioDevice, &note, &error);
    if (output && (note.empty() || fallbackToDefault)) {
        if (!note.empty())
            log(note, LogLevel::Warning);
        return output;
    }
    if (output) {
        // The device is absent now: it is opened by its name, so pages wait until it is back.
        log("audio output " + choice + ": " + note +
                " The service waits for it instead (AudioFallbackDefault=1 allows the default).",
            LogLevel::Warning);
        if (auto named = makeAudioOutput(choice, &error))
            return named;
    }
    return unavailable(choice, error);
}

std::unique_ptr<KeyingLine> StationService::openKeying(std::vector<std::string>* holdPaths) {
    const KeyingSettings keying = m_settings.keying;
    auto provider = [keying] { return keying; };
    PttSettings recorded;
    recorded.method = "none";
    if (!m_keyingFault.empty()) {
        // Not the parallel port nobody chose: no line at all, and the reason in the status.
        *holdPaths = stationHoldPaths(recorded, {});
        return std::make_unique<UnavailableLine>("none (settings fault)", m_keyingFault);
    }
    const std::string forced = environment("TARVEX_PORT");
    if (!forced.empty()) {
        if (!forced.starts_with("record:") || forced.size() == 7) {
            log("TARVEX_PORT must be record:FILE, not '" + forced + "'", LogLevel::Error);
            return nullptr;
        }
        *holdPaths = stationHoldPaths(recorded, {});
        auto port = std::make_shared<RecordingFilePort>(forced.substr(7));
        return std::make_unique<ParallelPortLine>(port, provider, "record " + forced.substr(7));
    }
    const std::string parport =
        parportDeviceForAddress(lptDataAddress(keying.Port)).value_or(std::string());
    *holdPaths = stationHoldPaths(m_settings.ptt, parport);
    return makeKeyingLine(m_settings.ptt, std::make_shared<SystemPort>(), {}, provider);
}

void StationService::configure() {
    Station& s = *m_station;
    const StationSettings& set = m_settings;
    s.setOptions({.keyDelayMs = set.keying.KeyDelay,
                  .txWatchdogSeconds = set.txWatchdog,
                  .rateLevels = {set.levels[0], set.levels[1], set.levels[2]},
                  .logPages = set.logPages,
                  .dataFolder = set.dataFolder});
    m_board->setLogPath(pageLogPath(set.dataFolder));
    std::string sync = set.syncText;
    std::string idle = set.idleText;
    if (!hexToCodeword(sync) || !hexToCodeword(idle)) {
        log("stored Sync/Idle is not hexadecimal; the stock values are used", LogLevel::Warning);
        sync = StockSyncText;
        idle = StockIdleText;
    }
    s.setSyncIdle(sync, idle);
    const int baud = set.selectedBaud();
    s.setSignal({baud, set.selectedInverted(), s.rateLevel(baud)});
    s.setIdent({set.stationId, set.identMinutes, set.morseDev, set.selectedInverted()});
    s.setIdentTimerEnabled(true);
    AutoSendSettings autoSend;
    autoSend.enabled = set.autoSend;
    autoSend.checkRateSeconds = set.checkRate;
    autoSend.autoDelaySeconds = set.autoDelay;
    autoSend.folder = m_folder;
    autoSend.fileName = set.autoFile;
    autoSend.lockName = set.lockFile;
    m_host->autoSend().setSettings(autoSend);
    s.releaseNow();
    log(std::string("auto send ") + (set.autoSend ? "on" : "off") + ", every " +
        std::to_string(set.checkRate) + " s, from " + m_folder + set.autoFile);
}

HealthFacts StationService::healthFacts() {
    HealthFacts facts;
    facts.station = m_station->status();
    facts.maxWaitSeconds = m_maxWaitSeconds;
    m_network->fillHealth(facts);
    const AutoSendInput::Status autoSend = m_host->autoSend().status();
    facts.autoSend = autoSend.enabled;
    facts.autoSendWaiting = autoSend.waiting;
    if (StationMonitor* monitor = m_host->monitor(); monitor != nullptr && monitor->running()) {
        facts.monitorRunning = true;
        facts.monitorAlarm = monitor->monitor().alarmRaised();
        facts.confirmed = monitor->monitor().counts().confirmed;
        facts.notHeard = monitor->monitor().counts().notHeard;
    }
    facts.version = TARVEX_PROJECT_VERSION;
    facts.counters = m_counters;
    return facts;
}

void StationService::onEvent(const StationEvent& e) {
    switch (e.kind) {
    case StationEvent::Kind::Progress:
        m_elapsed = e.elapsed;
        m_total = e.total;
        break;
    case StationEvent::Kind::Ended:
        m_elapsed = m_total = 0;
        countOutcome(m_counters, *e.outcome);
        for (const std::string& line : serviceLogLines(*e.outcome))
            log(line, outcomeLevel(*e.outcome));
        break;
    case StationEvent::Kind::Refused:
        log("refused: " + e.text, LogLevel::Warning);
        break;
    case StationEvent::Kind::Problem:
        if (!e.text.empty())
            log("problem: " + e.text, LogLevel::Error);
        break;
    case StationEvent::Kind::LogFailed:
        log("page log: " + e.text, LogLevel::Error);
        break;
    case StationEvent::Kind::Note:
        log(e.text);
        break;
    case StationEvent::Kind::Backend:
        logBackends();
        break;
    case StationEvent::Kind::SearchEnded: {
        const SearchState& s = *e.search;
        log(std::string(s.fast ? "fast search" : "search") + " ended (" +
                std::string(searchEndName(s.end)) + "): " + std::to_string(s.sent) +
                (s.fast ? " blocks" : " codes") + " sent, next " + s.nextText +
                (s.error.empty() ? std::string() : ", " + s.error),
            s.end == SearchEnd::Failed ? LogLevel::Warning : LogLevel::Info);
        break;
    }
    default:
        break;
    }
    if (m_notify != nullptr && m_network != nullptr) { // not while the station is being built
        refreshStatusPages();
    }
}

void StationService::startNetwork(const StoredLookup& lookup) {
    const NetworkSettings net = serviceNetworkSettings(lookup, m_options);
    m_network = &m_host->network();
    m_network->setStatusPages([this](std::string_view target) {
        const std::lock_guard lock(m_pagesMutex);
        if (target == "/health")
            return m_health;
        return StatusPage{200, "text/plain; version=0.0.4; charset=utf-8", m_metrics};
    });
    startWeb(net);
    std::string dapnetError;
    std::string error;
    const bool started = m_host->startNetwork(net, m_options.dapnet, &dapnetError, &error);
    if (!dapnetError.empty())
        log("DAPNET: " + dapnetError + "; the link stays off", LogLevel::Error);
    if (!started)
        log("network inputs not running: " + error, LogLevel::Error);
}

void StationService::startMonitor(const StoredLookup& lookup) {
    MonitorSettings settings = readMonitorSettings(lookup);
    if (m_options.monitorCommand)
        settings = withMonitorCommand(settings, *m_options.monitorCommand);
    m_host->startMonitor(settings, m_settings.selectedInverted());
}

void StationService::watchSignals() {
    std::string error;
    if (!ReleaseSignals::install(&error) || ReleaseSignals::wakeFd() < 0 ||
        !ReleaseSignals::reloadOnHangUp(&error)) {
        log("signals: " + error, LogLevel::Error);
        return;
    }
    m_signals = new QSocketNotifier(ReleaseSignals::wakeFd(), QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        ReleaseSignals::drain();
        if (ReleaseSignals::takeReload()) {
            log("signal 1: reloading");
            reload();
        }
        const int signal = ReleaseSignals::received();
        if (signal == 0 || m_signal != 0)
            return;
        m_signal = signal;
        m_board->close();
        // Possibly inside the waits of a page: the inputs stop, the monitor writes its
        // page-log lines, and the close stops the sound, releases and holds the transmitter,
        // and hands auto-send entries not yet sent back to their file.
        log("signal " + std::to_string(signal) + ": stopping");
        m_notify->stopping();
        m_host->shutDown();
        QCoreApplication::exit(0);
    });
}

} // namespace tarvex

namespace tarvex {

bool parseServiceOptions(int argc, char** argv, ServiceOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            *error = "unknown option '" + name + "' (see tarvexd --help)";
            if (name.starts_with("--snpp") || name.starts_with("--wctp") || name == "--dapnet" ||
                name == "--callsign" || name == "--auth-key-file" || name == "--monitor-command" ||
                name == "--config")
                *error = name + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        const auto port = [&](std::optional<uint16_t>& into) {
            const auto number = parseDecimal(value);
            if (!number || *number < 1 || *number > 65535) {
                *error = name + " must be a port number 1..65535, not '" + value + "'";
                return false;
            }
            into = static_cast<uint16_t>(*number);
            return true;
        };
        if (name == "--snpp-port") {
            if (!port(options->snppPort))
                return false;
        } else if (name == "--wctp-port") {
            if (!port(options->wctpPort))
                return false;
        } else if (name == "--snpp-listen") {
            options->snppListen = value;
        } else if (name == "--wctp-listen") {
            options->wctpListen = value;
        } else if (name == "--dapnet") {
            options->dapnet.server = value;
        } else if (name == "--callsign") {
            options->dapnet.callsign = value;
        } else if (name == "--auth-key-file") {
            options->dapnet.authKeyFile = value;
        } else if (name == "--monitor-command") {
            options->monitorCommand = value;
        } else if (name == "--config") {
            options->settingsFile = QString::fromStdString(value);
        } else {
            *error = "unknown option '" + name + "' (see tarvexd --help)";
            return false;
        }
    }
    return true;
}

} // namespace tarvex
