#pragma once
// The commands that go on the air or reach hardware (send, tune --send, devices, and the
// station's own administration) live in a module that tarvex-cli loads only when one of
// them is run: the render commands then start with nothing but the C and C++ runtime, and a
// machine without sound libraries can still render pages.
#include "cli/commands.h"

#include <string>

namespace tarvex::cli {

/// Name of the module's entry point: int (int argc, const char* const* argv), argv[0] the
/// command word.
inline constexpr char OnAirEntryName[] = "tarvex_cli_onair";

/// Whether the module handles this command (and these arguments: tune only with --send).
bool isOnAirCommand(const std::string& command, const Args& args);

/// Loads the module and runs the command in it; the exit status. Reports on stderr and
/// returns 1 when the module cannot be found or loaded.
int runInOnAirModule(const std::string& command, const Args& args);

} // namespace tarvex::cli
