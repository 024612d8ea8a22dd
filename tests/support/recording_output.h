#pragma once
// An audio output for tests that plays nothing and records what it was asked to do, with a
// copy of each image, and can be told to fail: the stand-in for a sound card.
#include "signal/audio_output.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::test {

class RecordingOutput : public AudioOutput {
public:
    struct Call {
        enum class Kind { Play, Stop, SetLevel };
        Kind kind = Kind::Stop;
        PlayMode mode = PlayMode::Blocking; ///< Play only
        std::vector<uint8_t> image;         ///< Play only, a copy when images are recorded
        DeviceLevel level = 0;              ///< SetLevel only
    };

    explicit RecordingOutput(DeviceLevel initialLevel = 0xFFFFFFFFu) : m_level(initialLevel) {}

    bool play(std::span<const uint8_t> image, PlayMode mode) override {
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
    void stop() override {
        m_calls.push_back(Call{});
        m_playing = false;
    }
    bool playing() const override { return m_playing; }
    bool ready(std::string* why) override {
        if (m_unready.empty())
            return true;
        m_error = m_unready;
        if (why != nullptr)
            *why = m_unready;
        return false;
    }
    void setDeviceLevel(DeviceLevel level) override {
        Call call;
        call.kind = Call::Kind::SetLevel;
        call.level = level;
        m_calls.push_back(std::move(call));
        m_level = level;
    }
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
    /// Makes ready() say no with this text, as a device that cannot be opened (empty: ready).
    void failReadyWith(std::string text) { m_unready = std::move(text); }

private:
    std::vector<Call> m_calls;
    DeviceLevel m_level;
    bool m_playing = false;
    bool m_recordImages = true;
    std::string m_failure;
    std::string m_unready;
    std::string m_error;
};

} // namespace tarvex::test
