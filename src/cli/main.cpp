// tarvex-cli: the headless front end for scripts, tests and stations without a screen. The
// render commands run here with nothing but the C and C++ runtime; the commands that go on
// the air or reach hardware run in the on-air module, loaded only for them.
#include "cli/arguments.h"
#include "cli/command_runner.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/onair_module.h"

#include <cstdio>
#include <iostream>
#include <map>

using namespace tarvex::cli;

int main(int argc, char** argv) {
    const Args all(argv + 1, argv + argc);
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
    if (isOnAirCommand(all[0], rest))
        return runInOnAirModule(all[0], rest);
    const std::map<std::string, CommandFunction> commands = {
        {"listing", runListing}, {"wav", runWav},     {"tune", runTune},     {"ident", runIdent},
        {"fast", runFast},       {"pager", runPager}, {"status", runStatus}, {"stop", runStop},
        {"resume", runResume},   {"queue", runQueue}};
    const auto command = commands.find(all[0]);
    if (command == commands.end()) {
        std::cerr << "tarvex-cli: unknown command '" << all[0] << "' (see tarvex-cli --help)\n";
        return 2;
    }
    return runGuarded(command->second, rest);
}
