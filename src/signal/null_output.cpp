#include "signal/null_output.h"

namespace tarvex {

bool NullOutput::play(std::span<const uint8_t> image, PlayMode mode) {
    (void)image;
    // A looping image would play until stopped; a single one has left at once.
    m_playing = mode == PlayMode::Loop;
    return true;
}

} // namespace tarvex
