// The commands that go on the air: send and tune --send. They key the transmitter through
// the parallel-port layer and play through the chosen audio output, framed exactly as the
// desktop program frames a page.
#include "cli/commands.h"
#include "cli/page_options.h"
#include "cli/render.h"
#include "paging/event_wait.h"
#include "paging/release_on_signal.h"
#include "paging/transmission.h"
#include "signal/signal_gen.h"
#include "txcontrol/keying.h"
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

constexpr uint32_t SettleMs = 250;

/// Passes writes on to the real port (or to none) and remembers each with its outcome.
class ReportingPort : public PortWriter {
public:
    explicit ReportingPort(PortWriter* target) : m_target(target) {}
    bool writeByte(uint16_t port, uint8_t value) override {
        if (!m_target) {
            m_log.push_back({port, value, {true, 0, "no port (--port none)"}});
            return succeed();
        }
        const bool ok = m_target->writeByte(port, value);
        m_log.push_back({port, value, m_target->lastStatus()});
        return ok ? succeed() : fail(m_target->lastStatus().errorCode, m_target->lastStatus().text);
    }
    struct Entry {
        uint16_t port;
        uint8_t value;
        PortStatus status;
    };
    const std::vector<Entry>& log() const { return m_log; }

private:
    PortWriter* m_target;
    std::vector<Entry> m_log;
};

/// Everything an on-air command sets up: audio output, generator, port, keying and waits.
/// SIGTERM, SIGINT and SIGHUP end its waits: the sound stops, the transmission unwinds and
/// releases the transmitter, and the command ends with Interrupted.
struct Station {
#ifdef TARVEX_WITH_QT
    std::unique_ptr<QCoreApplication> app;
    QtEventPump qtPump;
    InterruptiblePump pump{&qtPump};
    std::unique_ptr<QSocketNotifier> signalWake; ///< wakes the Qt wait when a signal arrives
#else
    InterruptiblePump pump;
#endif
    SteadyTickClock clock;
    std::shared_ptr<AudioOutput> output;
    std::unique_ptr<TSignalGen> gen;
    std::unique_ptr<SystemPort> systemPort;
    std::unique_ptr<PortWriter> linePort;
    std::unique_ptr<RecordingFilePort> recordPort;
    PortWriter* target = nullptr; ///< where key bytes go; none for --port none
    std::unique_ptr<ReportingPort> port;
    KeyingSettings keying;
    std::unique_ptr<Keyer> keyer;
    std::unique_ptr<EventWait> wait;
    std::unique_ptr<Transmitter> transmitter;
    std::string portName;

    Station(const Arguments& args, int baud, bool inverted) {
        std::string signalError;
        if (!ReleaseSignals::install(&signalError))
            std::cerr << "tarvex-cli: " << signalError << "\n";
        const int level = args.intValue("--level", 100, 0, 100);
        keying.Pin = args.intValue("--pin", 0, 0, 7);
        keying.InvKey = args.has("--invkey");
        keying.KeyDelay = args.intValue("--key-delay", 200, 100, 900);
        if (keying.KeyDelay % 100 != 0)
            throw UsageError("--key-delay must be a multiple of 100 ms");
        chooseKeying(args);
        port = std::make_unique<ReportingPort>(target);

        const std::string audio = args.value("--audio").value_or("default");
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
        std::string error;
        std::unique_ptr<AudioOutput> made = makeAudioOutput(audio, &error);
        if (!made)
            throw UsageError("--audio: " + error);
        output = std::move(made);
        gen = std::make_unique<TSignalGen>(output);
        gen->setBaud(static_cast<int16_t>(baud));
        gen->setInverted(inverted);
        gen->setLevel(level);
        pump.onInterrupt = [this](int) { gen->Stop(); };
        keyer = std::make_unique<Keyer>(*port, [this] { return keying; });
        wait = std::make_unique<EventWait>(clock, pump);
        transmitter = std::make_unique<Transmitter>(*keyer, *wait, *gen);
        keyer->UnkeyTransmitter();
    }

    /// The parallel port (--port) or another keying method (--ptt and its device options).
    void chooseKeying(const Arguments& args) {
        const std::string methodText = args.value("--ptt").value_or("parallel");
        const auto method = parsePttMethod(methodText);
        if (!method) {
            std::string names;
            for (PttMethod m : availablePttMethods())
                names += (names.empty() ? "" : ", ") + std::string(pttMethodName(m));
            throw UsageError("--ptt must be one of " + names + ", not '" + methodText + "'");
        }
        if (*method == PttMethod::ParallelPort) {
            for (const char* lineOption :
                 {"--ptt-device", "--cm108-pin", "--gpio-line", "--rig-model", "--rig-speed"})
                if (args.has(lineOption))
                    throw UsageError(std::string(lineOption) + " needs --ptt other than parallel");
            const std::string portText = args.value("--port").value_or("lpt1");
            if (portText == "none") {
                portName = "none";
                return;
            }
            if (portText.starts_with("record:")) {
                // Every key byte appended to a file (tests, stations without a port).
                const std::string file = portText.substr(7);
                if (file.empty())
                    throw UsageError("--port record: needs a file name");
                recordPort = std::make_unique<RecordingFilePort>(file);
                target = recordPort.get();
                portName = "record " + file;
                return;
            }
            if (portText != "lpt1" && portText != "lpt2")
                throw UsageError("--port must be lpt1, lpt2, none or record:FILE, not '" +
                                 portText + "'");
            keying.Port = portText == "lpt1" ? 0 : 1;
            systemPort = std::make_unique<SystemPort>();
            target = systemPort.get();
            portName =
                (keying.Port == 0 ? "LPT1 " : "LPT2 ") + hexAddress(lptDataAddress(keying.Port));
            return;
        }
        if (args.has("--port"))
            throw UsageError("--port is for --ptt parallel");
        PttSettings settings;
        settings.method = *method;
        settings.device = args.value("--ptt-device").value_or("");
        settings.cm108Pin = args.intValue("--cm108-pin", 3, 1, 8);
        settings.gpioLine = static_cast<unsigned>(args.intValue("--gpio-line", 0, 0, 65535));
        settings.rigModel = args.intValue("--rig-model", 1, 1, 999999);
        settings.rigSpeed = args.intValue("--rig-speed", 0, 0, 10000000);
        std::string error;
        linePort = makePttPortWriter(
            settings, [this] { return keying.InvKey; }, &error);
        if (!linePort)
            throw UsageError("--ptt " + methodText + ": " + error);
        target = linePort.get();
        portName = methodText + (settings.device.empty() ? "" : " on " + settings.device);
    }

    /// Prints the port writes and the audio outcome; returns the exit status.
    int report(std::ostream& out) const {
        out << "port: " << portName << "\n";
        for (const auto& w : port->log()) {
            const bool keyed = w.value == keyByte(keying.Pin, keying.InvKey, true);
            out << "  " << (keyed ? "key" : "release");
            if (systemPort)
                out << " (0x" << std::hex << int(w.value) << std::dec << " to "
                    << hexAddress(w.port) << ")";
            out << ": " << (w.status.success ? "ok" : "failed: " + w.status.text) << "\n";
        }
        out << "audio: " << output->name() << " at level " << gen->Level() << "\n";
        if (std::getenv("TARVEX_TIMING")) {
            // When Send started the sound, on the monotonic clock, for latency measurements.
            const auto sent =
                gen->releaseNotBefore() - std::chrono::milliseconds(gen->Duration() + 100);
            out << "timing: send_monotonic_ns="
                << std::chrono::duration_cast<std::chrono::nanoseconds>(sent.time_since_epoch())
                       .count()
                << "\n";
        }
        if (!gen->lastError().empty() || !output->lastError().empty()) {
            std::cerr << "tarvex-cli: the audio was not played: "
                      << (gen->lastError().empty() ? output->lastError() : gen->lastError())
                      << "\n";
            return 1;
        }
        return 0;
    }
};

} // namespace

int runSend(const Args& argv) {
    const Arguments args(argv,
                         joinSpecs({pageOptionSpecs(), rateOptionSpecs(), sendOptionSpecs()}));
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const PageParams page = readPage(args);
    Station station(args, page.baud, page.inverted);
    station.wait->DelayMs(SettleMs);
    encoder.BuildTransmission(page);
    encoder.CodewordBuffer[encoder.LastSlot + 1] = EndMarker;
    station.transmitter->transmit(encoder.CodewordBuffer.from(1));
    throwIfInterrupted();
    std::cout << "RIC " << page.ric << " function bits " << page.functionBits << ", "
              << (page.coding == Coding::Alphanumeric ? "alphanumeric" : "numeric") << ", "
              << page.baud << " bit/s " << (page.inverted ? "inverted" : "normal") << ": "
              << encoder.LastSlot << " codewords, Duration " << station.gen->Duration() << " ms\n";
    return station.report(std::cout);
}

int sendTuneUp(const Arguments& args, int seconds, int baud, bool inverted) {
    if (args.has("--output"))
        throw UsageError("tune --send plays on the air; use --audio wav:FILE to capture it");
    Station station(args, baud, inverted);
    SlotBuffer buffer;
    const int n = station.transmitter->TuneUp(buffer, seconds, baud);
    throwIfInterrupted();
    std::cout << "tune-up: " << n << " codewords at " << baud << " bit/s, Duration "
              << station.gen->Duration() << " ms\n";
    return station.report(std::cout);
}

} // namespace tarvex::cli
