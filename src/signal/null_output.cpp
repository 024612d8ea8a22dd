#include "signal/null_output.h"

namespace tarvex {

bool NullOutput::play(std::span<const uint8_t> image, PlayMode mode) {
    Call call;
    call.kind = Call::Kind::Play;
    call.mode = mode;
    if (m_recordImages)
        call.image.assign(image.begin(), image.end());
    m_calls.push_back(std::move(call));
    m_error = m_failure;
    if (!m_failure.empty())
        return false;
    if (mode == PlayMode::Loop)
        m_playing = true;
    return true;
}

void NullOutput::stop() {
    m_calls.push_back(Call{});
    m_playing = false;
}

void NullOutput::setDeviceLevel(DeviceLevel level) {
    Call call;
    call.kind = Call::Kind::SetLevel;
    call.level = level;
    m_calls.push_back(std::move(call));
    m_level = level;
}

} // namespace tarvex
