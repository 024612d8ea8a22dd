#include "cli/onair_module.h"

#include "paging/module_loader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iostream>
#include <vector>

namespace tarvex::cli {

namespace {

constexpr std::array<const char*, 4> OnAirCommands = {"send", "devices", "snpp-user", "tune"};

/// Where the module is looked for, relative to the program's folder: the build tree first,
/// then the installed place.
std::vector<std::string> moduleCandidates() {
    std::vector<std::string> out;
    if (const char* forced = std::getenv("TARVEX_CLI_MODULE"); forced != nullptr && *forced)
        out.emplace_back(forced);
    for (std::string& path :
         besideProgram({TARVEX_MODULE_BUILD_DIR, TARVEX_MODULE_INSTALL_DIR}, TARVEX_MODULE_FILE))
        out.push_back(std::move(path));
    return out;
}

} // namespace

bool isOnAirCommand(const std::string& command, const Args& args) {
    if (command == "tune")
        return std::find(args.begin(), args.end(), "--send") != args.end();
    return std::find(OnAirCommands.begin(), OnAirCommands.end(), command) != OnAirCommands.end();
}

int runInOnAirModule(const std::string& command, const Args& args) {
    std::vector<std::string> tried;
    using Entry = int (*)(int, const char* const*);
    if (auto entry =
            reinterpret_cast<Entry>(loadModuleEntry(moduleCandidates(), OnAirEntryName, &tried))) {
        std::vector<const char*> argv{command.c_str()};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        argv.push_back(nullptr);
        return entry(static_cast<int>(argv.size() - 1), argv.data());
    }
    std::cerr << "tarvex-cli: the on-air part of tarvex-cli (" << TARVEX_MODULE_FILE
              << ") cannot be loaded:";
    for (const std::string& place : tried)
        std::cerr << "\n  " << place;
    std::cerr << "\n";
    return 1;
}

} // namespace tarvex::cli
