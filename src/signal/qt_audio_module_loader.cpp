// The program's side: finds and loads the Qt Multimedia module once.
#include "signal/qt_audio_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace tarvex {

namespace {

std::string programFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

/// Where the module is looked for: $TARVEX_QT_AUDIO_MODULE alone when set; else beside the
/// program in a build tree, then its installed place (relative to the program's folder).
std::vector<std::string> candidates() {
    if (const char* forced = std::getenv("TARVEX_QT_AUDIO_MODULE"); forced != nullptr && *forced)
        return {forced};
    std::vector<std::string> out;
    const std::filesystem::path folder = programFolder();
    for (const char* relative : {TARVEX_QT_AUDIO_BUILD_DIR, TARVEX_QT_AUDIO_INSTALL_DIR})
        out.push_back((folder / relative / TARVEX_QT_AUDIO_FILE).lexically_normal().string());
    return out;
}

struct Loaded {
    const QtAudioModule* module = nullptr;
    std::string error;
};

Loaded load() {
    Loaded out;
    std::string tried;
    for (const std::string& path : candidates()) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            tried += "; " + path + ": not there";
            continue;
        }
        // RTLD_GLOBAL is not needed: the module takes the program's own symbols (the monitor's
        // input class) and hands back only its table. It stays loaded until the process ends.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            tried += "; " + path + ": " + (why != nullptr ? why : "cannot be loaded");
            continue;
        }
        using Entry = const QtAudioModule* (*)();
        auto entry = reinterpret_cast<Entry>(::dlsym(handle, QtAudioModuleEntry));
        if (entry == nullptr) {
            tried += "; " + path + ": no entry point";
            continue;
        }
        out.module = entry();
        return out;
    }
    out.error = "the Qt Multimedia module cannot be loaded (" + tried.substr(2) + ")";
    return out;
}

} // namespace

const QtAudioModule* loadQtAudioModule(std::string* error) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (loaded.module == nullptr && error != nullptr)
        *error = loaded.error;
    return loaded.module;
}

} // namespace tarvex
