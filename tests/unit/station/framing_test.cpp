// Transmission framing against the real generator, a recording port and a logging audio
// output, on a fake clock and its scheduler: the order and timing of key, play and release
// for the tune-up and the ident, release on every way out, and waiting for the output to
// drain.
#include "station/transmit_framing.h"
#include "station_fakes.h"

#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarvex;

namespace {

struct Event {
    std::string what; ///< "key", "release", "play", "stop"
    uint32_t at;      ///< fake clock, ms
    uint8_t value = 0;
    PlayMode mode = PlayMode::Blocking;
    std::size_t imageBytes = 0;
    DeviceLevel level = 0;
};

using test::FakeClock;
using FakePump = test::JumpingPump;

/// Port writes alternate key, release, key, ... (the values are checked by the tests).
struct LoggingPort : PortWriter {
    std::vector<Event>& log;
    FakeClock& clock;
    int writes = 0;
    LoggingPort(std::vector<Event>& l, FakeClock& c) : log(l), clock(c) {}
    bool writeByte(uint16_t port, uint8_t value) override {
        EXPECT_EQ(port, 0x378);
        log.push_back({writes++ % 2 == 0 ? "key" : "release", clock.now, value});
        return succeed();
    }
};

struct LoggingOutput : AudioOutput {
    std::vector<Event>& log;
    FakeClock& clock;
    DeviceLevel level = 0xFFFFFFFF;
    uint32_t playingUntil = 0; ///< fake time at which the last sample has left
    bool throwOnPlay = false;
    std::string notReady; ///< why the output cannot play (empty: it can)
    LoggingOutput(std::vector<Event>& l, FakeClock& c) : log(l), clock(c) {}

    bool ready(std::string* why) override {
        *why = notReady;
        return notReady.empty();
    }

    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        if (throwOnPlay)
            throw std::runtime_error("sound device gone");
        log.push_back({"play", clock.now, 0, mode, image.size(), level});
        return true;
    }
    void stop() override {
        playingUntil = 0;
        log.push_back({"stop", clock.now});
    }
    bool playing() const override { return clock.now < playingUntil; }
    void setDeviceLevel(DeviceLevel l) override { level = l; }
    DeviceLevel deviceLevel() const override { return level; }
    std::string lastError() const override { return {}; }
    std::string name() const override { return "logging"; }
};

struct TransmissionTest : ::testing::Test {
    std::vector<Event> log;
    FakeClock clock;
    FakePump jumping{clock};
    BasicScheduler scheduler{clock};
    SchedulingPump pump{scheduler, jumping};
    EventWait wait{clock, pump};
    std::shared_ptr<LoggingPort> port = std::make_shared<LoggingPort>(log, clock);
    KeyingSettings settings{0, 3, 200, false, false};
    Keyer keyer{std::make_unique<ParallelPortLine>(port, [this] { return settings; })};
    std::shared_ptr<LoggingOutput> output = std::make_shared<LoggingOutput>(log, clock);
    TSignalGen gen{output};
    Transmitter tx{keyer, gen, scheduler,
                   Transmitter::Hooks{[this] { return static_cast<uint32_t>(settings.KeyDelay); },
                                      nullptr, nullptr}};
    SlotBuffer buffer;
    std::optional<Transmitter::End> end;

    TransmissionTest() {
        gen.setClock(test::fakeSteadyClock(clock));
        gen.setAsync(true);
        gen.setInverted(false);
        gen.setLevel(30);
    }

    /// Runs one key-up of the stream from `first` to its end; returns how it ended.
    Transmitter::End run(int first, std::optional<int> identLevel = std::nullopt) {
        Transmitter::KeyUp keyUp;
        for (const Codeword c : buffer.from(first)) {
            keyUp.stream.push_back(c);
            if (c == EndMarker)
                break;
        }
        keyUp.identLevel = identLevel;
        end.reset();
        EXPECT_TRUE(tx.start(std::move(keyUp), [this](const Transmitter::End& e) { end = e; }));
        while (!end)
            wait.DelayMs(10);
        return *end;
    }
    int tuneUp(int seconds, int baud) {
        const int n = BuildTuneUp(buffer, seconds, baud);
        run(SlotBuffer::FirstSlot);
        return n;
    }
    int ident(std::string_view callsign, int level) {
        const int n = BuildMorseIdent(buffer, callsign);
        run(SlotBuffer::IdentFirstSlot, level);
        return n;
    }

    std::vector<std::string> sequence() const {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (e.what != "stop")
                out.push_back(e.what);
        return out;
    }
    const Event& first(const std::string& what) const {
        for (const auto& e : log)
            if (e.what == what)
                return e;
        throw std::logic_error("no " + what);
    }
};

TEST_F(TransmissionTest, TuneUpIsKeyedPlayedForItsLengthAndReleased) {
    gen.setBaud(1200);
    EXPECT_EQ(tuneUp(3, 1200), 114);
    EXPECT_EQ(gen.Duration(), 3039u);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "play", "release"}));
    EXPECT_EQ(first("key").value, 0x08);
    EXPECT_EQ(first("release").value, 0x00);
    EXPECT_EQ(first("key").at, 10000u);
    EXPECT_EQ(first("play").at, 10200u); // after the key delay
    EXPECT_EQ(first("play").mode, PlayMode::Async);
    EXPECT_EQ(first("play").imageBytes, 44u + 3039u * 96u);
    EXPECT_EQ(first("release").at, 10200u + 3039u + 100u); // Duration + 100 after Send
    EXPECT_TRUE(end->sounded);
    EXPECT_FALSE(tx.active());
}

TEST_F(TransmissionTest, TuneUpLengthsAtEachRate) {
    const struct {
        int seconds, baud;
        uint32_t duration;
    } cases[] = {{3, 512, 3000}, {3, 1200, 3039}, {3, 2400, 2996}, {15, 2400, 14977}};
    for (const auto& c : cases) {
        gen.setBaud(static_cast<int16_t>(c.baud));
        tuneUp(c.seconds, c.baud);
        EXPECT_EQ(gen.Duration(), c.duration) << c.seconds << " s at " << c.baud;
    }
}

TEST_F(TransmissionTest, KeyingSettingsApplyAtTheMomentOfEachTransmission) {
    gen.setBaud(512);
    settings.InvKey = true;
    settings.KeyDelay = 900;
    tuneUp(1, 512);
    EXPECT_EQ(first("key").value, 0x00); // active low
    EXPECT_EQ(first("release").value, 0x08);
    EXPECT_EQ(first("play").at, first("key").at + 900);
}

TEST_F(TransmissionTest, AnOutputThatThrowsIsReleasedAtOnceAndSaysWhy) {
    gen.setBaud(1200);
    output->throwOnPlay = true;
    BuildTuneUp(buffer, 1, 1200);
    const Transmitter::End e = run(SlotBuffer::FirstSlot);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "release"}));
    EXPECT_FALSE(e.sounded);
    EXPECT_EQ(e.error, "sound device gone");
}

TEST_F(TransmissionTest, ReleasedWhenDestroyedInTheMiddleOfAKeyUp) {
    // The program ends while the sound plays (its event loop will not run again).
    gen.setBaud(1200);
    BuildTuneUp(buffer, 1, 1200);
    {
        Transmitter own(keyer, gen, scheduler);
        Transmitter::KeyUp keyUp;
        keyUp.stream.assign(buffer.from(1).begin(), buffer.from(1).begin() + 40);
        keyUp.stream.push_back(EndMarker);
        ASSERT_TRUE(own.start(std::move(keyUp), [](const Transmitter::End&) {
            ADD_FAILURE() << "no one is told of a key-up ended by destruction";
        }));
        wait.DelayMs(300);
    }
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "play", "release"}));
}

TEST_F(TransmissionTest, CancelDuringPlaybackReleasesAtOnce) {
    gen.setBaud(512);
    uint32_t cancelledAt = 0;
    jumping.onPass = [&] {
        if (!log.empty() && log.back().what == "play") {
            cancelledAt = clock.now;
            tx.cancel(); // STOP
        }
    };
    tuneUp(15, 512);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "play", "release"}));
    EXPECT_EQ(first("release").at, cancelledAt); // at once, not 15 s later
    EXPECT_TRUE(end->cancelled);
    EXPECT_TRUE(gen.Stopped());
}

TEST_F(TransmissionTest, ReleaseWaitsForTheLastSampleToLeaveTheOutput) {
    gen.setBaud(1200);
    // The output reports samples in flight 300 ms beyond Duration + 100.
    jumping.onPass = [&] {
        if (output->playingUntil == 0 && !log.empty() && log.back().what == "play")
            output->playingUntil = log.back().at + 3039 + 100 + 300;
    };
    tuneUp(3, 1200);
    const uint32_t released = first("release").at;
    EXPECT_GE(released, first("play").at + 3039 + 100 + 300);
    EXPECT_LE(released, first("play").at + 3039 + 100 + 300 + Transmitter::DrainStepMs);
}

TEST_F(TransmissionTest, AStalledOutputIsReleasedAfterTheDrainLimit) {
    gen.setBaud(1200);
    jumping.onPass = [&] { output->playingUntil = UINT32_MAX; };
    tuneUp(1, 1200);
    EXPECT_EQ(first("release").at,
              first("play").at + gen.Duration() + 100 + Transmitter::MaxDrainMs);
}

TEST_F(TransmissionTest, IdentPlaysAt800AtItsLevelUntilItHasLeftAndRestoresTheGenerator) {
    gen.setBaud(2400);
    EXPECT_EQ(ident("E", 10), 9);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "play", "release"}));
    const Event& play = first("play");
    EXPECT_EQ(play.mode, PlayMode::Async);        // the window stays live, Stop can end it
    EXPECT_EQ(play.imageBytes, 44u + 361u * 96u); // 9 codewords at 800 bit/s: 361 ms
    EXPECT_EQ(play.level, bothChannels(6553));    // level 10
    EXPECT_EQ(play.at, first("key").at + 200 + 250);
    EXPECT_EQ(first("release").at, play.at + 361 + 100);
    EXPECT_TRUE(gen.Async());
    EXPECT_EQ(gen.Level(), 30);
    EXPECT_EQ(gen.Baud(), 2400);
    EXPECT_EQ(output->level, bothChannels(30 * 65535 / 100));
}

TEST_F(TransmissionTest, IdentLengths) {
    EXPECT_EQ(ident("SOS", 10), 57);
    EXPECT_EQ(gen.Duration(), 2281u);
    EXPECT_EQ(ident("GXZYX", 10), 131);
    EXPECT_EQ(gen.Duration(), 5241u);
}

TEST_F(TransmissionTest, IdentRestoresTheGeneratorWhenPlaybackThrows) {
    gen.setBaud(1200);
    output->throwOnPlay = true;
    ident("E", 10);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"key", "release"}));
    EXPECT_TRUE(gen.Async());
    EXPECT_EQ(gen.Level(), 30);
    EXPECT_EQ(gen.Baud(), 1200);
}

TEST_F(TransmissionTest, AnOutputThatIsNotReadyIsNeverKeyedFor) {
    output->notReady = "no device";
    Transmitter::KeyUp keyUp;
    keyUp.stream = {0xAAAAAAAA, EndMarker};
    EXPECT_FALSE(tx.start(std::move(keyUp), [](const Transmitter::End&) {}));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(gen.lastError(), "no device");
}

} // namespace
