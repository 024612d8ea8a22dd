#pragma once
// Finding the devices a keying method can use, for a device choice and for
// "tarvex-cli devices": serial ports, CM108-family sound cards' hidraw nodes and GPIO chips.
// The folders are parameters so that tests read a made-up tree.
#include <string>
#include <vector>

namespace tarvex {

struct PttDevice {
    std::string path;        ///< "/dev/ttyUSB0", "/dev/hidraw2", "/dev/gpiochip0"
    std::string description; ///< what the system says it is, may be empty
    bool operator==(const PttDevice&) const = default;
};

/// USB serial ports: ttyUSB* and ttyACM* in devFolder, sorted by name.
std::vector<PttDevice> listSerialDevices(const std::string& devFolder = "/dev");

/// hidraw nodes of sound cards that take the CM108 GPIO report (C-Media vendor 0x0D8C, the
/// SSS 0x0C76 chips 0x1605/0x1607/0x160B, the AIOC 0x1209:0x7388), found through each
/// node's uevent under sysFolder; paths are in devFolder. Sorted by name.
std::vector<PttDevice> listCm108Devices(const std::string& sysFolder = "/sys/class/hidraw",
                                        const std::string& devFolder = "/dev");

/// gpiochip* nodes in devFolder, sorted by name.
std::vector<PttDevice> listGpioChips(const std::string& devFolder = "/dev");

/// Whether a USB vendor and product take the CM108 GPIO report.
bool isCm108Family(unsigned vendor, unsigned product);

} // namespace tarvex
