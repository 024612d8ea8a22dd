// CM108 GPIO keying: the exact HID output report for every pin and level, release at
// opening and closing, and the failures an operator meets.
#include "fake_posix_io.h"
#include "txcontrol/ptt/cm108_ptt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

using namespace tarvex;
using tarvex::test::FakePosixIo;
using tarvex::test::StationLine;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(Cm108Report, DataAndDirectionBitsOfTheChosenPinOnly) {
    EXPECT_EQ(cm108Report(3, true), (std::array<uint8_t, 4>{0x00, 0x00, 0x04, 0x04}));
    EXPECT_EQ(cm108Report(3, false), (std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x04}));
    EXPECT_EQ(cm108Report(1, true), (std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x01}));
    EXPECT_EQ(cm108Report(8, true), (std::array<uint8_t, 4>{0x00, 0x00, 0x80, 0x80}));
    EXPECT_EQ(cm108Report(4, false), (std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x08}));
}

TEST(Cm108Ptt, DefaultPinThreeKeyedAndReleased) {
    FakePosixIo io;
    {
        StationLine ptt(std::make_unique<Cm108Ptt>("/dev/hidraw2", Cm108DefaultPin, io), nullptr);
        ASSERT_TRUE(ptt.lastStatus().success) << ptt.lastStatus().text;
        ptt.key();
        EXPECT_EQ(ptt.name(), "CM108 GPIO3 /dev/hidraw2");
    }
    ASSERT_EQ(io.named("open").size(), 1u);
    EXPECT_EQ(io.named("open")[0].path, "/dev/hidraw2");
    EXPECT_EQ(io.named("open")[0].flags & O_ACCMODE, O_WRONLY);
    std::vector<Bytes> reports;
    for (const auto& w : io.named("write"))
        reports.push_back(w.data);
    EXPECT_EQ(reports, (std::vector<Bytes>{{0, 0, 0x00, 0x04},    // released at opening
                                           {0, 0, 0x04, 0x04},    // keyed
                                           {0, 0, 0x00, 0x04}})); // released at closing
    EXPECT_EQ(io.calls.back().what, "close");
}

TEST(Cm108Ptt, InvertedKeyingDrivesThePinLowWhenKeyed) {
    FakePosixIo io;
    {
        StationLine ptt(std::make_unique<Cm108Ptt>("/dev/hidraw0", 1, io), [] { return true; });
        ptt.key();
    }
    const auto writes = io.named("write");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].data, (Bytes{0, 0, 0x01, 0x01}));
    EXPECT_EQ(writes[1].data, (Bytes{0, 0, 0x00, 0x01}));
    EXPECT_EQ(writes[2].data, (Bytes{0, 0, 0x01, 0x01}));
}

TEST(Cm108Ptt, PinOutOfRangeIsRefusedWithoutOpening) {
    FakePosixIo io;
    for (int pin : {0, 9, -3}) {
        Cm108Ptt line("/dev/hidraw0", pin, io);
        EXPECT_FALSE(line.setLine(false));
        EXPECT_EQ(line.lastStatus().errorCode, EINVAL);
        EXPECT_NE(line.lastStatus().text.find("from 1 to 8"), std::string::npos);
    }
    EXPECT_TRUE(io.calls.empty());
}

TEST(Cm108Ptt, FailuresCarryAHintAndTheDeviceIsOpenedAgainLater) {
    FakePosixIo io;
    io.failNext("open", EACCES);
    Cm108Ptt line("/dev/hidraw1", 3, io);
    EXPECT_FALSE(line.setLine(false));
    EXPECT_NE(line.lastStatus().text.find("cannot open /dev/hidraw1: Permission denied \u2014 "
                                          "give the user write access"),
              std::string::npos);

    ASSERT_TRUE(line.setLine(false));
    io.failNext("write", ENODEV);
    EXPECT_FALSE(line.setLine(true));
    EXPECT_FALSE(line.isOpen());
    EXPECT_NE(line.lastStatus().text.find("unplugged"), std::string::npos);

    // A device that takes fewer bytes than the report is not a CM108.
    io.shortWrite = 2;
    EXPECT_FALSE(line.setLine(true));
    EXPECT_EQ(line.lastStatus().errorCode, EIO);
    EXPECT_NE(line.lastStatus().text.find("does not take the CM108 GPIO report"),
              std::string::npos);
    EXPECT_FALSE(line.isOpen());
    io.shortWrite = -1;
    EXPECT_TRUE(line.setLine(true));
    EXPECT_EQ(io.named("open").size(), 4u);
}

} // namespace
