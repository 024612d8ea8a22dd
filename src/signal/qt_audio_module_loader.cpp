// The program's side: finds and loads the Qt Multimedia module once.
#include "signal/qt_audio_module.h"

#include "paging/module_loader.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tarvex {

namespace {

/// Where the module is looked for: $TARVEX_QT_AUDIO_MODULE alone when set; else beside the
/// program in a build tree, then its installed place (relative to the program's folder).
std::vector<std::string> candidates() {
    if (const char* forced = std::getenv("TARVEX_QT_AUDIO_MODULE"); forced != nullptr && *forced)
        return {forced};
    std::vector<std::string> out = besideProgram(
        {TARVEX_QT_AUDIO_BUILD_DIR, TARVEX_QT_AUDIO_INSTALL_DIR}, TARVEX_QT_AUDIO_FILE);
    for (std::string& path : out)
        path = std::filesystem::path(path).lexically_normal().string();
    return out;
}

struct Loaded {
    const QtAudioModule* module = nullptr;
    std::string error;
};

Loaded load() {
    Loaded out;
    std::vector<std::string> tried;
    using Entry = const QtAudioModule* (*)();
    if (auto entry =
            reinterpret_cast<Entry>(loadModuleEntry(candidates(), QtAudioModuleEntry, &tried))) {
        out.module = entry();
        return out;
    }
    std::string places;
    for (const std::string& place : tried)
        places += (places.empty() ? "" : "; ") + place;
    out.error = "the Qt Multimedia module cannot be loaded (" + places + ")";
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
