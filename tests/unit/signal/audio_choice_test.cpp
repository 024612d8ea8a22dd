#include "signal/audio_choice.h"
#include "signal/null_output.h"
#include "signal/signal_gen.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(AudioChoice, StoredDeviceKeptWhileThereAndDefaultWhenGone) {
    const std::vector<std::string> available = {"Built-in Audio Analog Stereo", "USB Audio CODEC"};
    std::string note;
    EXPECT_EQ(resolveStoredDevice(available, "USB Audio CODEC", &note), "USB Audio CODEC");
    EXPECT_TRUE(note.empty());
    EXPECT_EQ(resolveStoredDevice(available, "", &note), "");
    EXPECT_TRUE(note.empty());
    // Stored by name, so a card that is gone is noticed, never replaced by whatever now sits
    // at its old place in the list.
    EXPECT_EQ(resolveStoredDevice(available, "USB Audio CODEC #2", &note), "");
    EXPECT_NE(note.find("USB Audio CODEC #2"), std::string::npos);
    EXPECT_NE(note.find("default"), std::string::npos);
}

TEST(AudioChoice, ChoiceTexts) {
    EXPECT_EQ(audioChoiceText("qt", ""), "default");
    EXPECT_EQ(audioChoiceText("qt", "USB Audio"), "qt:USB Audio");
    EXPECT_EQ(audioChoiceText("alsa", ""), "alsa");
    EXPECT_EQ(audioChoiceText("alsa", "plughw:1,0"), "alsa:plughw:1,0");
}

TEST(AudioChoice, UnknownBackendFallsBackAndSaysSo) {
    std::string note, error;
    auto output = openStoredAudioOutput("carrier-pigeon", "", &note, &error);
    ASSERT_NE(output, nullptr) << error;
    EXPECT_NE(note.find("carrier-pigeon"), std::string::npos);
}

TEST(AudioChoice, GeneratorTakesANewOutputStoppingTheOldOne) {
    auto first = std::make_shared<NullOutput>();
    auto second = std::make_shared<NullOutput>();
    TSignalGen gen(first);
    gen.setLevel(50);
    const Codeword stream[] = {0xAAAAAAAA, EndMarker};
    gen.setData(stream);
    gen.Send();
    ASSERT_FALSE(gen.Image().empty());
    gen.setOutput(second);
    EXPECT_TRUE(gen.Image().empty());
    EXPECT_TRUE(gen.Stopped());
    EXPECT_EQ(second->deviceLevel(), bothChannels(32767));
}
