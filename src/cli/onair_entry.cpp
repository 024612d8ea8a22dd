// The on-air module's entry point: the commands that key a transmitter, play sound or reach
// hardware, run with the same exit statuses and messages as the rest of tarvex-cli.
#include "cli/command_runner.h"
#include "cli/commands.h"
#include "cli/onair_module.h"
#include "cli/render.h"

#ifdef TARVEX_WITH_QT
#include "signal/audio_process_exit.h"
#endif

#include <iostream>
#include <map>
#include <string>

namespace tarvex::cli {
namespace {

int runTuneOnAir(const Args& argv) {
    const TuneOptions t = readTuneOptions(argv);
    return sendTuneUp(t.args, t.seconds, t.baud, t.inverted);
}

} // namespace
} // namespace tarvex::cli

extern "C" __attribute__((visibility("default"))) int tarvex_cli_onair(int argc,
                                                                       const char* const* argv) {
    using namespace tarvex::cli;
    if (argc < 1 || argv == nullptr || argv[0] == nullptr)
        return 2;
    const std::string command = argv[0];
    const Args args(argv + 1, argv + argc);
    const std::map<std::string, CommandFunction> commands = {{"send", runSend},
                                                             {"devices", runDevices},
                                                             {"tune", runTuneOnAir},
                                                             {"snpp-user", runSnppUser}};
    const auto found = commands.find(command);
    if (found == commands.end()) {
        std::cerr << "tarvex-cli: unknown command '" << command << "' (see tarvex-cli --help)\n";
        return 2;
    }
    const int status = runGuarded(found->second, args);
#ifdef TARVEX_WITH_QT
    // The command's station and application object are gone; the sound library's globals
    // are left to the end of the process.
    tarvex::exitWithoutAudioTeardown(status);
#else
    return status;
#endif
}
