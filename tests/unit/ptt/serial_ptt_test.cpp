// Serial RTS/DTR keying: the exact modem-line calls for each line and polarity, release at
// opening and closing, and the status texts of the failures an operator meets.
#include "fake_posix_io.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"
#include "txcontrol/ptt/serial_ptt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>

using namespace tarvex;
using tarvex::test::FakePosixIo;
using tarvex::test::IoCall;
using tarvex::test::StationLine;

namespace {

IoCall lineCall(unsigned long request, int bit) {
    return {"ioctl", 7, request, bit, {}, {}, 0};
}

std::unique_ptr<StationLine> serialSwitch(FakePosixIo& io, SerialPttLine which, bool& inverted) {
    return std::make_unique<StationLine>(std::make_unique<SerialPtt>("/dev/ttyUSB0", which, io),
                                         [&inverted] { return inverted; });
}

TEST(SerialPtt, RtsKeyingTouchesOnlyRts) {
    FakePosixIo io;
    bool inverted = false;
    {
        auto ptt = serialSwitch(io, SerialPttLine::Rts, inverted);
        ASSERT_TRUE(ptt->lastStatus().success) << ptt->lastStatus().text;
        EXPECT_TRUE(ptt->key());
        EXPECT_TRUE(ptt->release());
        EXPECT_EQ(ptt->name(), "serial RTS /dev/ttyUSB0");
    }
    ASSERT_EQ(io.calls.size(), 7u);
    EXPECT_EQ(io.calls[0].what, "open");
    EXPECT_EQ(io.calls[0].path, "/dev/ttyUSB0");
    EXPECT_EQ(io.calls[0].flags & O_NOCTTY, O_NOCTTY);
    EXPECT_EQ(io.calls[0].flags & O_ACCMODE, O_RDWR);
    // Released straight after opening, then HUPCL cleared, key, release, release at close.
    EXPECT_EQ(io.calls[1], lineCall(TIOCMBIC, TIOCM_RTS));
    EXPECT_EQ(io.calls[2].what, "keepLines");
    EXPECT_EQ(io.calls[3], lineCall(TIOCMBIS, TIOCM_RTS));
    EXPECT_EQ(io.calls[4], lineCall(TIOCMBIC, TIOCM_RTS));
    EXPECT_EQ(io.calls[5], lineCall(TIOCMBIC, TIOCM_RTS));
    EXPECT_EQ(io.calls[6], (IoCall{"close", 7, 0, 0, {}, {}, 0}));
}

TEST(SerialPtt, InvertedDtrKeyingTouchesOnlyDtr) {
    FakePosixIo io;
    bool inverted = true;
    {
        auto ptt = serialSwitch(io, SerialPttLine::Dtr, inverted);
        ptt->key();
        ptt->release();
    }
    const auto ioctls = io.named("ioctl");
    ASSERT_EQ(ioctls.size(), 4u);
    // Active low: released is asserted, keyed is de-asserted.
    EXPECT_EQ(ioctls[0], lineCall(TIOCMBIS, TIOCM_DTR));
    EXPECT_EQ(ioctls[1], lineCall(TIOCMBIC, TIOCM_DTR));
    EXPECT_EQ(ioctls[2], lineCall(TIOCMBIS, TIOCM_DTR));
    EXPECT_EQ(ioctls[3], lineCall(TIOCMBIS, TIOCM_DTR));
}

TEST(SerialPtt, PolarityChangeAppliesAtTheNextCall) {
    FakePosixIo io;
    bool inverted = false;
    auto ptt = serialSwitch(io, SerialPttLine::Rts, inverted);
    inverted = true;
    ptt->release();
    EXPECT_EQ(io.named("ioctl").back(), lineCall(TIOCMBIS, TIOCM_RTS));
}

TEST(SerialPtt, OpenFailuresKeepReasonAndHintAndRetry) {
    FakePosixIo io;
    io.failNext("open", EACCES);
    bool inverted = false;
    auto ptt = serialSwitch(io, SerialPttLine::Rts, inverted);
    EXPECT_FALSE(ptt->lastStatus().success);
    EXPECT_EQ(ptt->lastStatus().errorCode, EACCES);
    EXPECT_EQ(ptt->lastStatus().text,
              "cannot open /dev/ttyUSB0: Permission denied \u2014 add the user to the dialout "
              "group");
    EXPECT_TRUE(io.named("ioctl").empty());

    io.failNext("open", ENOENT);
    EXPECT_FALSE(ptt->key());
    EXPECT_NE(ptt->lastStatus().text.find("plugged in"), std::string::npos);

    // The device is back: the next call opens it and keys.
    EXPECT_TRUE(ptt->key());
    EXPECT_EQ(io.named("ioctl"), (std::vector<IoCall>{lineCall(TIOCMBIS, TIOCM_RTS)}));
}

TEST(SerialPtt, NotASerialPortIsRefusedAndClosed) {
    FakePosixIo io;
    io.failNext("ioctl", ENOTTY);
    bool inverted = false;
    auto ptt = serialSwitch(io, SerialPttLine::Dtr, inverted);
    EXPECT_FALSE(ptt->lastStatus().success);
    EXPECT_EQ(ptt->lastStatus().text, "serial DTR /dev/ttyUSB0: Inappropriate ioctl for device "
                                      "\u2014 this is not a serial port, or it has no modem lines");
    EXPECT_FALSE(ptt->line().isOpen());
    EXPECT_EQ(io.named("close").size(), 1u);
}

TEST(SerialPtt, UnpluggedAdapterClosesAndReopensOnTheNextCall) {
    FakePosixIo io;
    bool inverted = false;
    auto ptt = serialSwitch(io, SerialPttLine::Rts, inverted);
    io.failNext("ioctl", EIO);
    EXPECT_FALSE(ptt->key());
    EXPECT_NE(ptt->lastStatus().text.find("unplugged"), std::string::npos);
    EXPECT_FALSE(ptt->line().isOpen());
    EXPECT_TRUE(ptt->key());
    EXPECT_TRUE(ptt->line().isOpen());
    EXPECT_EQ(io.named("open").size(), 2u);
    EXPECT_EQ(io.named("ioctl").back(), (IoCall{"ioctl", 8, TIOCMBIS, TIOCM_RTS, {}, {}, 0}));
}

TEST(SerialPtt, KeyerDrivesTheLineWithThePolarityOfTheKeyingSettings) {
    FakePosixIo io;
    KeyingSettings settings;
    settings.InvKey = true;
    const PttSettings serial{"serial-rts", "/dev/ttyUSB1", 3, 0, 1, 0};
    auto line = makePttLine(serial, nullptr);
    ASSERT_NE(line, nullptr);
    auto own = std::make_unique<SerialPtt>("/dev/ttyUSB1", SerialPttLine::Rts, io);
    own->setInverted([&settings] { return settings.InvKey; });
    Keyer keyer(std::move(own));
    keyer.UnkeyTransmitter();
    { KeyedTransmitter keyed(keyer); }
    const auto ioctls = io.named("ioctl");
    ASSERT_EQ(ioctls.size(), 3u);
    EXPECT_EQ(ioctls[0].request, TIOCMBIS); // released at opening (active low)
    EXPECT_EQ(ioctls[1].request, TIOCMBIC); // keyed
    EXPECT_EQ(ioctls[2].request, TIOCMBIS); // released at the end of the scope
    EXPECT_TRUE(keyer.lastStatus().success);

    io.failNext("ioctl", EIO);
    keyer.KeyTransmitter();
    EXPECT_FALSE(keyer.lastStatus().success);
    EXPECT_EQ(keyer.lastStatus().errorCode, EIO);
}

TEST(NoPtt, AlwaysSucceedsAndTouchesNothing) {
    StationLine ptt(std::make_unique<NoPttLine>(), nullptr);
    EXPECT_TRUE(ptt.key());
    EXPECT_TRUE(ptt.lastStatus().success);
    EXPECT_EQ(ptt.name(), "none (VOX)");
}

} // namespace

namespace {

// The operating system's own calls: a device without modem lines is refused with the
// reason, and the descriptor is not kept.
TEST(SerialPtt, RealCallsRefuseADeviceWithoutModemLines) {
    SerialPtt line("/dev/null", SerialPttLine::Rts);
    EXPECT_FALSE(line.setLine(false));
    EXPECT_EQ(line.lastStatus().errorCode, ENOTTY);
    EXPECT_FALSE(line.isOpen());
    SerialPtt missing("/nonexistent/ttyUSB9", SerialPttLine::Dtr);
    EXPECT_FALSE(missing.setLine(true));
    EXPECT_EQ(missing.lastStatus().errorCode, ENOENT);
}

} // namespace
