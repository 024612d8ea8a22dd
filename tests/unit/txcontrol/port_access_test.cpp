// Port access: the driver protocol's pure parts, the component's open/closed rules and the
// Linux device path with its failure texts. No test here writes a real I/O port.
#include "txcontrol/port_access.h"
#include "txcontrol/ppdev.h"
#include "txcontrol/system_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

using namespace tarvex;

namespace {

TEST(DriverProtocol, WriteRequestIsPortLittleEndianValueAndZero) {
    EXPECT_EQ(portWriteRequest(0x378, 0x04), (std::array<uint8_t, 4>{0x78, 0x03, 0x04, 0x00}));
    EXPECT_EQ(portWriteRequest(0x278, 0xFF), (std::array<uint8_t, 4>{0x78, 0x02, 0xFF, 0x00}));
}

TEST(DriverProtocol, ControlCodesDependOnPlatformKind) {
    const std::array<uint32_t, 6> nt = {0xF1006404, 0xF100A408, 0xF100640C,
                                        0xF100A410, 0xF1006414, 0xF100A418};
    EXPECT_EQ(portControlCodes(4), nt);
    EXPECT_EQ(portControlCodes(5), nt);
    for (int kind : {0, 1, 2, 3, 6})
        EXPECT_EQ(portControlCodes(kind), (std::array<uint32_t, 6>{2, 3, 4, 5, 6, 7})) << kind;
    EXPECT_EQ(TPortAccess(4).ControlCodes()[1], 0xF100A408u);
}

TEST(DriverProtocol, PlatformKindFromVersion) {
    EXPECT_EQ(platformKind(0, 3, 11), 1);
    EXPECT_EQ(platformKind(1, 4, 0), 2);
    EXPECT_EQ(platformKind(1, 4, 10), 3);
    EXPECT_EQ(platformKind(1, 4, 90), 6);
    EXPECT_EQ(platformKind(1, 4, 5), 0);
    EXPECT_EQ(platformKind(2, 4, 0), 4);
    EXPECT_EQ(platformKind(2, 5, 1), 5);
    EXPECT_EQ(platformKind(2, 6, 1), 0);
    EXPECT_EQ(platformKind(3, 5, 0), 0);
}

TEST(DriverProtocol, ServiceIsRemovedOnlyIfThisProgramInstalledOrStartedIt) {
    DriverServiceFlags foreign;
    EXPECT_FALSE(foreign.stopOnDestroy());
    EXPECT_FALSE(foreign.deleteOnDestroy());
    foreign.afterInstall(false); // already installed by someone else
    foreign.afterStart(false);   // and already running
    EXPECT_FALSE(foreign.stopOnDestroy());
    EXPECT_FALSE(foreign.deleteOnDestroy());

    // Every write opens again and then finds the service there; what we did stays ours.
    DriverServiceFlags ours;
    ours.afterInstall(true);
    ours.afterStart(true);
    ours.afterInstall(false);
    ours.afterStart(false);
    EXPECT_TRUE(ours.stopOnDestroy());
    EXPECT_TRUE(ours.deleteOnDestroy());
}

TEST(PortComponent, ClosedComponentRefusesWritesWithError6) {
    TPortAccess access;
    EXPECT_FALSE(access.Opened());
    EXPECT_EQ(access.DriverHandle(), 0xFFFFFFFFu);
    EXPECT_FALSE(access.LastCallSucceeded());
    EXPECT_EQ(access.LastError(), 0);
    EXPECT_FALSE(access.WriteByte(0x378, 0x01));
    EXPECT_EQ(access.LastError(), TPortAccess::ErrorInvalidHandle);
    access.setOpened(false); // closing a closed component changes nothing
    EXPECT_FALSE(access.Opened());
}

TEST(PortComponent, FailedOpeningKeepsTheReasonThenWriteGives6) {
    TPortAccess access;
    access.setDevice("/nonexistent/parport0", 0x378);
    access.setOpened(true);
    EXPECT_FALSE(access.Opened());
    EXPECT_EQ(access.LastError(), ENOENT);
    EXPECT_EQ(access.lastErrorText(),
              "/nonexistent/parport0: No such file or directory \u2014 load the parport_pc and "
              "ppdev modules (modprobe ppdev)");
    EXPECT_FALSE(access.WriteByte(0x378, 0x01));
    EXPECT_EQ(access.LastError(), 6);
}

TEST(PortComponent, OpeningTwiceKeepsTheHandleAndANonPortDeviceIsRefused) {
    TPortAccess access;
    access.setDevice("/dev/null", 0x378);
    access.setOpened(true);
    ASSERT_TRUE(access.Opened());
    const uint32_t handle = access.DriverHandle();
    EXPECT_NE(handle, TPortAccess::ClosedHandle);
    access.setOpened(true);
    EXPECT_EQ(access.DriverHandle(), handle);

    // /dev/null opens but is no parallel port: the claim fails and says so.
    EXPECT_FALSE(access.WriteByte(0x378, 0x08));
    EXPECT_EQ(access.LastError(), ENOTTY);
    EXPECT_NE(access.lastErrorText().find("/dev/null: claiming the port"), std::string::npos);
    EXPECT_NE(access.lastErrorText().find("not a parallel-port device"), std::string::npos);

    // An address this device does not stand for is never written.
    EXPECT_FALSE(access.WriteByte(0x278, 0x08));
    EXPECT_EQ(access.LastError(), EINVAL);
    EXPECT_NE(access.lastErrorText().find("0x278"), std::string::npos);

    access.setOpened(false);
    EXPECT_FALSE(access.Opened());
    EXPECT_EQ(access.DriverHandle(), TPortAccess::ClosedHandle);
}

TEST(PpdevTexts, NameTheReasonAndTheFix) {
    EXPECT_EQ(ppdevErrorText("/dev/parport0", "", EACCES),
              "/dev/parport0: Permission denied \u2014 add the user to the lp group");
    EXPECT_EQ(ppdevErrorText("/dev/parport1", "", ENOENT),
              "/dev/parport1: No such file or directory \u2014 load the parport_pc and ppdev "
              "modules (modprobe ppdev)");
    EXPECT_EQ(ppdevErrorText("/dev/parport0", "claiming the port", EBUSY),
              "/dev/parport0: claiming the port: Device or resource busy \u2014 another program "
              "or driver holds the port");
}

TEST(WritePortByte, DriverPathOpensTheDeviceOfEachPortAndClosesAgain) {
    EXPECT_EQ(parportDeviceForAddress(0x378), "/dev/parport0");
    EXPECT_EQ(parportDeviceForAddress(0x278), "/dev/parport1");
    EXPECT_FALSE(parportDeviceForAddress(0x379).has_value());

    // A folder of stand-in device nodes: parport1 is a plain file (opens, but is no port),
    // parport0 is missing.
    const auto folder = std::filesystem::temp_directory_path() / "tarvex-parport-test";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "parport1").put('x');
    std::filesystem::remove(folder / "parport0");

    SystemPort port;
    port.PlatformCode = SystemPort::Driver;
    port.setDeviceFolder(folder.string() + "/");

    port.WritePortByte(0x278, 0x01);
    EXPECT_FALSE(port.lastStatus().success);
    EXPECT_EQ(port.lastStatus().errorCode, ENOTTY);
    EXPECT_EQ(port.lastStatus().text.rfind((folder / "parport1").string() + ": claiming", 0), 0u)
        << port.lastStatus().text;
    EXPECT_FALSE(port.PortAccess.Opened()); // closed again after the write

    // Opening fails: the component records error 6 for the write, the status keeps the reason.
    port.WritePortByte(0x378, 0x01);
    EXPECT_EQ(port.PortAccess.LastError(), 6);
    EXPECT_EQ(port.lastStatus().errorCode, ENOENT);
    EXPECT_EQ(port.lastStatus().text.rfind((folder / "parport0").string() + ": No such file", 0),
              0u)
        << port.lastStatus().text;

    port.WritePortByte(0x3BC, 0x01);
    EXPECT_FALSE(port.lastStatus().success);
    EXPECT_NE(port.lastStatus().text.find("0x3BC"), std::string::npos);
    std::filesystem::remove_all(folder);
}

TEST(WritePortByte, DirectPathWritesOnlyParallelDataRegisters) {
    SystemPort port;
    port.PlatformCode = SystemPort::DirectIo;
    port.WritePortByte(0x80, 0x55); // never reaches ioperm/outb
    EXPECT_FALSE(port.lastStatus().success);
    EXPECT_EQ(port.lastStatus().errorCode, EINVAL);
    EXPECT_NE(port.lastStatus().text.find("0x80 is not a parallel-port data register"),
              std::string::npos);
    EXPECT_TRUE(DirectIoPortWriter::isParallelDataRegister(0x378));
    EXPECT_TRUE(DirectIoPortWriter::isParallelDataRegister(0x278));
    EXPECT_FALSE(DirectIoPortWriter::isParallelDataRegister(0x379));
}

} // namespace
