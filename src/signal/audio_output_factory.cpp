// makeAudioOutput: the sound card through the backends this build has (Qt Multimedia, linked
// in or as a module loaded when chosen; ALSA), plus the core sinks.
#include "signal/audio_output.h"
#ifdef TARVEX_WITH_QT_AUDIO
#include "signal/qt_audio_output.h"
#elif defined(TARVEX_QT_AUDIO_MODULE)
#include "signal/qt_audio_module.h"
#endif
#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif

namespace tarvex {

std::unique_ptr<AudioOutput> makeAudioOutput(std::string_view choice, std::string* error) {
#ifdef TARVEX_WITH_QT_AUDIO
    if (choice == "default" || choice == "qt")
        return std::make_unique<QtAudioOutput>();
    if (choice.starts_with("qt:") && choice.size() > 3)
        return std::make_unique<QtAudioOutput>(std::string(choice.substr(3)));
#elif defined(TARVEX_QT_AUDIO_MODULE)
    if (choice == "default" || choice == "qt" || (choice.starts_with("qt:") && choice.size() > 3)) {
        const QtAudioModule* module = loadQtAudioModule(error);
        if (module == nullptr)
            return nullptr;
        const std::string device = choice.starts_with("qt:") ? std::string(choice.substr(3)) : "";
        return std::unique_ptr<AudioOutput>(module->makeOutput(device.c_str()));
    }
#endif
#ifdef TARVEX_HAVE_ALSA
#if !defined(TARVEX_WITH_QT_AUDIO) && !defined(TARVEX_QT_AUDIO_MODULE)
    if (choice == "default")
        return std::make_unique<AlsaAudioOutput>();
#endif
    if (choice == "alsa")
        return std::make_unique<AlsaAudioOutput>();
    if (choice.starts_with("alsa:") && choice.size() > 5)
        return std::make_unique<AlsaAudioOutput>(std::string(choice.substr(5)));
#endif
    std::string coreError;
    auto output = makeCoreAudioOutput(choice, &coreError);
    if (!output && error) {
        std::string choices;
#if defined(TARVEX_WITH_QT_AUDIO) || defined(TARVEX_QT_AUDIO_MODULE)
        choices += "default, qt:DEVICE, ";
#endif
#ifdef TARVEX_HAVE_ALSA
        choices += "alsa:DEVICE, ";
#endif
        *error = choice.starts_with("wav:") ? coreError
                                            : "unknown audio output \"" + std::string(choice) +
                                                  "\" (use " + choices + "wav:FILE or null)";
    }
    return output;
}

} // namespace tarvex
