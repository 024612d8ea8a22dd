#pragma once
// The one hardware operation transmitter keying needs: write a byte to a parallel port's
// data register. Backends (parallel-port device, direct I/O, the Windows driver, a recording
// fake) implement PortWriter; each keeps the outcome of its last write for a status line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tarvex {

/// Data-register addresses of the two parallel ports the keying dialog offers.
inline constexpr uint16_t Lpt1DataRegister = 0x378;
inline constexpr uint16_t Lpt2DataRegister = 0x278;

/// Data register for a keying port index: 1 is LPT2, anything else (0, or none chosen) LPT1.
constexpr uint16_t lptDataAddress(int portIndex) {
    return portIndex == 1 ? Lpt2DataRegister : Lpt1DataRegister;
}

/// Parallel-port device node that stands for a data-register address on Linux:
/// LPT1 (0x378) is /dev/parport0, LPT2 (0x278) /dev/parport1. Empty for other addresses.
std::optional<std::string> parportDeviceForAddress(uint16_t port,
                                                   std::string_view folder = "/dev/");

/// An I/O address as the operator reads it: "0x378".
std::string hexAddress(uint16_t port);

/// Outcome of the last write: success, the operating system's error number and a text that
/// names the reason and, where there is one, how to fix it.
struct PortStatus {
    bool success = false;
    int errorCode = 0;
    std::string text;
};

/// Keeps the outcome of a keying backend's last operation; the backends report through it.
class KeepsPortStatus {
public:
    const PortStatus& lastStatus() const { return m_status; }

protected:
    bool succeed() {
        m_status = PortStatus{true, 0, {}};
        return true;
    }
    bool fail(int errorCode, std::string text) {
        m_status = PortStatus{false, errorCode, std::move(text)};
        return false;
    }

private:
    PortStatus m_status;
};

class PortWriter : public KeepsPortStatus {
public:
    virtual ~PortWriter() = default;

    /// Writes value to the data register at port. Never throws and never reports to the
    /// operator; false on failure, lastStatus() then says why.
    virtual bool writeByte(uint16_t port, uint8_t value) = 0;
};

} // namespace tarvex
