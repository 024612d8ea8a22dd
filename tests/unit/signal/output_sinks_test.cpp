// The WAV-file sink's bytes and failures, and the choice of backend by name.
#include "signal/audio_output.h"
#include "signal/null_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_file_output.h"
#include "signal/wav_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace tarvex {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WavFileOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tarvex-wav-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(WavFileOutputTest, WritesExactlyTheImageTheGeneratorWouldPlay) {
    const auto path = dir / "page.wav";
    auto sink = std::make_shared<WavFileOutput>(path.string());
    TSignalGen gen(sink);
    std::vector<Codeword> words{PreambleCodeword, 0x7CD215D8u, 0x12345678u, EndMarker};
    gen.setBaud(1200);
    gen.setData(words);
    gen.Send();
    ASSERT_TRUE(sink->lastError().empty()) << sink->lastError();
    const auto bytes = readFile(path);
    EXPECT_EQ(bytes, std::vector<uint8_t>(gen.Image().begin(), gen.Image().end()));
    EXPECT_EQ(bytes.size(), WavHeaderSize + 9600);
    EXPECT_TRUE(wavImageSamples(bytes).has_value());
    EXPECT_EQ(sink->imagesWritten(), 1);
}

TEST_F(WavFileOutputTest, ALoopIsWrittenOnceAndALaterPlayReplacesTheFile) {
    const auto path = dir / "loop.wav";
    WavFileOutput sink(path.string());
    std::vector<uint8_t> first(WavHeaderSize + 960, 255);
    writeWavHeader(first, 960);
    ASSERT_TRUE(sink.play(first, PlayMode::Loop));
    EXPECT_FALSE(sink.playing());
    EXPECT_EQ(readFile(path), first);

    std::vector<uint8_t> second(WavHeaderSize + 96, 0);
    writeWavHeader(second, 96);
    ASSERT_TRUE(sink.play(second, PlayMode::Blocking));
    EXPECT_EQ(readFile(path), second);
    EXPECT_EQ(sink.imagesWritten(), 2);
}

TEST_F(WavFileOutputTest, AFileThatCannotBeWrittenIsReportedNotThrown) {
    const auto path = dir / "missing-folder" / "x.wav";
    WavFileOutput sink(path.string());
    std::vector<uint8_t> image(WavHeaderSize + 96, 0);
    writeWavHeader(image, 96);
    EXPECT_FALSE(sink.play(image, PlayMode::Async));
    EXPECT_NE(sink.lastError().find(path.string()), std::string::npos) << sink.lastError();
    EXPECT_NE(sink.lastError().find("No such file"), std::string::npos) << sink.lastError();
    EXPECT_EQ(sink.imagesWritten(), 0);

    // The generator keeps the reason for its caller's status line.
    auto shared = std::make_shared<WavFileOutput>(path.string());
    TSignalGen gen(shared);
    std::vector<Codeword> words{PreambleCodeword, EndMarker};
    gen.setData(words);
    gen.Send();
    EXPECT_EQ(gen.lastError(), shared->lastError());
}

TEST(AudioOutputChoice, NamesPickTheCoreBackends) {
    std::string error;
    auto null = makeCoreAudioOutput("null", &error);
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->name(), "null");
    auto wav = makeCoreAudioOutput("wav:/tmp/x.wav", &error);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(wav->name(), "wav:/tmp/x.wav");

    EXPECT_EQ(makeCoreAudioOutput("wav:", &error), nullptr);
    EXPECT_NE(error.find("file name"), std::string::npos);
    EXPECT_EQ(makeCoreAudioOutput("speaker", &error), nullptr);
    EXPECT_NE(error.find("\"speaker\""), std::string::npos);
}

} // namespace
} // namespace tarvex
