// The station engine on a fake clock: the queue keeps the order and source of what waits,
// Stop ends a transmission in every state and keeps the queue unless told otherwise, the
// page log marks pages that did not go out whole, the ident keeps its interval and waits
// for the transmitter, and backends change only while it is released.
#include "recording_output.h"
#include "station_fakes.h"
#include "txcontrol/ptt/ptt_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct FixedLogClock : LogClock {
    std::string shortDate() override { return "09/12/2026"; }
    std::string longTime() override { return "01:02:03"; }
};

/// The null sink, which can also refuse to play (no sound server), and whose last samples
/// leave 300 ms after the image's length, as a sound server's buffer makes them.
struct TestOutput : RecordingOutput {
    FakeClock* clock = nullptr;
    std::string failNextPlay;
    std::string error;
    uint32_t leftAt = 0;
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        error = std::exchange(failNextPlay, {});
        leftAt = clock->now + static_cast<uint32_t>((image.size() - 44) / 96) + 300;
        return error.empty() && RecordingOutput::play(image, mode);
    }
    void stop() override {
        leftAt = 0;
        RecordingOutput::stop();
    }
    bool playing() const override { return clock->now < leftAt; }
    std::string lastError() const override { return error; }
};

struct StationTest : ::testing::Test {
    std::shared_ptr<TestOutput> output = std::make_shared<TestOutput>();
    StationRig rig{output, std::make_shared<FixedLogClock>()};
    Station& station = *rig.station;
    std::vector<TxOutcome> ended;
    std::vector<OnAirState> states;
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tarvex-station-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());

    StationTest() {
        output->clock = &rig.clock;
        std::filesystem::create_directories(folder);
        station.subscribe([this](const StationEvent& e) {
            if (e.kind == StationEvent::Kind::Ended)
                ended.push_back(*e.outcome);
            if (e.kind == StationEvent::Kind::State)
                states.push_back(e.state);
        });
    }
    ~StationTest() override { std::filesystem::remove_all(folder); }

    /// Runs `action` once, at the first pass of the event loop in the given state.
    void whenState(OnAirState state, std::function<void()> action) {
        auto done = std::make_shared<bool>(false);
        rig.jumping.onPass = [this, state, action, done] {
            if (!*done && station.state() == state) {
                *done = true;
                action();
            }
        };
    }
    std::string logText() const { return readFile(folder / "Tarvex-LOG.txt"); }
};

TEST_F(StationTest, PagesAskedForOnAirWaitInOrderWithTheirSource) {
    whenState(OnAirState::OnAir, [this] {
        EXPECT_EQ(station.sendPage(pageJob("2", "B", TxSource::AutoSend)), SendResult::Queued);
        EXPECT_EQ(station.enqueue(pageJob("3", "C", TxSource::Network)), SendResult::Queued);
        EXPECT_EQ(station.status().queued, 2u);
        // Nothing else may start while the transmitter is busy.
        EXPECT_EQ(station.tuneUp(TuneJob{}), SendResult::Refused);
    });
    EXPECT_EQ(rig.send(pageJob("1", "A")), SendResult::Sent);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[0].ric + ended[1].ric + ended[2].ric, "123");
    EXPECT_EQ(ended[1].source, TxSource::AutoSend);
    EXPECT_EQ(ended[2].source, TxSource::Network);
    for (const auto& out : ended)
        EXPECT_TRUE(out.played) << out.ric;
    // Three key-ups, each released.
    EXPECT_EQ(rig.port->values(), (std::vector<uint8_t>{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(station.state(), OnAirState::Idle);
}

TEST_F(StationTest, StopEndsTheTransmissionInEveryStateAndNothingWaitingKeysUp) {
    rig.send(pageJob("1", std::string(200, 'x')));
    const uint32_t whole = ended.back().durationMs; // the page's length, played whole
    // A short page first, so that the generator's last Duration is not this page's.
    rig.send(pageJob("2", "x"));
    struct Case {
        OnAirState state;
        bool keyed; // the transmitter was keyed before Stop
    };
    for (const Case c : {Case{OnAirState::Preparing, false}, Case{OnAirState::Keyed, true},
                         Case{OnAirState::OnAir, true}, Case{OnAirState::Releasing, true}}) {
        ended.clear();
        rig.port->clear();
        output->clearCalls();
        const uint32_t start = rig.clock.now;
        bool dropped = false;
        whenState(c.state, [&] {
            PageJob job = pageJob("9", "queued");
            job.finished = [&](const TxOutcome& out) { dropped = !out.built; };
            station.enqueue(std::move(job));
            station.stop();
        });
        rig.send(pageJob("1", std::string(200, 'x')));
        ASSERT_EQ(ended.size(), 1u) << stateName(c.state);
        EXPECT_TRUE(ended[0].stopped);
        EXPECT_FALSE(ended[0].played);
        EXPECT_TRUE(dropped) << "the page waiting behind a stopped one is dropped";
        if (c.state == OnAirState::Keyed) { // stopped before its sound: its own length
            EXPECT_EQ(ended[0].durationMs, whole);
        }
        const auto v = rig.port->values();
        const std::size_t keyUps = std::count(v.begin(), v.end(), uint8_t{1});
        EXPECT_EQ(keyUps, c.keyed ? 1u : 0u) << stateName(c.state);
        if (!v.empty()) {
            EXPECT_EQ(v.back(), 0);
        }
        EXPECT_LT(rig.clock.now - start, 12000u) << "Stop did not cut the 200-character page";
        EXPECT_EQ(station.state(), OnAirState::Held);
    }
    // Stop while idle leaves nothing pending to cut the next page short, and the operator's
    // own pages go during the hold.
    station.stop();
    ended.clear();
    rig.send(pageJob("6", "whole"));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_TRUE(ended[0].played);
    station.resume();
    EXPECT_EQ(station.state(), OnAirState::Idle);
}

TEST_F(StationTest, ManualKeyUpIsReleasedByStopAndByAPage) {
    station.setManualKey(true);
    EXPECT_EQ(station.state(), OnAirState::ManualKey);
    station.stop();
    EXPECT_EQ(station.state(), OnAirState::Held);
    station.resume();
    // A page or a tune-up releases the line when it ends, and the lamp says so.
    for (const bool tune : {false, true}) {
        station.setManualKey(true);
        if (tune)
            rig.tuneUp(TuneJob{.seconds = 1});
        else
            rig.send(pageJob("1", "x"));
        EXPECT_EQ(station.state(), OnAirState::Idle) << tune;
        EXPECT_EQ(rig.port->values().back(), 0);
    }
}

TEST_F(StationTest, ThePageLogMarksPagesThatDidNotGoOutWhole) {
    Station::Options options;
    options.logPages = true;
    options.dataFolder = folder.string();
    station.setOptions(options);
    PageJob whole = pageJob("0001234", "sent");
    whole.log = true;
    rig.send(whole);
    PageJob cut = pageJob("0001235", "cut");
    cut.log = true;
    whenState(OnAirState::OnAir, [this] { station.stop(); });
    rig.send(cut);
    rig.jumping.onPass = nullptr;
    output->failNextPlay = "no sound server";
    PageJob lost = pageJob("0001236", "lost");
    lost.log = true;
    rig.send(lost);
    EXPECT_EQ(logText(), "0001234 - sent - 09/12/2026 - 01:02:03\r\n"
                         "0001235 - cut - 09/12/2026 - 01:02:03 - stopped\r\n"
                         "0001236 - lost - 09/12/2026 - 01:02:03 - not sent: no sound server\r\n");
    // A page the encoder refuses is neither keyed nor logged.
    PageJob refused = pageJob("12x", "refused");
    refused.log = true;
    rig.port->clear();
    EXPECT_EQ(rig.send(refused), SendResult::Failed);
    EXPECT_EQ(ended.back().refusal, Refusal::Conversion);
    // Nor a tune-up too long to build, nor an ident with nothing to send or too long.
    EXPECT_EQ(rig.tuneUp(TuneJob{.seconds = 40, .baud = 2400}), SendResult::Failed);
    station.setIdent({"- ?", 0, 10, false});
    EXPECT_FALSE(station.sendIdent(true));
    station.setIdent({std::string(30, '0'), 0, 10, false});
    EXPECT_FALSE(station.sendIdent(true));
    EXPECT_FALSE(ended.back().built);
    rig.run(1000);
    EXPECT_TRUE(rig.port->values().empty());
}

TEST(PageLogLine, ALineBreakInAMessageCannotForgeALine) {
    EXPECT_EQ(pageLogLine("1001", "Hello", "9 Dec 2026", "13:00:00"),
              "1001 - Hello - 9 Dec 2026 - 13:00:00\r\n");
    EXPECT_EQ(pageLogLine("1001", "Hello\r\n7654321 - FORGED", "9 Dec 2026", "13:00:00",
                          " - not sent: \x1b[2J"),
              "1001 - Hello\\x0d\\x0a7654321 - FORGED - 9 Dec 2026 - 13:00:00 - not sent: "
              "\\x1b[2J\r\n");
}

TEST_F(StationTest, IdentKeepsItsIntervalWaitsForThePageOnAirAndHoldsOffSend) {
    station.setIdent({"E", 1, 10, false});
    station.setIdentTimerEnabled(true);
    whenState(OnAirState::OnAir, [this] { rig.clock.now += 60000; }); // due during the page
    rig.send(pageJob("1", "long enough"));
    rig.jumping.onPass = nullptr;
    ASSERT_EQ(ended.size(), 1u) << "the ident must not cut into the page";
    SendResult during = SendResult::Sent;
    whenState(OnAirState::OnAir, [&] {
        if (station.status().identInProgress)
            during = station.sendPage(pageJob("2", "x"));
    });
    rig.run(Station::IdentRetryMs + 2000);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[1].kind, TxKind::Ident);
    EXPECT_EQ(during, SendResult::Skipped);
    EXPECT_TRUE(station.status().identTimer); // a new full interval
    // Interval 0: only a test sends it.
    station.setIdent({"E", 0, 10, false});
    EXPECT_FALSE(station.status().identTimer);
    EXPECT_FALSE(station.sendIdent());
    EXPECT_TRUE(station.sendIdent(true));
}

TEST_F(StationTest, BackendsChangeOnlyWhileReleased) {
    auto next = std::make_shared<RecordingOutput>();
    whenState(OnAirState::OnAir, [&] {
        station.setAudioOutput(next);
        EXPECT_TRUE(station.status().audioSwitchPending);
        station.setKeyingLine(std::make_unique<NoPttLine>());
        EXPECT_TRUE(station.status().keyingSwitchPending);
    });
    const auto plays = [&next] {
        return std::count_if(next->calls().begin(), next->calls().end(), [](const auto& call) {
            return call.kind == RecordingOutput::Call::Kind::Play;
        });
    };
    rig.send(pageJob("1", "x"));
    EXPECT_EQ(plays(), 0) << "the new output took over mid-page";
    EXPECT_FALSE(station.status().audioSwitchPending);
    EXPECT_EQ(station.status().keying, "none (VOX)");
    rig.send(pageJob("2", "y"));
    EXPECT_EQ(plays(), 1) << "the next page plays through the new output";
    EXPECT_EQ(rig.port->values(), (std::vector<uint8_t>{1, 0})); // keyed and released on LPT1
}

TEST_F(StationTest, CloseReleasesDropsTheQueueAndRefusesWhatComesAfter) {
    whenState(OnAirState::OnAir, [this] {
        station.enqueue(pageJob("2", "never"));
        station.close();
    });
    rig.send(pageJob("1", "x"));
    EXPECT_EQ(ended.size(), 1u);
    EXPECT_EQ(rig.send(pageJob("3", "y")), SendResult::Refused);
    station.setManualKey(true);
    EXPECT_EQ(rig.port->values().back(), 0);
}

} // namespace
