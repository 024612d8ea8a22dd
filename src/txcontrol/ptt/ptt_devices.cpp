#include "txcontrol/ptt/ptt_devices.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tarvex {
namespace {

namespace fs = std::filesystem;

// Entries of `folder` whose names start with one of `prefixes`; a missing folder gives none.
std::vector<std::string> namesStarting(const std::string& folder,
                                       std::initializer_list<const char*> prefixes) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const char* prefix : prefixes)
            if (name.starts_with(prefix))
                names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string joined(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

} // namespace

bool isCm108Family(unsigned vendor, unsigned product) {
    if (vendor == 0x0D8C)
        return true;
    if (vendor == 0x0C76)
        return product == 0x1605 || product == 0x1607 || product == 0x160B;
    return vendor == 0x1209 && product == 0x7388;
}

std::vector<PttDevice> listSerialDevices(const std::string& devFolder) {
    std::vector<PttDevice> devices;
    for (const auto& name : namesStarting(devFolder, {"ttyUSB", "ttyACM"}))
        devices.push_back({joined(devFolder, name), {}});
    return devices;
}

std::vector<PttDevice> listCm108Devices(const std::string& sysFolder,
                                        const std::string& devFolder) {
    std::vector<PttDevice> devices;
    for (const auto& name : namesStarting(sysFolder, {"hidraw"})) {
        // HID_ID=0003:00000D8C:0000000C (bus:vendor:product), HID_NAME=C-Media ...
        std::ifstream uevent(fs::path(sysFolder) / name / "device" / "uevent");
        unsigned bus = 0, vendor = 0, product = 0;
        bool haveId = false;
        std::string description;
        for (std::string line; std::getline(uevent, line);) {
            if (line.starts_with("HID_ID="))
                haveId = std::sscanf(line.c_str() + 7, "%x:%x:%x", &bus, &vendor, &product) == 3;
            else if (line.starts_with("HID_NAME="))
                description = line.substr(9);
        }
        if (haveId && isCm108Family(vendor, product))
            devices.push_back({joined(devFolder, name), description});
    }
    return devices;
}

std::vector<PttDevice> listGpioChips(const std::string& devFolder) {
    std::vector<PttDevice> devices;
    for (const auto& name : namesStarting(devFolder, {"gpiochip"}))
        devices.push_back({joined(devFolder, name), {}});
    return devices;
}

} // namespace tarvex
