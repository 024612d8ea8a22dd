// Test host of the off-air monitor: runs OffAirMonitor on a configured input and takes the
// station's side from a line protocol on standard input, printing every event on standard
// output, one line each, for the end-to-end script.
//
//   offair_host --input INPUT [--margin MS] [--alarm-count N] [--alarm-command CMD]
//               [--receiver-inverts] [--rates 512,1200,2400] [--station-inverted]
//
// Input lines:
//   expect ID KEYUP_MS BAUD N|I (RIC FUNC A|N HEX)...   a transmission and its pages (HEX "-":
//   empty) release ID MS            station POLARITY(N|I)      status      pids      quit
// Output lines: ready, verdict ..., elsewhere ..., alarm raised|cleared ..., alarm-command EXIT,
//   problem TEXT, decode TEXT, status TEXT (one per line, then "status end"), pids P...
#include "monitor/offair_monitor.h"
#include "signal/audio_process_exit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace tarvex;

namespace {

void say(const std::string& line) {
    std::cout << line << std::endl; // flushed: the script reads as we go
}

std::string fromHex(const std::string& hex) {
    std::string out;
    if (hex == "-")
        return out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

class Host {
public:
    Host(OffAirMonitor& monitor, DecoderConfig station)
        : m_monitor(monitor), m_station(std::move(station)) {}

    void command(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        if (verb == "expect") {
            TransmissionRecord r;
            std::string pol;
            in >> r.id >> r.keyUpMs >> r.baud >> pol;
            r.inverted = pol == "I";
            PageRecord p;
            std::string coding, hex;
            while (in >> p.ric >> p.functionBits >> coding >> hex) {
                p.coding = coding == "N" ? Coding::Numeric : Coding::Alphanumeric;
                p.bytes = fromHex(hex);
                r.pages.push_back(p);
            }
            QString why;
            if (!m_monitor.expect(r, &why))
                say("refused " + why.toStdString());
        } else if (verb == "release") {
            uint64_t id = 0;
            int64_t ms = 0;
            in >> id >> ms;
            m_monitor.released(id, ms);
        } else if (verb == "station") {
            std::string pol;
            in >> pol;
            m_station.stationInverted = pol == "I";
            m_monitor.setStation(m_station);
            say("station " + pol);
        } else if (verb == "status") {
            for (const auto& l : statusLines(m_monitor.status(), monotonicMs()))
                say("status " + l);
            say("status end");
        } else if (verb == "pids") {
            std::string pids = "pids";
            for (const auto pid : m_monitor.decoderPids())
                pids += " " + std::to_string(pid);
            say(pids);
        } else if (verb == "quit") {
            m_monitor.stop();
            QCoreApplication::quit();
        }
    }

private:
    OffAirMonitor& m_monitor;
    DecoderConfig m_station;
};

void connectEvents(OffAirMonitor& monitor) {
    QObject::connect(&monitor, &OffAirMonitor::pageDecided, [](const PageVerdict& v) {
        say("verdict " + std::to_string(v.transmissionId) + " " + std::to_string(v.pageIndex) +
            " " + (v.verdict == Verdict::Confirmed ? "confirmed" : "not-heard") +
            " since_release=" + std::to_string(v.sinceReleaseMs) +
            " decided=" + std::to_string(v.decidedMs) + " | " + verdictLine(v) +
            " | log:" + pageLogMarker(v.verdict));
    });
    QObject::connect(&monitor, &OffAirMonitor::heardElsewhere, [](const HeardElsewhere& h) {
        say("elsewhere ric=" + std::to_string(h.ric) + " func=" + std::to_string(h.functionBits) +
            " baud=" + std::to_string(h.baud) + " | " + elsewhereLine(h));
    });
    QObject::connect(&monitor, &OffAirMonitor::alarmChanged, [](const AlarmEvent& a) {
        say(std::string("alarm ") + (a.raised ? "raised" : "cleared") + " | " + alarmLine(a));
    });
    QObject::connect(&monitor, &OffAirMonitor::alarmCommandFinished,
                     [](int code) { say("alarm-command " + std::to_string(code)); });
    QObject::connect(&monitor, &OffAirMonitor::problem,
                     [](const QString& text) { say("problem " + text.toStdString()); });
    QObject::connect(&monitor, &OffAirMonitor::decoded,
                     [](const Decode& d) { say("decode " + describeDecode(d)); });
}

} // namespace

int runHost(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"input", "monitor input", "INPUT"},
                       {"margin", "margin in ms", "MS", "1500"},
                       {"alarm-count", "pages in a row", "N", "3"},
                       {"alarm-command", "alarm command", "CMD"},
                       {"receiver-inverts", "receiver inverts"},
                       {"rates", "station rates", "LIST", "512,1200,2400"},
                       {"station-inverted", "station polarity inverted"}});
    parser.process(app);

    MonitorSettings settings;
    settings.enabled = true;
    settings.input = parser.value("input").toStdString();
    settings.marginMs = parser.value("margin").toInt();
    settings.alarmCount = parser.value("alarm-count").toInt();
    settings.alarmCommand = parser.value("alarm-command").toStdString();
    settings.receiverInverts = parser.isSet("receiver-inverts");
    DecoderConfig station;
    station.rates.clear();
    for (const auto& r : parser.value("rates").split(','))
        station.rates.push_back(r.toInt());
    station.stationInverted = parser.isSet("station-inverted");

    OffAirMonitor monitor;
    connectEvents(monitor);
    monitor.configure(settings, station);
    if (!monitor.start()) {
        say("problem " + monitor.status().problem);
        return 1;
    }
    Host host(monitor, station);
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) { // the script went away: stop like quit
            notifier.setEnabled(false);
            host.command("quit");
            return;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            host.command(line);
        }
    });
    say("ready");
    return QCoreApplication::exec();
}

int main(int argc, char** argv) {
    tarvex::exitWithoutAudioTeardown(runHost(argc, argv));
}
