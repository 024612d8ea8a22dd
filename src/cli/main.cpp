// tarvex-cli: the headless front end for scripts, tests and stations without a screen.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "encoder/errors.h"
#include "paging/release_on_signal.h"

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
    const std::map<std::string, int (*)(const Args&)> commands = {
        {"listing", runListing}, {"wav", runWav},     {"tune", runTune},
        {"ident", runIdent},     {"fast", runFast},   {"send", runSend},
        {"devices", runDevices}, {"pager", runPager}, {"snpp-user", runSnppUser}};
    const auto command = commands.find(all[0]);
    if (command == commands.end()) {
        std::cerr << "tarvex-cli: unknown command '" << all[0] << "' (see tarvex-cli --help)\n";
        return 2;
    }
    const Args rest(all.begin() + 1, all.end());
    for (const auto& a : rest) {
        if (a == "--help" || a == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        }
    }
    try {
        return command->second(rest);
    } catch (const tarvex::Interrupted& e) {
        // A signal ended the command; the transmission has unwound and released the port.
        std::cerr << "tarvex-cli: " << e.what() << "\n";
        return tarvex::ReleaseSignals::exitStatus(e.signal());
    } catch (const std::exception& e) {
        std::cerr << "tarvex-cli: " << e.what() << "\n";
        // Usage errors, refused pages and failed conversions are invalid input; anything else
        // (an unwritable file above all) failed while carrying out valid input.
        const bool invalidInput = dynamic_cast<const UsageError*>(&e) != nullptr ||
                                  dynamic_cast<const tarvex::Error*>(&e) != nullptr;
        return invalidInput ? 2 : 1;
    }
}
