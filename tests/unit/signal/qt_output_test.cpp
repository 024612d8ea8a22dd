// The Qt Multimedia backend without a sound server: every failure is kept as text, never
// thrown, and a blocking play does not hang.
#include "signal/qt_audio_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace tarvex {
namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "signal_qt_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

class NoSoundServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Point the sound system at nothing, before Qt looks for it.
        ::setenv("PULSE_SERVER", "unix:/nonexistent/tarvex/native", 1);
        ::setenv("PULSE_CLIENTCONFIG", "/nonexistent/tarvex/client.conf", 1);
        ::setenv("ALSA_CONFIG_PATH", "/nonexistent/tarvex/alsa.conf", 1);
        app();
    }
};

std::vector<uint8_t> image(uint32_t samples) {
    std::vector<uint8_t> bytes(WavHeaderSize + samples, 255);
    writeWavHeader(bytes, samples);
    return bytes;
}

TEST_F(NoSoundServer, PlaysFailQuietlyAndKeepTheReason) {
    QtAudioOutput output;
    const auto bytes = image(9600);
    for (PlayMode mode : {PlayMode::Async, PlayMode::Loop, PlayMode::Blocking}) {
        EXPECT_FALSE(output.play(bytes, mode));
        EXPECT_FALSE(output.lastError().empty());
        EXPECT_FALSE(output.playing());
    }
    output.stop();
    output.setDeviceLevel(bothChannels(32767));
    EXPECT_EQ(output.deviceLevel(), bothChannels(32767));
}

TEST_F(NoSoundServer, TheGeneratorCarriesOnAndReportsIt) {
    auto output = std::make_shared<QtAudioOutput>();
    TSignalGen gen(output);
    std::vector<Codeword> words{PreambleCodeword, EndMarker};
    gen.setAsync(false);
    gen.setData(words);
    gen.Send();
    EXPECT_TRUE(gen.Stopped());
    EXPECT_FALSE(gen.lastError().empty());
    EXPECT_TRUE(gen.outputDrained() || !output->playing());
}

TEST_F(NoSoundServer, ImagesOfAnotherFormatAreRefused) {
    QtAudioOutput output;
    auto bytes = image(96);
    bytes[24] = 0x44; // 44100 samples per second
    bytes[25] = 0xAC;
    bytes[26] = 0x00;
    EXPECT_FALSE(output.play(bytes, PlayMode::Async));
    EXPECT_NE(output.lastError().find("96000"), std::string::npos) << output.lastError();
}

TEST_F(NoSoundServer, FactoryNamesTheQtBackend) {
    std::string error;
    auto output = makeAudioOutput("default", &error);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->name(), "qt:default");
    auto named = makeAudioOutput("qt:tarvex_null", &error);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->name(), "qt:tarvex_null");
    EXPECT_NE(makeAudioOutput("null", &error), nullptr);
    EXPECT_EQ(makeAudioOutput("bogus", &error), nullptr);
    EXPECT_NE(error.find("default"), std::string::npos);
}

} // namespace
} // namespace tarvex
