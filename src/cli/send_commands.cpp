// The commands that go on the air: send and tune --send. They run the station engine with
// the keying line and audio output the options choose, so a page is framed exactly as the
// desktop program and the service frame it, and report each keying write with its outcome.
#include "cli/commands.h"
#include "cli/page_options.h"
#include "cli/render.h"
#include "encoder/errors.h"
#include "paging/release_on_signal.h"
#include "station/basic_scheduler.h"
#include "station/station.h"
#include "station/station_wait.h"
#include "txcontrol/ptt/ptt_factory.h"
#include "txcontrol/recording_file_port.h"
#include "txcontrol/system_port.h"

#ifdef TARVEX_WITH_QT
#include "paging/qt/qt_event_pump.h"
#include <QCoreApplication>
#include <QSocketNotifier>
#endif

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace tarvex::cli {

namespace {

/// Passes each key and release on to the line in force and remembers it with its outcome.
class ReportingLine : public KeyingLine {
public:
    ReportingLine(std::unique_ptr<KeyingLine> inner, std::function<KeyingSettings()> keying,
                  bool showBytes)
        : m_inner(std::move(inner)), m_keying(std::move(keying)), m_showBytes(showBytes) {}

    bool setKeyed(bool keyed) override {
        const bool ok = m_inner->setKeyed(keyed);
        m_log.push_back({keyed, m_inner->lastStatus()});
        return ok ? succeed() : fail(lastInner().errorCode, lastInner().text);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    std::string name() const override { return m_inner->name(); }

    void print(std::ostream& out) const {
        const KeyingSettings s = m_keying();
        for (const auto& [keyed, status] : m_log) {
            out << "  " << (keyed ? "key" : "release");
            if (m_showBytes)
                out << " (0x" << std::hex << int(keyByte(s.Pin, s.InvKey, keyed)) << std::dec
                    << " to " << hexAddress(lptDataAddress(s.Port)) << ")";
            out << ": " << (status.success ? "ok" : "failed: " + status.text) << "\n";
        }
    }

private:
    const PortStatus& lastInner() const { return m_inner->lastStatus(); }

    std::unique_ptr<KeyingLine> m_inner;
    std::function<KeyingSettings()> m_keying;
    bool m_showBytes;
    std::vector<std::pair<bool, PortStatus>> m_log;
};

/// The keying line the options choose: the parallel port (--port), a file that records the
/// port bytes, none, or another method (--ptt and its device options).
struct KeyingChoice {
    std::unique_ptr<KeyingLine> line;
    std::string portName;
    bool systemPort = false;
};

void rejectLineOptionsForParallel(const Arguments& args) {
    for (const char* lineOption :
         {"--ptt-device", "--cm108-pin", "--gpio-line", "--rig-model", "--rig-speed"})
        if (args.has(lineOption))
            throw UsageError(std::string(lineOption) + " needs --ptt other than parallel");
}

KeyingChoice chooseParallelPort(const Arguments& args, KeyingSettings& keying,
                                std::function<KeyingSettings()> provider) {
    rejectLineOptionsForParallel(args);
    const std::string portText = args.value("--port").value_or("lpt1");
    if (portText == "none")
        return {std::make_unique<NoPttLine>(), "none"};
    if (portText.starts_with("record:")) {
        // Every key byte appended to a file (tests, stations without a port).
        const std::string file = portText.substr(7);
        if (file.empty())
            throw UsageError("--port record: needs a file name");
        return {std::make_unique<ParallelPortLine>(std::make_shared<RecordingFilePort>(file),
                                                   std::move(provider), "record " + file),
                "record " + file};
    }
    if (portText != "lpt1" && portText != "lpt2")
        throw UsageError("--port must be lpt1, lpt2, none or record:FILE, not '" + portText + "'");
    keying.Port = portText == "lpt1" ? 0 : 1;
    std::string name =
        (keying.Port == 0 ? "LPT1 " : "LPT2 ") + hexAddress(lptDataAddress(keying.Port));
    return {std::make_unique<ParallelPortLine>(std::make_shared<SystemPort>(), std::move(provider)),
            std::move(name), true};
}

KeyingChoice chooseKeying(const Arguments& args, KeyingSettings& keying) {
    std::function<KeyingSettings()> provider = [&keying] { return keying; };
    const std::string methodText = args.value("--ptt").value_or("parallel");
    const PttMethodInfo* method = findPttMethod(methodText);
    if (!method) {
        std::string names;
        for (const PttMethodInfo& m : pttMethods())
            if (m.available)
                names += (names.empty() ? "" : ", ") + std::string(m.name);
        throw UsageError("--ptt must be one of " + names + ", not '" + methodText + "'");
    }
    if (method->uses(PttPortField))
        return chooseParallelPort(args, keying, std::move(provider));
    if (args.has("--port"))
        throw UsageError("--port is for --ptt parallel");
    PttSettings settings;
    settings.method = method->name;
    settings.device = args.value("--ptt-device").value_or("");
    settings.cm108Pin = args.intValue("--cm108-pin", 3, 1, 8);
    settings.gpioLine = static_cast<unsigned>(args.intValue("--gpio-line", 0, 0, 65535));
    settings.rigModel = args.intValue("--rig-model", 1, 1, 999999);
    settings.rigSpeed = args.intValue("--rig-speed", 0, 0, 10000000);
    std::string error;
    std::unique_ptr<PttLine> line = makePttLine(settings, &error);
    if (!line)
        throw UsageError("--ptt " + methodText + ": " + error);
    line->setInverted([&keying] { return keying.InvKey; });
    return {std::move(line),
            methodText + (settings.device.empty() ? "" : " on " + settings.device)};
}

/// The station engine as an on-air command sets it up. SIGTERM, SIGINT and SIGHUP end the
/// command's wait: the station closes (the sound stops and the transmitter is released at
/// once), and the command ends with Interrupted.
struct OnAirCommand {
#ifdef TARVEX_WITH_QT
    std::unique_ptr<QCoreApplication> app;
    QtEventPump qtPump;
    InterruptiblePump interruptible{&qtPump};
    std::unique_ptr<QSocketNotifier> signalWake; ///< wakes the Qt wait when a signal arrives
#else
    InterruptiblePump interruptible;
#endif
    SteadyTickClock clock;
    BasicScheduler scheduler{clock};
    SchedulingPump pump{scheduler, interruptible};
    EventWait wait{clock, pump};
    KeyingSettings keying;
    ReportingLine* reporting = nullptr;
    std::string portName;
    std::unique_ptr<Station> station;

    OnAirCommand(const Arguments& args, int baud, bool inverted) {
        std::string signalError;
        if (!ReleaseSignals::install(&signalError))
            std::cerr << "tarvex-cli: " << signalError << "\n";
        const int level = args.intValue("--level", 100, 0, 100);
        keying.Pin = args.intValue("--pin", 0, 0, 7);
        keying.InvKey = args.has("--invkey");
        keying.KeyDelay = args.intValue("--key-delay", 200, 100, 900);
        if (keying.KeyDelay % 100 != 0)
            throw UsageError("--key-delay must be a multiple of 100 ms");
        KeyingChoice choice = chooseKeying(args, keying);
        portName = choice.portName;
        auto line = std::make_unique<ReportingLine>(
            std::move(choice.line), [this] { return keying; }, choice.systemPort);
        reporting = line.get();

        const std::string audio = args.value("--audio").value_or("default");
        startEventLoop();
        std::string error;
        std::unique_ptr<AudioOutput> output = makeAudioOutput(audio, &error);
        if (!output)
            throw UsageError("--audio: " + error);

        StationSetup setup;
        setup.audio = std::move(output);
        setup.line = std::move(line);
        setup.clock = &clock;
        setup.scheduler = &scheduler;
        station = std::make_unique<Station>(std::move(setup));
        Station::Options options;
        options.keyDelayMs = keying.KeyDelay;
        station->setOptions(options);
        station->setSignal({baud, inverted, level});
        interruptible.onInterrupt = [this](int) { station->close(); };
        station->releaseNow();
    }

    void startEventLoop() {
#ifdef TARVEX_WITH_QT
        static int argc = 1;
        static char name[] = "tarvex-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        if (ReleaseSignals::wakeFd() >= 0) {
            signalWake =
                std::make_unique<QSocketNotifier>(ReleaseSignals::wakeFd(), QSocketNotifier::Read);
            QObject::connect(signalWake.get(), &QSocketNotifier::activated,
                             [] { ReleaseSignals::drain(); });
        }
#endif
    }

    /// Prints the keying writes and the audio outcome; returns the exit status.
    int report(std::ostream& out) const {
        const SignalState signal = station->signal();
        out << "port: " << portName << "\n";
        reporting->print(out);
        out << "audio: " << station->status().audio << " at level " << signal.level << "\n";
        if (std::getenv("TARVEX_TIMING")) {
            // When the sound started, on the monotonic clock, for latency measurements.
            out << "timing: send_monotonic_ns="
                << std::chrono::duration_cast<std::chrono::nanoseconds>(
                       signal.startedAt.time_since_epoch())
                       .count()
                << "\n";
        }
        const auto last = station->status().last;
        if (last && last->built && !last->played && !last->error.empty()) {
            std::cerr << "tarvex-cli: the audio was not played: " << last->error << "\n";
            return 1;
        }
        return 0;
    }
};

} // namespace

int runSend(const Args& argv) {
    const Arguments args(
        argv, joinOptionRules({pageOptionRules(), rateOptionRules(), sendOptionRules()}));
    const PageParams page = readPage(args);
    OnAirCommand command(args, page.baud, page.inverted);
    const EncodingState encoding = command.station->encoding();
    const auto [sync, idle] = syncIdleTexts(args, encoding.syncText, encoding.idleText);
    command.station->setSyncIdle(sync, idle);
    PageJob job;
    job.page = page;
    job.level = command.station->signal().level;
    sendAndWait(*command.station, command.wait, job);
    throwIfInterrupted();
    const auto out = command.station->status().last;
    if (out && !out->built)
        throw Error(out->error);
    std::cout << "RIC " << page.ric << " function bits " << page.functionBits << ", "
              << (page.coding == Coding::Alphanumeric ? "alphanumeric" : "numeric") << ", "
              << page.baud << " bit/s " << (page.inverted ? "inverted" : "normal") << ": "
              << command.station->encoding().lastSlot << " codewords, Duration "
              << command.station->signal().durationMs << " ms\n";
    return command.report(std::cout);
}

int sendTuneUp(const Arguments& args, int seconds, int baud, bool inverted) {
    if (args.has("--output"))
        throw UsageError("tune --send plays on the air; use --audio wav:FILE to capture it");
    OnAirCommand command(args, baud, inverted);
    TuneJob job;
    job.seconds = seconds;
    job.baud = baud;
    job.inverted = inverted;
    job.level = command.station->signal().level;
    tuneUpAndWait(*command.station, command.wait, job);
    throwIfInterrupted();
    const auto out = command.station->status().last;
    if (out && !out->built)
        throw Error(out->error);
    std::cout << "tune-up: " << (out ? out->codewords : 0) << " codewords at " << baud
              << " bit/s, Duration " << command.station->signal().durationMs << " ms\n";
    return command.report(std::cout);
}

} // namespace tarvex::cli
