#pragma once
// Runs one tarvex-cli command and turns what it throws into the exit status and a message
// on stderr: 2 for invalid input, 1 for what failed while carrying out valid input, 128 +
// the signal when a signal ended it. Shared by the program and its on-air module.
#include "cli/commands.h"

namespace tarvex::cli {

using CommandFunction = int (*)(const Args&);

int runGuarded(CommandFunction command, const Args& args);

/// True when the arguments ask for help (--help or -h anywhere).
bool asksForHelp(const Args& args);

} // namespace tarvex::cli
