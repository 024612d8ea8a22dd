// Device discovery on a made-up /dev and /sys/class/hidraw tree.
#include "txcontrol/ptt/ptt_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

struct DeviceTree : ::testing::Test {
    void SetUp() override {
        root = fs::temp_directory_path() / ("tarvex-pttdev-" + std::to_string(::getpid()));
        fs::create_directories(root / "dev");
        for (const char* name : {"ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS0", "gpiochip0", "null"})
            std::ofstream(root / "dev" / name).put('x');
    }
    void TearDown() override { fs::remove_all(root); }
    void hidraw(const std::string& name, const std::string& uevent) {
        fs::create_directories(root / "sys" / name / "device");
        std::ofstream(root / "sys" / name / "device" / "uevent") << uevent;
    }
    std::string dev() const { return (root / "dev").string(); }
    fs::path root;
};

TEST_F(DeviceTree, SerialPortsAndGpioChips) {
    EXPECT_EQ(listSerialDevices(dev()),
              (std::vector<PttDevice>{
                  {dev() + "/ttyACM0", {}}, {dev() + "/ttyUSB0", {}}, {dev() + "/ttyUSB1", {}}}));
    EXPECT_EQ(listGpioChips(dev()), (std::vector<PttDevice>{{dev() + "/gpiochip0", {}}}));
    EXPECT_TRUE(listSerialDevices((root / "missing").string()).empty());
}

TEST_F(DeviceTree, OnlyCm108FamilyHidrawNodes) {
    hidraw("hidraw0", "DRIVER=hid-generic\nHID_ID=0003:0000046D:0000C52B\nHID_NAME=Logitech\n");
    hidraw("hidraw1", "HID_ID=0003:00000D8C:0000000C\nHID_NAME=C-Media Electronics Inc. USB "
                      "Audio Device\n");
    hidraw("hidraw2", "HID_ID=0003:00000C76:00001607\nHID_NAME=SSS\n");
    hidraw("hidraw3", "HID_ID=0003:00000C76:00001234\nHID_NAME=other SSS\n");
    hidraw("hidraw4", "HID_NAME=no id\n");
    EXPECT_EQ(listCm108Devices((root / "sys").string(), "/dev"),
              (std::vector<PttDevice>{{"/dev/hidraw1", "C-Media Electronics Inc. USB Audio Device"},
                                      {"/dev/hidraw2", "SSS"}}));
    EXPECT_TRUE(isCm108Family(0x1209, 0x7388));
    EXPECT_FALSE(isCm108Family(0x1209, 0x0001));
}

} // namespace
