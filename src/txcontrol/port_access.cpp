#include "txcontrol/port_access.h"

#include <utility>

namespace tarvex {

int platformKind(int platformId, int majorVersion, int minorVersion) {
    switch (platformId) {
    case 0: // Win32s
        return 1;
    case 1: // Windows 95 / 98 / ME
        if (minorVersion == 0)
            return 2;
        if (minorVersion == 10)
            return 3;
        if (minorVersion == 90)
            return 6;
        return 0;
    case 2: // Windows NT
        if (majorVersion == 4)
            return 4;
        if (majorVersion == 5)
            return 5;
        return 0;
    default:
        return 0;
    }
}

std::array<uint32_t, 6> portControlCodes(int kind) {
    if (kind == 4 || kind == 5) {
        constexpr uint32_t deviceType = 0xF100;
        constexpr uint32_t buffered = 0;
        constexpr uint32_t readAccess = 1;
        constexpr uint32_t writeAccess = 2;
        std::array<uint32_t, 6> codes{};
        for (uint32_t i = 0; i < 6; ++i) {
            const uint32_t function = 0x901 + i;
            // The odd functions (0x901, 0x903, 0x905) read, the even ones write.
            codes[i] =
                ctlCode(deviceType, function, buffered, (i % 2 == 0) ? readAccess : writeAccess);
        }
        return codes;
    }
    return {2, 3, 4, 5, 6, 7};
}

std::array<uint8_t, 4> portWriteRequest(uint16_t port, uint8_t value) {
    return {static_cast<uint8_t>(port & 0xFF), static_cast<uint8_t>(port >> 8), value, 0};
}

TPortAccess::TPortAccess(int kind) : m_kind(kind), m_codes(portControlCodes(kind)) {}

TPortAccess::~TPortAccess() {
    if (Opened())
        closeDevice();
    releaseService();
}

void TPortAccess::setOpened(bool open) {
    if (open && !Opened())
        openDevice();
    else if (!open && Opened())
        closeDevice();
}

uint32_t TPortAccess::DriverHandle() const {
    return Opened() ? static_cast<uint32_t>(m_handle) : ClosedHandle;
}

bool TPortAccess::WriteByte(uint16_t port, uint8_t value) {
    if (!Opened()) {
        keepError(ErrorInvalidHandle, "no port device is open (error 6, invalid handle)");
        return false;
    }
    return writeToDevice(port, value);
}

void TPortAccess::setDevice(std::string path, uint16_t port) {
    m_devicePath = std::move(path);
    m_devicePort = port;
}

void TPortAccess::keepError(int error, std::string text) {
    m_success = false;
    m_error = error;
    m_errorText = std::move(text);
}

void TPortAccess::keepSuccess() {
    m_success = true;
    m_errorText.clear();
}

} // namespace tarvex
