// Keying: the key byte for every pin and polarity, the port each index reaches, settings read
// at every call, release on every way out of a keyed scope, and a new line taking over only
// while released.
#include "recording_port_writer.h"
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
    std::shared_ptr<RecordingPortWriter> recorder = std::make_shared<RecordingPortWriter>();
    RecordingPortWriter& port = *recorder;
    KeyingSettings settings;
    Keyer keyer{std::make_unique<ParallelPortLine>(recorder, [this] { return settings; })};
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

TEST(Keyer, RefusesAMissingLineOrSettingsProvider) {
    EXPECT_THROW(Keyer(nullptr), std::invalid_argument);
    EXPECT_THROW(ParallelPortLine(std::make_shared<RecordingPortWriter>(), nullptr),
                 std::invalid_argument);
}

/// A line that records what is asked of it.
class TraceLine : public KeyingLine {
public:
    TraceLine(std::string name, std::vector<std::string>& trace)
        : m_name(std::move(name)), m_trace(trace) {}
    bool setKeyed(bool keyed) override {
        m_trace.push_back(m_name + (keyed ? " key" : " release"));
        return succeed();
    }
    void close() override { m_trace.push_back(m_name + " close"); }
    bool isOpen() const override { return true; }
    std::string name() const override { return m_name; }

private:
    std::string m_name;
    std::vector<std::string>& m_trace;
};

TEST(Keyer, ANewLineTakesOverOnlyWhileReleasedAndHoldReleasedNeverKeysAgain) {
    std::vector<std::string> trace;
    Keyer keyer(std::make_unique<TraceLine>("A", trace));
    keyer.KeyTransmitter();
    EXPECT_FALSE(keyer.switchLine(std::make_unique<TraceLine>("B", trace)));
    EXPECT_TRUE(keyer.switchPending());
    keyer.UnkeyTransmitter(); // released on the old line, then the new one starts released
    EXPECT_EQ(keyer.line().name(), "B");
    EXPECT_TRUE(keyer.switchLine(std::make_unique<TraceLine>("C", trace)));
    keyer.holdReleased();
    keyer.KeyTransmitter();
    // A line taking over at once releases the old one again before it closes: a release that
    // failed earlier must not leave the transmitter keyed on a line nobody drives.
    EXPECT_EQ(trace,
              (std::vector<std::string>{"A key", "A release", "A close", "B release", "B release",
                                        "B close", "C release", "C release", "C release"}));
}

} // namespace
