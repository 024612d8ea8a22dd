// The ALSA backend with no sound card: through ALSA's file device (the bytes that reach the
// device are the image's samples, scaled as the level says) and its null device (timing,
// drained before release, stop at once, loop), plus the level's sample scaling.
#include "signal/alsa_audio_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// An image of `ms` milliseconds whose samples run through every value, so any reordering,
// loss or scaling shows.
std::vector<uint8_t> rampImage(uint32_t ms) {
    const uint32_t samples = ms * SamplesPerMs;
    std::vector<uint8_t> image(WavHeaderSize + samples);
    writeWavHeader(image, samples);
    for (uint32_t i = 0; i < samples; ++i)
        image[WavHeaderSize + i] = static_cast<uint8_t>((i * 7u) & 0xFFu);
    return image;
}

class AlsaFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tarvex-alsa-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        raw = dir / "out.raw";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string device() const { return "file:'" + raw.string() + "',raw"; }
    fs::path dir;
    fs::path raw;
};

TEST(SampleScaling, FullLevelKeepsEverySampleAndLowerLevelsScaleAroundTheMidpoint) {
    for (int s = 0; s < 256; ++s)
        EXPECT_EQ(scaleSample(static_cast<uint8_t>(s), 0xFFFF), s);
    EXPECT_EQ(scaleSample(255, 0), 128);
    EXPECT_EQ(scaleSample(0, 0), 128);
    // Level 50 (channel 32767): 255 -> 128 + 63.499 rounded, 0 -> 128 - 63.999 rounded.
    EXPECT_EQ(scaleSample(255, 32767), 191);
    EXPECT_EQ(scaleSample(0, 32767), 64);
    EXPECT_EQ(scaleSample(128, 32767), 128);
    // Level 25 (channel 16383) stays symmetric within one step.
    EXPECT_EQ(scaleSample(255, 16383), 160);
    EXPECT_EQ(scaleSample(0, 16383), 96);
    const auto table = sampleScaleTable(6553);
    for (int s = 1; s < 256; ++s)
        EXPECT_GE(table[static_cast<std::size_t>(s)], table[static_cast<std::size_t>(s - 1)]);
}

TEST_F(AlsaFileTest, ThePageReachesTheDeviceSampleForSample) {
    auto out = std::make_shared<AlsaAudioOutput>(device());
    TSignalGen gen(out);
    std::vector<Codeword> words(40, PreambleCodeword);
    words.push_back(0x7CD215D8u);
    words.push_back(0x12345678u);
    words.push_back(EndMarker);
    gen.setBaud(1200);
    gen.setData(words);
    gen.setAsync(false);
    gen.Send();
    ASSERT_TRUE(out->lastError().empty()) << out->lastError();
    EXPECT_FALSE(out->playing());
    const auto samples = wavImageSamples(gen.Image());
    ASSERT_TRUE(samples.has_value());
    const auto bytes = readFile(raw);
    ASSERT_EQ(bytes.size(), samples->size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), samples->begin()));
}

TEST_F(AlsaFileTest, TheLevelScalesTheSamplesAndTheImageIsLeftAlone) {
    AlsaAudioOutput out(device());
    const auto image = rampImage(30);
    const auto copy = image;
    out.setDeviceLevel(bothChannels(32767));
    ASSERT_TRUE(out.play(image, PlayMode::Blocking)) << out.lastError();
    EXPECT_EQ(image, copy);
    const auto bytes = readFile(raw);
    ASSERT_EQ(bytes.size(), image.size() - WavHeaderSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], scaleSample(image[WavHeaderSize + i], 32767)) << i;
    EXPECT_EQ(out.deviceLevel(), bothChannels(32767));
}

TEST_F(AlsaFileTest, AsyncPlayReturnsAtOnceAndFinishesOnItsOwn) {
    AlsaAudioOutput out(device());
    const auto image = rampImage(300);
    const auto start = Clock::now();
    ASSERT_TRUE(out.play(image, PlayMode::Async)) << out.lastError();
    EXPECT_LT(msSince(start), 100);
    while (out.playing() && msSince(start) < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(out.playing());
    EXPECT_EQ(readFile(raw).size(), image.size() - WavHeaderSize);
}

// ALSA's null device takes samples as fast as they come, so these check the modes and the
// buffer granted, not the pace (the PulseAudio test below does that).
TEST(AlsaNull, BlockingPlayReturnsDoneWithThePeriodAndBufferAskedFor) {
    AlsaAudioOutput out("null");
    const auto image = rampImage(500);
    ASSERT_TRUE(out.play(image, PlayMode::Blocking)) << out.lastError();
    EXPECT_FALSE(out.playing());
    // Near what was asked: a period short enough for Stop to act at once, a buffer long
    // enough to ride out a writer held up by a busy machine.
    EXPECT_GT(out.periodFrames(), 0u);
    EXPECT_LE(out.periodFrames(), 96u * (AlsaAudioOutput::DefaultPeriodUs / 1000u + 2u));
    EXPECT_GE(out.bufferFrames(), 96u * (AlsaAudioOutput::DefaultBufferUs / 1000u) / 2u);
    EXPECT_LE(out.bufferFrames(), 96u * (AlsaAudioOutput::DefaultBufferUs / 1000u + 10u));
}

TEST(AlsaNull, ALoopRunsUntilStopped) {
    AlsaAudioOutput out("null");
    const auto image = rampImage(100);
    ASSERT_TRUE(out.play(image, PlayMode::Loop)) << out.lastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(out.playing());
    const auto start = Clock::now();
    out.stop();
    EXPECT_LT(msSince(start), 30);
    EXPECT_FALSE(out.playing());
    out.stop(); // harmless when nothing plays
}

TEST(AlsaErrors, BadDeviceOrImageIsRefusedWithAReason) {
    AlsaAudioOutput missing("tarvex_no_such_device");
    const auto image = rampImage(10);
    EXPECT_FALSE(missing.play(image, PlayMode::Async));
    EXPECT_FALSE(missing.playing());
    EXPECT_NE(missing.lastError().find("ALSA device \"tarvex_no_such_device\": opening: "),
              std::string::npos)
        << missing.lastError();
    EXPECT_EQ(missing.name(), "alsa:tarvex_no_such_device");

    AlsaAudioOutput null("null");
    std::vector<uint8_t> notWav(100, 0x55);
    EXPECT_FALSE(null.play(notWav, PlayMode::Blocking));
    EXPECT_FALSE(null.lastError().empty());
    ASSERT_TRUE(null.play(image, PlayMode::Blocking));
    EXPECT_TRUE(null.lastError().empty());
}

TEST(AlsaDevices, OnlyWaysToASoundCardAreListed) {
    const auto names = AlsaAudioOutput::deviceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "default"), names.end());
    for (const char* plugin : {"lavrate", "samplerate", "jack", "oss", "upmix"})
        EXPECT_EQ(std::find(names.begin(), names.end(), plugin), names.end()) << plugin;
    for (const char* card : {"plughw:CARD=PCH,DEV=0", "sysdefault:CARD=Device", "pulse", "null"})
        EXPECT_TRUE(isListedAlsaDevice(card)) << card;
    EXPECT_FALSE(isListedAlsaDevice("surround51:CARD=PCH,DEV=0"));
}

} // namespace
} // namespace tarvex

namespace tarvex {
namespace {

TEST(AlsaChoice, TheFactoryBuildsTheAlsaBackendByName) {
    std::string error;
    auto named = makeAudioOutput("alsa:plughw:1,0", &error);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->name(), "alsa:plughw:1,0");
    auto fallback = makeAudioOutput("alsa", &error);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->name(), "alsa:default");
    EXPECT_EQ(makeAudioOutput("alsa:", &error), nullptr);
    EXPECT_NE(error.find("alsa:DEVICE"), std::string::npos);
    // Through the factory, ALSA's null device plays a page with no card at all.
    auto null = makeAudioOutput("alsa:null", &error);
    ASSERT_NE(null, nullptr);
    std::vector<uint8_t> image(WavHeaderSize + 960, 255);
    writeWavHeader(image, 960);
    EXPECT_TRUE(null->play(image, PlayMode::Blocking)) << null->lastError();
}

} // namespace
} // namespace tarvex
