// makeAudioOutput: the sound card through the backends this build has (Qt Multimedia, ALSA),
// plus the core sinks.
#include "signal/audio_output.h"
#ifdef TARVEX_WITH_QT_AUDIO
#include "signal/qt_audio_output.h"
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
#endif
#ifdef TARVEX_HAVE_ALSA
#ifndef TARVEX_WITH_QT_AUDIO
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
#ifdef TARVEX_WITH_QT_AUDIO
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
