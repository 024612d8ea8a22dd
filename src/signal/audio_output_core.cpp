#include "signal/audio_output.h"
#include "signal/null_output.h"
#include "signal/wav_file_output.h"
#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif

namespace tarvex {

#ifdef TARVEX_HAVE_ALSA
static constexpr const char* CoreChoices = "alsa:DEVICE, wav:FILE or null";
#else
static constexpr const char* CoreChoices = "wav:FILE or null";
#endif

std::unique_ptr<AudioOutput> makeCoreAudioOutput(std::string_view choice, std::string* error) {
    if (choice == "null")
        return std::make_unique<NullOutput>();
#ifdef TARVEX_HAVE_ALSA
    if (choice == "alsa")
        return std::make_unique<AlsaAudioOutput>();
    if (choice.starts_with("alsa:") && choice.size() > 5)
        return std::make_unique<AlsaAudioOutput>(std::string(choice.substr(5)));
#endif
    if (choice.starts_with("wav:")) {
        if (choice.size() > 4)
            return std::make_unique<WavFileOutput>(std::string(choice.substr(4)));
        if (error)
            *error = "audio output \"wav:\" needs a file name";
        return nullptr;
    }
    if (error)
        *error = "unknown audio output \"" + std::string(choice) + "\" (use " + CoreChoices + ")";
    return nullptr;
}

} // namespace tarvex
