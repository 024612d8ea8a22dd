#include "signal/audio_output.h"
#include "signal/null_output.h"
#include "signal/wav_file_output.h"

namespace tarvex {

static constexpr const char* CoreChoices = "wav:FILE or null";

bool isListedAlsaDevice(std::string_view name) {
    if (name == "default" || name == "pulse" || name == "pipewire" || name == "null")
        return true;
    // Multichannel layouts of a card are not a transmitter's output.
    return name.find("CARD=") != std::string_view::npos && !name.starts_with("surround");
}

std::unique_ptr<AudioOutput> makeCoreAudioOutput(std::string_view choice, std::string* error) {
    if (choice == "null")
        return std::make_unique<NullOutput>();
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
