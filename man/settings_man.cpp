// Writes, from the settings table, the manual page of the settings file (the page's fixed text
// read from the template given, then one entry per row) and the service's settings file as the
// package installs it (every value tarvexd reads, commented out, with its range and default).
// Both list exactly the values the programs read. Fails when a row has no description here.
//
//   settings_man TEMPLATE > tarvex.ini.5.scd
//   settings_man --ini > tarvex.ini
#include "station/settings_table.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

const std::map<std::string_view, std::string_view> About = {
    {"Left", "Window position, left edge."},
    {"Top", "Window position, top edge."},
    {"Vol1", "Output level at 512 bit/s, in percent."},
    {"Vol2", "Output level at 1200 bit/s, in percent."},
    {"Vol3", "Output level at 2400 bit/s, in percent."},
    {"Sync", "Sync codeword of every batch."},
    {"Idle", "Idle codeword that fills a batch."},
    {"TuneTime", "Length of the tune-up signal, in seconds."},
    {"BitLen512", "Bit length at 512 bit/s, in loop counts (kept for the window)."},
    {"BitLen1200", "Bit length at 1200 bit/s, in loop counts (kept for the window)."},
    {"BitLen2400", "Bit length at 2400 bit/s, in loop counts (kept for the window)."},
    {"DataFolder", "Folder of the page log (empty: the station folder)."},
    {"LogPages", "Write the page log \"Tarvex-LOG.txt\"."},
    {"AutoSend", "Poll the auto-send file."},
    {"CheckRate", "Seconds between polls of the auto-send file."},
    {"AutoFile", "Name of the auto-send file in the station folder."},
    {"LockFile", "Name of the lock file other programs take while writing it."},
    {"AutoDelay", "Seconds between two auto-send entries."},
    {"Frequency", "Minutes between station idents (0: no ident)."},
    {"StationID", "Callsign sent in Morse as the station ident."},
    {"MorseDev", "Level of the Morse ident, in percent."},
    {"Port", "Parallel port: its index in the list of ports (-1: none chosen)."},
    {"Pin", "Parallel-port data pin that keys the transmitter (-1: none)."},
    {"Delay", "Milliseconds between keying the transmitter and the start of the sound."},
    {"InvKey", "Keyed is a low pin (inverted keying)."},
    {"Keying", "Key the transmitter at all (0: sound only, for VOX)."},
    {"Baud1", "Bit rate button 512 bit/s selected at start."},
    {"Baud2", "Bit rate button 1200 bit/s selected at start."},
    {"Baud3", "Bit rate button 2400 bit/s selected at start."},
    {"Func1", "Function bits 0 selected at start."},
    {"Func2", "Function bits 1 selected at start."},
    {"Func3", "Function bits 2 selected at start."},
    {"Func4", "Function bits 3 selected at start."},
    {"A-N1", "Alphanumeric coding selected at start."},
    {"A-N2", "Numeric coding selected at start."},
    {"NI1", "Normal polarity selected at start."},
    {"NI2", "Inverted polarity selected at start."},
    {"LastRIC", "The RIC last sent from the window."},
    {"AudioBackend", "Sound output: qt (Qt Multimedia) or alsa."},
    {"AudioDevice", "Sound device by name (empty: the default output)."},
    {"AudioFallbackDefault", "Use the default output when the named device is absent."},
    {"PttMethod", "How the transmitter is keyed."},
    {"PttDevice", "The keying device: serial port, hidraw device, GPIO chip or rig port."},
    {"PttCm108Pin", "CM108 GPIO pin that keys the transmitter."},
    {"PttGpioLine", "GPIO line that keys the transmitter."},
    {"PttRigModel", "hamlib rig model number."},
    {"PttRigSpeed", "Serial speed of the rig's port."},
    {"TxWatchdog", "Longest key-up in seconds; the transmitter is released after it (0: no "
                   "limit)."},
    {"SnppEnabled", "Run the SNPP server."},
    {"SnppListen", "Addresses the SNPP server listens on, comma-separated."},
    {"SnppPort", "Port of the SNPP server."},
    {"WctpEnabled", "Run the WCTP server."},
    {"WctpListen", "Addresses the WCTP server listens on, comma-separated."},
    {"WctpPort", "Port of the WCTP server."},
    {"NetRequireLogin", "Require a login on loopback too."},
    {"NetMaxLineLength", "Longest SNPP line, in bytes."},
    {"NetMaxMessageLength", "Longest message from the network, in bytes."},
    {"NetMaxRecipients", "Recipients per message."},
    {"NetMaxConnections", "Connections at once per server."},
    {"NetIdleSeconds", "Seconds an SNPP connection may stay silent."},
    {"NetPagesPerMinute", "Pages per minute per checked login, else per address."},
    {"NetLoginFailuresPerMinute", "Failed logins per minute per address."},
    {"WctpMaxBodyBytes", "Largest WCTP request body, in bytes."},
    {"WctpRequestSeconds", "Seconds a WCTP request may take to arrive."},
    {"StatusPagesEnabled", "Serve GET /metrics (Prometheus) and /health on the WCTP port, with or "
                           "without WCTP (when not set: on when WCTP is)."},
    {"QueueMaxAgeMinutes", "Pages older than this leave the page queue unsent (0: kept)."},
    {"DapnetEnabled", "Join the DAPNET network as a transmitter."},
    {"DapnetHost", "DAPNET server host."},
    {"DapnetPort", "DAPNET server port."},
    {"DapnetCallsign", "The transmitter's DAPNET callsign."},
    {"DapnetKeyFile", "File holding the DAPNET key (open to its owner only)."},
    {"StatusMaxWaitSeconds", "A page waiting longer makes tarvex-cli status warn."},
    {"MonitorEnabled", "Run the off-air monitor."},
    {"MonitorInput", "The receiver's audio: an ALSA device or command:CMD."},
    {"MonitorInverts", "The receiver inverts the signal."},
    {"MonitorMarginMs", "Milliseconds the decoder may take after a page ends."},
    {"MonitorAlarmCount", "Pages in a row not heard before the alarm."},
    {"MonitorAlarmCommand", "Command run when the alarm is raised."},
};

std::string readers(unsigned bits) {
    using namespace tarvex;
    if ((bits & ReadByWindow) && (bits & ReadByService))
        return "tarvex, tarvexd";
    return (bits & ReadByWindow) ? "tarvex" : "tarvexd";
}

const std::string_view* description(const tarvex::SettingRow& entry) {
    const auto about = About.find(entry.name);
    if (about == About.end()) {
        std::cerr << "settings_man: no description for " << entry.name << "\n";
        return nullptr;
    }
    return &about->second;
}

/// Words wrapped to lines of at most 96 characters, each starting with "; ".
std::string commentLines(const std::string& text) {
    std::string out;
    std::string line = ";";
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (line.size() + 1 + word.size() > 96) {
            out += line + "\n";
            line = ";";
        }
        line += " " + word;
    }
    return out + line + "\n";
}

constexpr const char* IniHeader =
    "; The settings of the Tarvex station service, tarvexd (see tarvex.ini(5)).\n"
    ";\n"
    "; Every value tarvexd reads is listed below, commented out, with its range and default\n"
    "; (AudioBackend is set to alsa: the service plays through ALSA); remove the ';' in front\n"
    "; of a value to set it. \"tarvexd --check\" says what it makes of\n"
    "; this file, \"systemctl reload tarvexd\" reads it again (the log names the changes that\n"
    "; need a restart). Flags take 1/0, true/false, yes/no or on/off. Options for tarvexd's\n"
    "; command line (such as --dapnet) go in /etc/default/tarvexd.\n"
    "\n"
    "[Tarvex]\n";

/// Values the installed service sets where its default would not serve a station with no
/// desktop session: the sound goes through ALSA (the sound servers, when there are any, are
/// reached through its "pulse" or "pipewire" device).
const std::map<std::string_view, std::string_view> ServiceValues = {
    {"AudioBackend", "alsa"},
};

/// The service's settings file: the rows tarvexd reads, each commented out at its default
/// (or set, for the values above).
int writeIni() {
    std::ostringstream file;
    file << IniHeader;
    for (const tarvex::SettingRow& entry : tarvex::settingsTable()) {
        if (!(entry.readers & tarvex::ReadByService))
            continue;
        const std::string_view* about = description(entry);
        if (about == nullptr)
            return 1;
        const std::string fallback = entry.fallback.empty() ? "empty" : std::string(entry.fallback);
        file << "\n"
             << commentLines(std::string(*about) + " Values: " + tarvex::settingRangeText(entry) +
                             "; default " + fallback + ".")
             << ";" << entry.name << "=" << entry.fallback << "\n";
        if (const auto set = ServiceValues.find(entry.name); set != ServiceValues.end())
            file << entry.name << "=" << set->second << "\n";
    }
    std::cout << file.str();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--ini")
        return writeIni();
    if (argc != 2) {
        std::cerr << "usage: settings_man TEMPLATE | --ini\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "settings_man: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream page;
    page << in.rdbuf() << "\n# SETTINGS\n\n";
    for (const tarvex::SettingRow& entry : tarvex::settingsTable()) {
        const std::string_view* about = description(entry);
        if (about == nullptr)
            return 1;
        const std::string fallback = entry.fallback.empty() ? "empty" : std::string(entry.fallback);
        page << "*" << entry.name << "*\n\t" << *about
             << " Values: " << tarvex::settingRangeText(entry) << "; default " << fallback
             << ". Read by " << readers(entry.readers) << ".\n\n";
    }
    page << "# SEE ALSO\n\n*tarvex*(1), *tarvex-cli*(1), *tarvexd*(8)\n";
    std::cout << page.str();
    return 0;
}
