// Keying: the key byte for every pin and polarity, the port each index reaches, settings read
// at every call, and release on every way out of a keyed scope.
#include "txcontrol/keying.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvex;
using Write = RecordingPortWriter::Write;

namespace {

TEST(KeyByte, WholeRegisterWithOnlyTheChosenPin) {
    for (int pin = 0; pin < 8; ++pin) {
        const uint8_t mask = static_cast<uint8_t>(1u << pin);
        EXPECT_EQ(keyByte(pin, false, true), mask) << pin;
        EXPECT_EQ(keyByte(pin, false, false), 0) << pin;
        EXPECT_EQ(keyByte(pin, true, true), 0) << pin;
        EXPECT_EQ(keyByte(pin, true, false), mask) << pin;
    }
    // No pin chosen (or a stored index out of range): nothing is ever driven high.
    for (int pin : {-1, 8, 42})
        for (bool inv : {false, true})
            for (bool keyed : {false, true})
                EXPECT_EQ(keyByte(pin, inv, keyed), 0);
}

struct KeyingFixture : ::testing::Test {
    RecordingPortWriter port;
    KeyingSettings settings;
    Keyer keyer{port, [this] { return settings; }};
};

TEST_F(KeyingFixture, PinD3NormalAndInvertedOnLpt1) {
    settings.Pin = 3;
    keyer.KeyTransmitter();
    keyer.UnkeyTransmitter();
    settings.InvKey = true;
    keyer.KeyTransmitter();
    keyer.UnkeyTransmitter();
    EXPECT_EQ(port.writes(),
              (std::vector<Write>{{0x378, 0x08}, {0x378, 0x00}, {0x378, 0x00}, {0x378, 0x08}}));
}

TEST_F(KeyingFixture, SettingsAreReadAtEachCall) {
    keyer.KeyTransmitter();
    settings.Port = 1;
    settings.Pin = 7;
    keyer.KeyTransmitter();
    settings.Port = -1; // no port chosen: LPT1
    settings.Pin = 0;
    settings.InvKey = true;
    keyer.UnkeyTransmitter(); // ticking InvKey with D0 releases at 0x01
    EXPECT_EQ(port.writes(), (std::vector<Write>{{0x378, 0x01}, {0x278, 0x80}, {0x378, 0x01}}));
}

TEST_F(KeyingFixture, AllowKeyingDoesNotSuppressThePortWrite) {
    settings.AllowKeying = false;
    keyer.KeyTransmitter();
    settings.AllowKeying = true;
    keyer.KeyTransmitter();
    EXPECT_EQ(port.values(), (std::vector<uint8_t>{0x01, 0x01}));
}

TEST_F(KeyingFixture, KeyedScopeReleasesOnExceptionAndOnPortFailure) {
    settings.Pin = 2;
    EXPECT_THROW(
        {
            KeyedTransmitter keyed(keyer);
            throw std::runtime_error("playback failed");
        },
        std::runtime_error);
    port.failWith(5);
    {
        KeyedTransmitter keyed(keyer); // a failing port is silent: no throw, still released
    }
    EXPECT_EQ(port.values(), (std::vector<uint8_t>{0x04, 0x00, 0x04, 0x00}));
    EXPECT_FALSE(keyer.lastStatus().success);
    EXPECT_EQ(keyer.lastStatus().errorCode, 5);
}

TEST(Keyer, RefusesAMissingSettingsProvider) {
    RecordingPortWriter port;
    EXPECT_THROW(Keyer(port, nullptr), std::invalid_argument);
}

} // namespace
