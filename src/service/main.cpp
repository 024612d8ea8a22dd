// tarvexd: the Tarvex station as a service, with no display.
#include "encoder/conversions.h"
#include "service/service_check.h"
#include "service/service_log.h"
#include "service/station_service.h"
#include "signal/audio_process_exit.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef TARVEX_PROJECT_VERSION
#define TARVEX_PROJECT_VERSION "0.0"
#endif

namespace {

constexpr const char* Help =
    "tarvexd: the Tarvex paging station as a service, with no display.\n"
    "\n"
    "Usage: tarvexd [--help | --version | --check] [--config FILE] [--snpp-port P]\n"
    "               [--snpp-listen ADDRESS[,ADDRESS]] [--wctp-port P]\n"
    "               [--wctp-listen ADDRESS[,ADDRESS]]\n"
    "               [--dapnet HOST:PORT --callsign CALL --auth-key-file FILE]\n"
    "               [--monitor-command \"CMD\"]\n"
    "\n"
    "It runs the station with the settings of FILE (section [Tarvex], tarvex.ini(5); the\n"
    "installed service reads /etc/tarvex/tarvex.ini), else exactly as the desktop program\n"
    "has it set up: the same settings store (~/.config/dovrik-apps/Tarvex.ini,\n"
    "$XDG_CONFIG_HOME if set) and station folder (the program's folder when writable and not\n"
    "a system folder, else ~/.local/share/dovrik-apps/Tarvex; TARVEX_FOLDER names it\n"
    "outright; the installed service's is /var/lib/tarvex). It polls the auto-send file,\n"
    "sends the station ident,\n"
    "keys and plays as the desktop program does, and writes one line per event to standard\n"
    "error (with journald's priority prefixes when that is the journal). SIGTERM and SIGINT\n"
    "stop the sound, release the transmitter and hand auto-send entries not yet sent back to\n"
    "their file; SIGHUP reads the settings again (once the transmitter is free) and says\n"
    "which changes need a restart. Under systemd (Type=notify) it reports ready, its status\n"
    "and the watchdog. Exit status 3: another program holds the station.\n"
    "\n"
    "Network inputs (settings SnppEnabled, WctpEnabled, ... in the same store; on by\n"
    "default here): an SNPP server (RFC 1861) on port 444 and a WCTP server (POST /wctp) on\n"
    "port 8444, on loopback (127.0.0.1 and ::1) unless told otherwise; beyond loopback a\n"
    "login is required (tarvex-cli snpp-user add NAME). Pages go to the pagers of the\n"
    "directory (tarvex-cli pager add) through a durable queue (PageQueue.db) that loses no\n"
    "accepted page. --dapnet joins the DAPNET network as a transmitter (the key is read from\n"
    "FILE, never from the command line; the station then keys only inside its time slots).\n"
    "\n"
    "--monitor-command runs CMD, whose standard output is the receiver's audio (raw signed\n"
    "16-bit little-endian mono at 22050 Hz, e.g. rtl_fm ... ), and confirms each page it\n"
    "sends from what that receiver heard (page log lines end \" - confirmed\" or\n"
    "\" - not heard\"; an alarm after MonitorAlarmCount pages in a row not heard).\n"
    "\n"
    "--check reads the settings, the pager directory, the logins and the DAPNET key file,\n"
    "opens the audio output and the keying line without keying (a line a running station\n"
    "holds is left alone), prints one line per problem and exits 0 when the station would\n"
    "start healthy, 1 otherwise. At start the service logs the same settings problems, one\n"
    "line each with what is used instead; a keying method or audio backend it does not know,\n"
    "or a settings file it cannot read or without its section [Tarvex], keys nothing.\n"
    "Flags take 1/0, true/false, yes/no or on/off.\n"
    "\n"
    "tarvex-cli status | stop | resume | queue PAGE reach it through its control socket\n"
    "($TARVEX_CONTROL, else $RUNTIME_DIRECTORY or $XDG_RUNTIME_DIR/tarvexd.sock).\n"
    "\n"
    "Environment for tests and headless set-ups: TARVEX_AUDIO (default, qt:NAME, alsa:NAME,\n"
    "wav:FILE, null) and TARVEX_PORT=record:FILE.\n";

/// tarvexd --check: the problems on standard output; 0 when there are none.
int check(const tarvex::ServiceOptions& options) {
    const std::vector<std::string> problems = tarvex::checkService(options);
    for (const std::string& line : problems)
        std::printf("%s\n", tarvex::escapeControls(line).c_str());
    if (problems.empty())
        std::printf("tarvexd: the station would start healthy\n");
    else
        std::printf("tarvexd: %zu problem%s\n", problems.size(), problems.size() == 1 ? "" : "s");
    return problems.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    bool checkOnly = false;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Help, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarvexd %s\n", TARVEX_PROJECT_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--check") == 0)
            checkOnly = true;
        else
            rest.push_back(argv[i]);
    }
    tarvex::ServiceOptions options;
    std::string error;
    if (!tarvex::parseServiceOptions(static_cast<int>(rest.size()), rest.data(), &options,
                                     &error)) {
        std::fprintf(stderr, "tarvexd: %s\n", error.c_str());
        return 2;
    }
    tarvex::routeLibraryMessages();
    int status = 1;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));
        QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
        if (checkOnly)
            tarvex::exitWithoutAudioTeardown(check(options));
        tarvex::StationService service(std::move(options));
        if (service.start()) {
            status = app.exec();
            tarvex::StationService::log("ended");
        } else {
            status = service.exitStatus();
        }
    }
    tarvex::exitWithoutAudioTeardown(status);
}
