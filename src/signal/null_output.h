#pragma once
// The "null" audio output: plays nothing, keeps nothing, for headless runs that need no sound
// (a station that keys a VOX-less radio by hand, the listing commands).
#include "signal/audio_output.h"

#include <string>

namespace tarvex {

class NullOutput : public AudioOutput {
public:
    explicit NullOutput(DeviceLevel initialLevel = 0xFFFFFFFFu) : m_level(initialLevel) {}

    bool play(std::span<const uint8_t> image, PlayMode mode) override;
    void stop() override { m_playing = false; }
    bool playing() const override { return m_playing; }
    void setDeviceLevel(DeviceLevel level) override { m_level = level; }
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return {}; }
    std::string name() const override { return "null"; }

private:
    DeviceLevel m_level;
    bool m_playing = false;
};

/// The output a service uses when the one it was set up with cannot be made (an unknown
/// choice): it is never ready, so nothing is keyed and pages wait, and it names the reason.
class UnavailableOutput : public AudioOutput {
public:
    UnavailableOutput(std::string name, std::string reason)
        : m_name(std::move(name)), m_reason(std::move(reason)) {}

    bool play(std::span<const uint8_t>, PlayMode) override { return false; }
    void stop() override {}
    bool playing() const override { return false; }
    bool ready(std::string* why) override {
        if (why != nullptr)
            *why = m_reason;
        return false;
    }
    void setDeviceLevel(DeviceLevel level) override { m_level = level; }
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return m_reason; }
    std::string name() const override { return m_name; }

private:
    std::string m_name;
    std::string m_reason;
    DeviceLevel m_level = 0xFFFFFFFFu;
};

} // namespace tarvex
