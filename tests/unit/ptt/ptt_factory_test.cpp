// Keying method names and the backend each one builds.
#include "cli/help_text.h"
#include "recording_port_writer.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"
#ifdef TARVEX_HAVE_HAMLIB
#include "txcontrol/ptt/hamlib_ptt.h"
#endif

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

TEST(PttFactory, EveryMethodNameIsFoundAndOthersAreRefused) {
    // Stored settings and scripts name the methods: the names and their order stay.
    EXPECT_EQ(pttMethodNames("|"), "parallel|none|serial-rts|serial-dtr|cm108|gpio|hamlib");
    for (const PttMethodInfo& m : pttMethods())
        EXPECT_EQ(findPttMethod(m.name), &m);
    EXPECT_EQ(findPttMethod("Serial-RTS")->name, "serial-rts");
    for (const char* bad : {"", "rts", "serial", "cm108 ", "lpt1"})
        EXPECT_EQ(findPttMethod(bad), nullptr) << bad;
    EXPECT_EQ(pttMethod("laser").name, DefaultPttMethod);
}

// tarvex-cli's help is a fixed text (the render commands link no keying code): a method
// added to the table must be named there too.
TEST(PttFactory, HelpNamesEveryMethod) {
    const std::string_view help = cli::HelpText;
    const auto from = help.find("\n  --ptt METHOD"), to = help.find("\n  --ptt-device DEV");
    ASSERT_LT(from, to);
    for (const PttMethodInfo& m : pttMethods())
        EXPECT_NE(help.substr(from, to - from).find(m.name), std::string_view::npos) << m.name;
}

TEST(PttFactory, BuildsTheBackendOfEachMethod) {
    std::string error;
    PttSettings s;
    s.device = "/dev/ttyUSB0";
    s.method = "serial-dtr";
    EXPECT_EQ(makePttLine(s, &error)->name(), "serial DTR /dev/ttyUSB0");
    s.method = "cm108";
    s.device = "/dev/hidraw1";
    s.cm108Pin = 2;
    EXPECT_EQ(makePttLine(s, &error)->name(), "CM108 GPIO2 /dev/hidraw1");
    s.method = "none";
    EXPECT_EQ(makePttLine(s, &error)->name(), "none (VOX)");
#ifdef TARVEX_HAVE_GPIOD
    s.method = "gpio";
    s.device = "gpiochip0";
    s.gpioLine = 17;
    EXPECT_EQ(makePttLine(s, &error)->name(), "GPIO gpiochip0 line 17");
#endif
#ifdef TARVEX_HAVE_HAMLIB
    s.method = "hamlib";
    s.device.clear();
    s.rigModel = 1;
    EXPECT_EQ(makePttLine(s, &error)->name(), "rig CAT model 1");
#endif
}

TEST(PttFactory, RefusesWhatItCannotBuild) {
    std::string error;
    PttSettings s;
    EXPECT_EQ(makePttLine(s, &error), nullptr);
    EXPECT_FALSE(error.empty());
    s.method = "serial-rts";
    EXPECT_EQ(makePttLine(s, &error), nullptr);
    EXPECT_EQ(error, "keying method serial-rts needs a device name");
    EXPECT_EQ(makePttLine(s, nullptr), nullptr);
}

} // namespace

namespace {

#ifdef TARVEX_HAVE_HAMLIB
// The factory's line for a method: the dummy rig's PTT follows KeyTransmitter and
// UnkeyTransmitter with InvKey applied once, read at every call.
TEST(PttFactory, KeyerKeysTheDummyRigThroughTheFactorysLine) {
    PttSettings s;
    s.method = "hamlib";
    s.rigModel = 1;
    KeyingSettings keying;
    auto line = makeKeyingLine(s, nullptr, "", [&keying] { return keying; });
    auto& rig = dynamic_cast<HamlibPtt&>(*line);
    Keyer keyer(std::move(line));
    keyer.UnkeyTransmitter();
    EXPECT_EQ(rig.readBack(), false);
    keyer.KeyTransmitter();
    EXPECT_TRUE(keyer.lastStatus().success) << keyer.lastStatus().text;
    EXPECT_EQ(rig.readBack(), true);
    keyer.UnkeyTransmitter();
    EXPECT_EQ(rig.readBack(), false);
    keying.InvKey = true;
    keyer.UnkeyTransmitter();
    EXPECT_EQ(rig.readBack(), true);
    keyer.KeyTransmitter();
    EXPECT_EQ(rig.readBack(), false);
}
#endif

TEST(PttFactory, AMethodThatCannotBeSetUpGivesALineThatSaysWhy) {
    PttSettings s;
    s.method = "cm108";
    auto line = makeKeyingLine(s, nullptr, "", [] { return KeyingSettings{}; });
    EXPECT_FALSE(line->setKeyed(true));
    EXPECT_EQ(line->lastStatus().text, "keying method cm108 needs a device name");
    EXPECT_EQ(line->name(), "CM108 GPIO pin 3");
    s.method = "parallel";
    auto port = std::make_shared<RecordingPortWriter>();
    auto parallel = makeKeyingLine(s, port, "record x", [] { return KeyingSettings{}; });
    EXPECT_TRUE(parallel->setKeyed(true));
    EXPECT_EQ(parallel->name(), "LPT1 record x");
    EXPECT_EQ(port->values(), std::vector<uint8_t>{0x01});
}

} // namespace
