#pragma once
// The rule an unattended transmitter lives by, as a checker any test can attach: a keying
// port and an audio output that stamp what they are asked to do on the test's clock, and a
// check of the timeline they make. Every key-up is followed by its sound within the key
// delay (and the ident's settle), or released at once when there is none; every release
// comes no later than Duration + 100 ms + the allowed drain after the sound started; no sound
// plays while the transmitter is released (keying that fails on purpose excepted).
#include "recording_output.h"
#include "recording_port_writer.h"
#include "station_fakes.h"

#include <cstring>
#include <string>
#include <vector>

namespace tarvex::test {

struct AirTimeline {
    struct Event {
        enum class Kind { Key, Release, Play, Stop, ManualOn } kind; ///< ManualOn: by hand
        uint32_t at = 0;
        uint32_t durationMs = 0; ///< Play: the image's length
    };
    FakeClock* clock = nullptr; ///< the station's clock, once there is one
    std::vector<Event> events;
    void add(Event::Kind kind, uint32_t durationMs = 0) {
        events.push_back({kind, clock != nullptr ? clock->now : 0, durationMs});
    }
};

/// A parallel port whose writes land on the timeline (pin D0, active high); it can be told
/// to fail, as a port that cannot be opened. The timeline holds what the station asked for,
/// written or not: a port that fails cannot be released either, which is no fault of the
/// station's timing.
struct TimedPort : RecordingPortWriter {
    AirTimeline& timeline;
    bool keyed = false;
    explicit TimedPort(AirTimeline& t) : timeline(t) {}
    bool writeByte(uint16_t port, uint8_t value) override {
        const bool ok = RecordingPortWriter::writeByte(port, value);
        const bool on = (value & 1) != 0;
        if (on != keyed)
            timeline.add(on ? AirTimeline::Event::Kind::Key : AirTimeline::Event::Kind::Release);
        keyed = on;
        return ok;
    }
};

/// An audio output whose plays and stops land on the timeline, with each image's length
/// read from its WAV header.
struct TimedOutput : RecordingOutput {
    AirTimeline& timeline;
    explicit TimedOutput(AirTimeline& t) : timeline(t) { setRecordImages(false); }
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        if (!RecordingOutput::play(image, mode))
            return false;
        uint32_t byteRate = 0;
        if (image.size() >= 44)
            std::memcpy(&byteRate, image.data() + 28, 4);
        const uint32_t ms =
            byteRate == 0 ? 0 : static_cast<uint32_t>((image.size() - 44) * 1000ull / byteRate);
        timeline.add(AirTimeline::Event::Kind::Play, ms);
        return true;
    }
    void stop() override {
        RecordingOutput::stop();
        timeline.add(AirTimeline::Event::Kind::Stop);
    }
};

struct AirLimits {
    uint32_t keyDelayMs = 200;
    uint32_t settleMs = 250; ///< the ident's settle after the key delay
    uint32_t maxDrainMs = 2000;
    uint32_t slackMs = 20;      ///< one step of the waits
    bool keyingMayFail = false; ///< sound without a key-up is then allowed
};

/// Every breach of the rule on the timeline, one line each (empty: it held).
inline std::vector<std::string> airViolations(const AirTimeline& t, const AirLimits& limits) {
    using Kind = AirTimeline::Event::Kind;
    std::vector<std::string> found;
    const auto at = [](uint32_t ms) { return " at " + std::to_string(ms) + " ms"; };
    bool keyed = false, manual = false, manualDuring = false, played = false;
    uint32_t keyedAt = 0, playAt = 0, playMs = 0;
    for (const auto& e : t.events) {
        switch (e.kind) {
        case Kind::ManualOn:
            manual = manualDuring = true;
            break;
        case Kind::Key:
            keyed = true;
            keyedAt = e.at;
            played = false;
            manualDuring = manual;
            break;
        case Kind::Play:
            if (!keyed && !limits.keyingMayFail)
                found.push_back("sound played with the transmitter released" + at(e.at));
            if (keyed && !played && !manualDuring &&
                e.at - keyedAt > limits.keyDelayMs + limits.settleMs + limits.slackMs)
                found.push_back("sound came " + std::to_string(e.at - keyedAt) +
                                " ms after the key-up" + at(e.at));
            played = true;
            playAt = e.at;
            playMs = e.durationMs;
            break;
        case Kind::Release:
            if (keyed && !manualDuring) {
                if (!played &&
                    e.at - keyedAt > limits.keyDelayMs + limits.settleMs + limits.slackMs)
                    found.push_back("keyed " + std::to_string(e.at - keyedAt) +
                                    " ms with no sound" + at(keyedAt));
                if (played && e.at - playAt > playMs + 100 + limits.maxDrainMs + limits.slackMs)
                    found.push_back("released " + std::to_string(e.at - playAt - playMs) +
                                    " ms after a " + std::to_string(playMs) + " ms sound ended" +
                                    at(e.at));
            }
            keyed = false;
            manual = false; // any release ends a manual key-up
            break;
        case Kind::Stop:
            break;
        }
    }
    if (keyed && !manual)
        found.push_back("still keyed at the end" + at(keyedAt));
    return found;
}

} // namespace tarvex::test
