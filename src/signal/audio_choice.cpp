#include "signal/audio_choice.h"

#include <algorithm>

#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif
#ifdef TARVEX_WITH_QT_AUDIO
#include "signal/qt_audio_output.h"
#elif defined(TARVEX_QT_AUDIO_MODULE)
#include "signal/qt_audio_module.h"
#endif

namespace tarvex {

std::vector<std::string> audioBackends() {
    std::vector<std::string> backends;
#if defined(TARVEX_WITH_QT_AUDIO) || defined(TARVEX_QT_AUDIO_MODULE)
    backends.emplace_back("qt");
#endif
#ifdef TARVEX_HAVE_ALSA
    backends.emplace_back("alsa");
#endif
    return backends;
}

std::vector<std::string> audioDeviceNames(std::string_view backend) {
#ifdef TARVEX_WITH_QT_AUDIO
    if (backend == "qt")
        return QtAudioOutput::deviceDescriptions();
#elif defined(TARVEX_QT_AUDIO_MODULE)
    if (backend == "qt") {
        std::vector<std::string> names;
        if (const QtAudioModule* module = loadQtAudioModule(nullptr))
            module->outputDevices(
                [](void* into, const char* name) {
                    static_cast<std::vector<std::string>*>(into)->emplace_back(name);
                },
                &names);
        return names;
    }
#endif
#ifdef TARVEX_HAVE_ALSA
    if (backend == "alsa")
        return AlsaAudioOutput::deviceNames();
#endif
    (void)backend;
    return {};
}

std::string resolveStoredDevice(const std::vector<std::string>& available, std::string_view stored,
                                std::string* note) {
    if (stored.empty() || std::find(available.begin(), available.end(), stored) != available.end())
        return std::string(stored);
    if (note)
        *note = "Audio device \"" + std::string(stored) +
                "\" is not there any more; using the default output.";
    return {};
}

std::string audioChoiceText(std::string_view backend, std::string_view device) {
    if (backend == "alsa")
        return device.empty() ? "alsa" : "alsa:" + std::string(device);
    return device.empty() ? "default" : "qt:" + std::string(device);
}

std::unique_ptr<AudioOutput> openStoredAudioOutput(std::string_view backend,
                                                   std::string_view device, std::string* note,
                                                   std::string* error) {
    const auto backends = audioBackends();
    std::string chosenBackend(backend);
    if (std::find(backends.begin(), backends.end(), chosenBackend) == backends.end()) {
        chosenBackend = backends.empty() ? std::string() : backends.front();
        if (note && !backend.empty())
            *note = "Audio backend \"" + std::string(backend) + "\" is not in this build; using " +
                    (chosenBackend.empty() ? std::string("none") : chosenBackend) + ".";
        device = {};
    }
    if (chosenBackend.empty()) {
        if (error)
            *error = "this build has no sound output";
        return nullptr;
    }
    const std::string resolved = resolveStoredDevice(audioDeviceNames(chosenBackend), device, note);
    return makeAudioOutput(audioChoiceText(chosenBackend, resolved), error);
}

} // namespace tarvex
