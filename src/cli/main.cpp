// tarvex-cli: the headless front end for scripts, tests and stations without a screen. The
// render commands run here with nothing but the C and C++ runtime; the commands that go on
// the air or reach hardware run in the on-air module, loaded only for them.
#include "cli/arguments.h"
#include "cli/command_runner.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/onair_module.h"
#include "paging/station_folder.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

using namespace tarvex::cli;

namespace {

/// The folder whose pager directory and logins the administration commands change: --folder
/// DIR or TARVEX_FOLDER; else, for root or a member of group tarvex where the system service
/// is installed, the service's folder; else the station folder as the desktop program finds
/// it. Passed on through TARVEX_FOLDER, which every part of the program reads.
void chooseAdministeredFolder(const std::string& command) {
    if (command != "pager" && command != "snpp-user")
        return;
    const char* forced = std::getenv(tarvex::StationFolderVariable);
    if (forced != nullptr && *forced)
        return;
    const std::string service = tarvex::installedServiceFolder();
    if (service.empty())
        return;
    ::setenv(tarvex::StationFolderVariable, service.c_str(), 1);
    std::cerr << "tarvex-cli: the installed service's station folder " << service
              << " (--folder DIR for another)\n";
}

} // namespace

int main(int argc, char** argv) {
    Args all(argv + 1, argv + argc);
    if (!all.empty() && all[0] == "--folder") {
        if (all.size() < 2 || all[1].empty()) {
            std::cerr << "tarvex-cli: --folder needs a folder\n";
            return 2;
        }
        ::setenv(tarvex::StationFolderVariable, all[1].c_str(), 1);
        all.erase(all.begin(), all.begin() + 2);
    }
    if (all.empty() || all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        std::fputs(HelpText, all.empty() ? stderr : stdout);
        return all.empty() ? 2 : 0;
    }
    if (all[0] == "--version") {
        std::printf("tarvex-cli %s\n", TARVEX_PROJECT_VERSION);
        return 0;
    }
    const Args rest(all.begin() + 1, all.end());
    if (asksForHelp(rest)) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    chooseAdministeredFolder(all[0]);
    if (isOnAirCommand(all[0], rest))
        return runInOnAirModule(all[0], rest);
    const std::map<std::string, CommandFunction> commands = {
        {"listing", runListing}, {"wav", runWav},     {"tune", runTune},     {"ident", runIdent},
        {"fast", runFast},       {"pager", runPager}, {"status", runStatus}, {"stop", runStop},
        {"resume", runResume},   {"queue", runQueue}, {"search", runSearch}};
    const auto command = commands.find(all[0]);
    if (command == commands.end()) {
        std::cerr << "tarvex-cli: unknown command '" << all[0] << "' (see tarvex-cli --help)\n";
        return 2;
    }
    return runGuarded(command->second, rest);
}
