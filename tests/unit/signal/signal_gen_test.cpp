// TSignalGen against a recording output: stream reading, Send's modes, the level rules,
// the process-wide saved level, release timing and the refused streams.
#include "recording_output.h"
#include "sample_decoding.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tarvex {
namespace {

using Kind = test::RecordingOutput::Call::Kind;

class SignalGenTest : public ::testing::Test {
protected:
    std::shared_ptr<test::RecordingOutput> out = std::make_shared<test::RecordingOutput>();

    std::vector<Kind> kinds() const {
        std::vector<Kind> k;
        for (const auto& c : out->calls())
            k.push_back(c.kind);
        return k;
    }
    std::vector<test::RecordingOutput::Call> plays() const {
        std::vector<test::RecordingOutput::Call> p;
        for (const auto& c : out->calls())
            if (c.kind == Kind::Play)
                p.push_back(c);
        return p;
    }
    DeviceLevel lastLevel() const {
        for (auto it = out->calls().rbegin(); it != out->calls().rend(); ++it)
            if (it->kind == Kind::SetLevel)
                return it->level;
        return 0xDEADBEEF;
    }
    bool levelCallSinceClear() const {
        return std::any_of(out->calls().begin(), out->calls().end(),
                           [](const auto& c) { return c.kind == Kind::SetLevel; });
    }
};

std::vector<Codeword> streamOf(std::size_t count, Codeword fill = PreambleCodeword) {
    std::vector<Codeword> words(count, fill);
    words.push_back(EndMarker);
    return words;
}

TEST_F(SignalGenTest, StartsWithItsDefaults) {
    TSignalGen gen(out);
    EXPECT_EQ(gen.Baud(), 256);
    EXPECT_EQ(gen.Duration(), 1000u);
    EXPECT_TRUE(gen.Async());
    EXPECT_FALSE(gen.Loop());
    EXPECT_TRUE(gen.Inverted());
    EXPECT_EQ(gen.Level(), 100);
    EXPECT_TRUE(gen.Stopped());
    EXPECT_TRUE(gen.Image().empty());
    EXPECT_TRUE(gen.outputDrained());
}

TEST_F(SignalGenTest, DurationAndLevelSettersKeepTheirRanges) {
    TSignalGen gen(out);
    gen.setDuration(50);
    EXPECT_EQ(gen.Duration(), 100u);
    gen.setDuration(70000);
    EXPECT_EQ(gen.Duration(), 70000u);
    gen.setLevel(150);
    EXPECT_EQ(gen.Level(), 100);
    gen.setLevel(-5);
    EXPECT_EQ(gen.Level(), 0);
    gen.setLevel(40000);
    EXPECT_EQ(gen.Level(), 100);
}

TEST_F(SignalGenTest, PresetVolumeSetsBothChannelsFromLevel) {
    TSignalGen gen(out);
    const std::pair<int, uint16_t> table[] = {
        {100, 65535}, {50, 32767}, {10, 6553}, {1, 655}, {0, 0}};
    for (auto [level, channel] : table) {
        gen.setLevel(level);
        gen.PresetVolume();
        EXPECT_EQ(out->deviceLevel(), bothChannels(channel)) << level;
    }
}

TEST_F(SignalGenTest, SendReadsUpToTheMarkerAndLeavesDataOnIt) {
    TSignalGen gen(out);
    auto words = streamOf(5);
    words.push_back(0x12345678); // beyond the marker: never read
    gen.setBaud(1200);
    gen.setData(words);
    gen.Send();
    ASSERT_EQ(gen.Data().data(), words.data() + 5);
    EXPECT_EQ(gen.Data().front(), EndMarker);
    EXPECT_EQ(gen.Duration(), 134u); // 5 * 32 * 833 us
    EXPECT_EQ(gen.Image().size(), WavHeaderSize + 134 * 96);

    // Sending again without new Data renders the empty stream: 100 ms at the 0 level.
    gen.Send();
    EXPECT_EQ(gen.Duration(), 100u);
    ASSERT_EQ(gen.Image().size(), WavHeaderSize + 9600);
    const auto samples = gen.Image().subspan(WavHeaderSize);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](uint8_t s) { return s == 255; }));
}

TEST_F(SignalGenTest, ImageIsTheHeaderAndTheRenderedStream) {
    TSignalGen gen(out);
    const auto words = streamOf(80, 0x7CD215D8u);
    gen.setBaud(512);
    gen.setInverted(false);
    gen.setData(words);
    ASSERT_TRUE(gen.BuildImage());
    EXPECT_EQ(gen.Duration(), 5000u);
    const auto image = gen.Image();
    ASSERT_EQ(image.size(), WavHeaderSize + 480000);
    const auto samples = wavImageSamples(image);
    ASSERT_TRUE(samples.has_value());
    EXPECT_EQ(samples->size(), 480000u);
    const auto bits = test::decodeBits(*samples, 512, false, 80 * 32);
    ASSERT_TRUE(bits.has_value());
    EXPECT_EQ(*bits, test::streamBits(std::span(words).first(80)));
}

TEST_F(SignalGenTest, SendPlaysInTheModeOfLoopThenAsync) {
    TSignalGen gen(out);
    const auto words = streamOf(2);
    struct Case {
        bool async, loop;
        PlayMode mode;
        bool stoppedAfter;
    };
    for (const Case& c :
         {Case{true, false, PlayMode::Async, false}, Case{false, true, PlayMode::Loop, false},
          Case{true, true, PlayMode::Loop, false}, Case{false, false, PlayMode::Blocking, true}}) {
        gen.setAsync(c.async);
        gen.setLoop(c.loop);
        gen.setData(words);
        out->clearCalls();
        gen.Send();
        // Level, the old image silenced before it goes, Stop, level again, play.
        EXPECT_EQ(kinds(), (std::vector{Kind::SetLevel, Kind::Stop, Kind::Stop, Kind::SetLevel,
                                        Kind::Play}));
        ASSERT_EQ(plays().size(), 1u);
        EXPECT_EQ(plays()[0].mode, c.mode);
        EXPECT_EQ(plays()[0].image, std::vector<uint8_t>(gen.Image().begin(), gen.Image().end()));
        EXPECT_EQ(gen.Stopped(), c.stoppedAfter);
    }
}

TEST_F(SignalGenTest, LevelReachesTheOutputAtOnceOnlyWhenStoppedOrLoading) {
    TSignalGen gen(out);
    const auto words = streamOf(2);
    gen.setData(words);
    gen.Send(); // asynchronous: Stopped stays false
    ASSERT_FALSE(gen.Stopped());
    out->clearCalls();
    gen.setLevel(50);
    EXPECT_FALSE(levelCallSinceClear());
    EXPECT_EQ(gen.Level(), 50);

    gen.setLoading(true);
    gen.setLevel(40);
    EXPECT_EQ(lastLevel(), bothChannels(26214));
    gen.setLoading(false);

    gen.setData(words);
    out->clearCalls();
    gen.Send(); // the stored level goes out first
    EXPECT_EQ(out->calls().front().level, bothChannels(26214));

    gen.Stop();
    EXPECT_TRUE(gen.Stopped());
    out->clearCalls();
    gen.setLevel(10);
    EXPECT_EQ(lastLevel(), bothChannels(6553));

    gen.setAsync(false);
    gen.setData(words);
    gen.Send();
    out->clearCalls();
    gen.setLevel(1);
    EXPECT_EQ(lastLevel(), bothChannels(655));
}

TEST_F(SignalGenTest, StopWhileIdleOnlySetsStopped) {
    TSignalGen gen(out);
    out->clearCalls();
    gen.Stop();
    EXPECT_TRUE(gen.Stopped());
    EXPECT_EQ(kinds(), std::vector{Kind::Stop});
    EXPECT_FALSE(out->playing());
}

TEST(SignalGenLifetime, FirstCreationSavesTheLevelAndLastDestructionRestoresIt) {
    ASSERT_EQ(TSignalGen::liveCount(), 0);
    auto first = std::make_shared<test::RecordingOutput>(0x9999'1234u);
    auto second = std::make_shared<test::RecordingOutput>(0x4321'4321u);
    {
        auto a = std::make_unique<TSignalGen>(first);
        EXPECT_EQ(TSignalGen::savedDeviceLevel(), 0x1234); // left half only
        EXPECT_EQ(first->deviceLevel(), 0xFFFFFFFFu);      // full level until Level is set
        auto b = std::make_unique<TSignalGen>(second);
        EXPECT_EQ(TSignalGen::liveCount(), 2);
        EXPECT_EQ(TSignalGen::savedDeviceLevel(), 0x1234);
        EXPECT_TRUE(second->calls().empty()); // only the first creation touches the level
        a->setLevel(30);
        a.reset();
        EXPECT_EQ(first->deviceLevel(), bothChannels(19660)); // not restored yet
        b.reset();
        EXPECT_EQ(second->deviceLevel(), 0x1234'1234u);
    }
    EXPECT_EQ(TSignalGen::liveCount(), 0);
}

TEST_F(SignalGenTest, DestructionSilencesTheOutput) {
    {
        TSignalGen gen(out);
        gen.setLoop(true);
        const auto words = streamOf(1);
        gen.setData(words);
        gen.Send();
        EXPECT_TRUE(out->playing());
    }
    EXPECT_FALSE(out->playing());
}

TEST_F(SignalGenTest, ReleaseWaitsForDurationPlus100AndTheLastSample) {
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    TSignalGen gen(out);
    gen.setClock([&] { return now; });
    const auto words = streamOf(80);
    gen.setBaud(512);
    gen.setData(words);
    gen.Send();
    ASSERT_EQ(gen.Duration(), 5000u);
    now += std::chrono::milliseconds(5099);
    EXPECT_FALSE(gen.outputDrained());
    now += std::chrono::milliseconds(1);
    EXPECT_TRUE(gen.outputDrained());
    out->setPlaying(true); // the output still has samples to play
    EXPECT_FALSE(gen.outputDrained());
    out->setPlaying(false);
    EXPECT_TRUE(gen.outputDrained());

    gen.setLoop(true);
    gen.setData(words);
    gen.Send();
    now += std::chrono::seconds(60);
    EXPECT_FALSE(gen.outputDrained()); // a loop plays on until Stop
    gen.Stop();
    EXPECT_TRUE(gen.outputDrained());
}

TEST_F(SignalGenTest, AStreamBeyondTheWorkingCopyIsRefusedNotCut) {
    TSignalGen gen(out);
    gen.setBaud(2400);
    const auto fits = streamOf(MaxStreamCodewords);
    gen.setData(fits);
    ASSERT_TRUE(gen.BuildImage());
    EXPECT_EQ(gen.Duration(), streamDurationMs(2400, 1137));

    const auto tooLong = streamOf(MaxStreamCodewords + 1);
    gen.setData(tooLong);
    out->clearCalls();
    gen.Send();
    EXPECT_TRUE(gen.Image().empty()); // the previous image is gone as well
    EXPECT_TRUE(plays().empty());
    EXPECT_EQ(gen.Duration(), 100u);
    EXPECT_NE(gen.lastError().find("1137"), std::string::npos) << gen.lastError();
    EXPECT_NE(gen.lastError().find("1138"), std::string::npos) << gen.lastError();
    EXPECT_EQ(gen.Data().front(), EndMarker);
}

TEST_F(SignalGenTest, AStreamWithoutMarkerIsNeverReadPastItsMemory) {
    TSignalGen gen(out);
    std::vector<Codeword> memory(40, PreambleCodeword); // no EndMarker at all
    gen.setData(std::span(memory).first(20));
    EXPECT_FALSE(gen.BuildImage());
    EXPECT_TRUE(gen.Image().empty());
    EXPECT_NE(gen.lastError().find("no end marker"), std::string::npos);
    EXPECT_TRUE(gen.Data().empty());

    TSignalGen unset(out); // Data never set
    EXPECT_FALSE(unset.BuildImage());
}

TEST_F(SignalGenTest, RatesBelowTwoAreRefusedWithAReason) {
    TSignalGen gen(out);
    const auto words = streamOf(3);
    for (int16_t baud : {int16_t{1}, int16_t{0}, int16_t{-2400}}) {
        gen.setBaud(baud);
        EXPECT_EQ(gen.Baud(), baud); // stored as given
        gen.setData(words);
        out->clearCalls();
        gen.Send();
        EXPECT_TRUE(plays().empty()) << baud;
        EXPECT_TRUE(gen.Image().empty()) << baud;
        EXPECT_NE(gen.lastError().find("bit rate " + std::to_string(baud)), std::string::npos)
            << gen.lastError();
    }
    gen.setBaud(2);
    gen.setData(words);
    EXPECT_TRUE(gen.BuildImage());
    EXPECT_EQ(gen.Duration(), 48001u); // 500000 us * 96 bits
}

TEST_F(SignalGenTest, APlayFailureIsKeptAsTheError) {
    TSignalGen gen(out);
    out->failPlaysWith("device gone");
    const auto words = streamOf(2);
    gen.setData(words);
    gen.Send();
    EXPECT_EQ(gen.lastError(), "device gone");
    EXPECT_FALSE(gen.Stopped());
    out->failPlaysWith({});
    gen.setData(words);
    gen.Send();
    EXPECT_TRUE(gen.lastError().empty());
}

} // namespace
} // namespace tarvex
