#include "cli/onair_module.h"

#include "paging/station_folder.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
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
    const std::string exe = executableFolder();
    for (const char* relative : {TARVEX_MODULE_BUILD_DIR, TARVEX_MODULE_INSTALL_DIR})
        out.push_back((std::filesystem::path(exe) / relative / TARVEX_MODULE_FILE).string());
    return out;
}

} // namespace

bool isOnAirCommand(const std::string& command, const Args& args) {
    if (command == "tune")
        return std::find(args.begin(), args.end(), "--send") != args.end();
    return std::find(OnAirCommands.begin(), OnAirCommands.end(), command) != OnAirCommands.end();
}

int runInOnAirModule(const std::string& command, const Args& args) {
    std::string tried;
    for (const std::string& path : moduleCandidates()) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            tried += "\n  " + path + ": not there";
            continue;
        }
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* why = ::dlerror();
            tried += "\n  " + path + ": " + (why ? why : "cannot be loaded");
            continue;
        }
        using Entry = int (*)(int, const char* const*);
        auto entry = reinterpret_cast<Entry>(::dlsym(module, OnAirEntryName));
        if (entry == nullptr) {
            tried += "\n  " + path + ": no entry point";
            continue;
        }
        std::vector<const char*> argv{command.c_str()};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        argv.push_back(nullptr);
        // The module stays loaded until the process ends: its objects may outlive the call.
        return entry(static_cast<int>(argv.size() - 1), argv.data());
    }
    std::cerr << "tarvex-cli: the on-air part of tarvex-cli (" << TARVEX_MODULE_FILE
              << ") cannot be loaded:" << tried << "\n";
    return 1;
}

} // namespace tarvex::cli
