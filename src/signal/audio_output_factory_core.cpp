// makeAudioOutput of a build without Qt: only the backends that need no Qt.
#include "signal/audio_output.h"

namespace tarvex {

std::unique_ptr<AudioOutput> makeAudioOutput(std::string_view choice, std::string* error) {
    return makeCoreAudioOutput(choice, error);
}

} // namespace tarvex
