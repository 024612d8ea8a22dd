// makeAudioOutput of a Qt build: the sound card through Qt Multimedia, plus the core sinks.
#include "signal/audio_output.h"
#include "signal/qt_audio_output.h"

namespace tarvex {

std::unique_ptr<AudioOutput> makeAudioOutput(std::string_view choice, std::string* error) {
    if (choice == "default" || choice == "qt")
        return std::make_unique<QtAudioOutput>();
    if (choice.starts_with("qt:") && choice.size() > 3)
        return std::make_unique<QtAudioOutput>(std::string(choice.substr(3)));
    auto output = makeCoreAudioOutput(choice, error);
    if (!output && error)
        *error = "unknown audio output \"" + std::string(choice) +
                 "\" (use default, qt:DEVICE, alsa:DEVICE, wav:FILE or null)";
    return output;
}

} // namespace tarvex
