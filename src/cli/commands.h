#pragma once
// The commands of tarvex-cli. Each takes its arguments (after the command word) and returns
// the exit status; invalid input throws UsageError, an unwritable file OutputError.
#include <string>
#include <vector>

namespace tarvex::cli {

using Args = std::vector<std::string>;

int runListing(const Args& args);
int runWav(const Args& args);
int runTune(const Args& args);
int runIdent(const Args& args);
int runFast(const Args& args);
int runSend(const Args& args);
int runDevices(const Args& args);
int runStatus(const Args& args);
int runStop(const Args& args);
int runResume(const Args& args);
int runQueue(const Args& args);
/// search: asks tarvexd to run a RIC/CAP search (or a fast search) on its station.
int runSearch(const Args& args);
int runPager(const Args& args);
/// snpp-user add|remove|list: in snpp_user_command.cpp, the one command that links libsodium.
int runSnppUser(const Args& args);

} // namespace tarvex::cli
