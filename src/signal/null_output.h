#pragma once
// An audio output that plays nothing and keeps a record of what it was asked to do:
// the "null" backend for headless runs, and the stand-in for a sound card in tests.
#include "signal/audio_output.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

class NullOutput : public AudioOutput {
public:
    struct Call {
        enum class Kind { Play, Stop, SetLevel };
        Kind kind = Kind::Stop;
        PlayMode mode = PlayMode::Blocking; ///< Play only
        std::vector<uint8_t> image;         ///< Play only, a copy when images are recorded
        DeviceLevel level = 0;              ///< SetLevel only
    };

    explicit NullOutput(DeviceLevel initialLevel = 0xFFFFFFFFu) : m_level(initialLevel) {}

    bool play(std::span<const uint8_t> image, PlayMode mode) override;
    void stop() override;
    bool playing() const override { return m_playing; }
    void setDeviceLevel(DeviceLevel level) override;
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return m_error; }
    std::string name() const override { return "null"; }

    const std::vector<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    /// Whether Play calls keep a copy of the image (on by default).
    void setRecordImages(bool on) { m_recordImages = on; }
    /// Pretends the last image is still (or no longer) leaving the output. A looping play
    /// sets it until stop(); the other modes leave it as it was.
    void setPlaying(bool on) { m_playing = on; }
    /// Makes every following play() fail with this text (empty: plays work again).
    void failPlaysWith(std::string text) { m_failure = std::move(text); }

private:
    std::vector<Call> m_calls;
    DeviceLevel m_level;
    bool m_playing = false;
    bool m_recordImages = true;
    std::string m_failure;
    std::string m_error;
};

} // namespace tarvex
