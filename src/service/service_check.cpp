#include "service/service_check.h"

#include "network/intake/user_store.h"
#include "network/pager_directory.h"
#include "paging/station_folder.h"
#include "service/service_settings.h"
#include "signal/audio_choice.h"
#include "station/station_hold.h"
#include "txcontrol/system_port.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace tarvex {

NetworkSettings serviceNetworkSettings(const StoredLookup& lookup, const ServiceOptions& options) {
    NetworkSettings net = readNetworkSettings(lookup, true);
    if (options.snppPort)
        net.snpp.port = *options.snppPort;
    if (options.wctpPort)
        net.wctp.port = *options.wctpPort;
    const auto addresses = [](const std::string& text) {
        return readNetworkSettings(
                   [&text](std::string_view name) -> std::optional<std::string> {
                       if (name == "SnppListen")
                           return text;
                       return std::nullopt;
                   },
                   true)
            .snpp.listen;
    };
    if (options.snppListen)
        net.snpp.listen = addresses(*options.snppListen);
    if (options.wctpListen)
        net.wctp.listen = addresses(*options.wctpListen);
    return net;
}

namespace {

bool beyondLoopback(const ServerSettings& server) {
    if (!server.enabled)
        return false;
    for (const std::string& address : server.listen)
        if (std::find(LoopbackAddresses.begin(), LoopbackAddresses.end(), address) ==
            LoopbackAddresses.end())
            return true;
    return false;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

/// The output as the service opens it (TARVEX_AUDIO, else the stored backend and device).
void checkAudio(const StationSettings& settings, bool fallbackToDefault,
                std::vector<std::string>* problems) {
    std::string choice = environment("TARVEX_AUDIO");
    std::string note;
    std::string error;
    std::unique_ptr<AudioOutput> output;
    if (!choice.empty()) {
        output = makeAudioOutput(choice, &error);
    } else {
        choice = audioChoiceText(settings.audioBackend, settings.audioDevice);
        output = openStoredAudioOutput(settings.audioBackend, settings.audioDevice, &note, &error);
        if (output && !note.empty() && !fallbackToDefault)
            problems->push_back("audio output " + choice + ": " + note +
                                " The service waits for it (AudioFallbackDefault=1 allows the "
                                "default).");
    }
    std::string why;
    if (!output)
        problems->push_back("audio output " + choice + ": " + error);
    else if (!output->ready(&why))
        problems->push_back("audio output " + choice + ": " + why);
}

/// The stored keying line, opened and released, never keyed; left alone while a station holds
/// it (a running one may be on the air). TARVEX_PORT's recording stands in for no line.
void checkKeying(const StationSettings& settings, std::vector<std::string>* problems) {
    const std::string forced = environment("TARVEX_PORT");
    if (!forced.empty()) {
        if (!forced.starts_with("record:") || forced.size() == 7)
            problems->push_back("TARVEX_PORT must be record:FILE, not '" + forced + "'");
        return;
    }
    const KeyingSettings keying = settings.keying;
    const std::string parport =
        parportDeviceForAddress(lptDataAddress(keying.Port)).value_or(std::string());
    StationHold hold;
    std::string holder;
    std::vector<std::string> notes;
    if (!hold.acquire(stationHoldPaths(settings.ptt, parport), &holder, &notes))
        return;
    auto line = makeKeyingLine(settings.ptt, std::make_shared<SystemPort>(), {},
                               [keying] { return keying; });
    if (!line->setKeyed(false))
        problems->push_back("keying " + line->name() + ": " + line->lastStatus().text);
    line->close();
}

} // namespace

std::vector<std::string> checkService(const ServiceOptions& options) {
    const std::string folder = stationFolder();
    const ServiceSettings stored = readServiceSettings(options.settingsFile);
    std::vector<std::string> problems = stored.lines;
    const StationSettings settings = readStationSettings(stored.checked.lookup, folder);
    NetworkSettings net = serviceNetworkSettings(stored.checked.lookup, options);
    std::string error;
    if (net.snpp.enabled || net.wctp.enabled) {
        const std::string path = folder + PagerDirectoryFile;
        PagerDirectory directory;
        if (!std::filesystem::exists(path))
            problems.push_back("pager directory " + path +
                               ": does not exist, so SNPP and WCTP page nobody "
                               "(tarvex-cli pager add)");
        else if (!directory.load(path, &error))
            problems.push_back("pager directory " + error);
    }
    UserStore users;
    if (!users.load(folder + SnppUsersFile, &error))
        problems.push_back("logins " + error);
    else if (users.names().empty() && (beyondLoopback(net.snpp) || beyondLoopback(net.wctp)))
        problems.push_back("logins " + folder + SnppUsersFile +
                           ": none, so nobody beyond loopback can page (tarvex-cli snpp-user add)");
    if (!applyDapnetOverrides(net.dapnet, options.dapnet, net.keyFile, &error))
        problems.push_back("DAPNET: " + error);
    // The settings' own faults are named already; nothing would be opened for them.
    if (stored.checked.audioFault.empty())
        checkAudio(settings, stored.checked.lookup("AudioFallbackDefault") == "1", &problems);
    if (stored.checked.keyingFault.empty())
        checkKeying(settings, &problems);
    return problems;
}

} // namespace tarvex
