#include "cli/command_runner.h"

#include "cli/arguments.h"
#include "encoder/errors.h"
#include "paging/release_on_signal.h"

#include <iostream>

namespace tarvex::cli {

int runGuarded(CommandFunction command, const Args& args) {
    try {
        return command(args);
    } catch (const Interrupted& e) {
        // A signal ended the command; the transmission has unwound and released the port.
        std::cerr << "tarvex-cli: " << e.what() << "\n";
        return ReleaseSignals::exitStatus(e.signal());
    } catch (const std::exception& e) {
        std::cerr << "tarvex-cli: " << e.what() << "\n";
        // Usage errors, refused pages and failed conversions are invalid input; anything else
        // (an unwritable file above all) failed while carrying out valid input.
        const bool invalidInput = dynamic_cast<const UsageError*>(&e) != nullptr ||
                                  dynamic_cast<const Error*>(&e) != nullptr;
        return invalidInput ? 2 : 1;
    }
}

bool asksForHelp(const Args& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

} // namespace tarvex::cli
