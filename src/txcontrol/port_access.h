#pragma once
// TPortAccess: the port component of the driver path. On Windows it installs and starts the
// "Tvxport" kernel driver and sends it write requests; on Linux the same component opens the
// parallel-port device (/dev/parportN) and writes its data register through ppdev.
#include <array>
#include <cstdint>
#include <string>

namespace tarvex {

/// Platform kind of the port component, from the operating-system version (platform id
/// 0 = Win32s, 1 = Windows 9x, 2 = Windows NT): 1, 2, 3, 6 (9x family), 4, 5 (NT 4 / NT 5), else 0.
int platformKind(int platformId, int majorVersion, int minorVersion);

/// The six device control codes for a platform kind: built from device type 0xF100 and
/// functions 0x901..0x906 for kinds 4 and 5, the numbers 2..7 otherwise.
std::array<uint32_t, 6> portControlCodes(int kind);

/// Windows CTL_CODE: device type, access, function and transfer method in one value.
constexpr uint32_t ctlCode(uint32_t deviceType, uint32_t function, uint32_t method,
                           uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

/// The 4-byte write request: port address as 16-bit little-endian, the value, a zero byte.
std::array<uint8_t, 4> portWriteRequest(uint16_t port, uint8_t value);

/// Whether destruction stops and deletes the driver service: only what this program did
/// itself is undone. The service is deleted only if this program installed it and stopped
/// only if this program started it, even though every write opens (and so "installs" and
/// "starts") again and finds the service there from the second write on.
class DriverServiceFlags {
public:
    /// After the install step: created = installed now (false: it was there already).
    void afterInstall(bool created) { m_installedByUs = m_installedByUs || created; }
    /// After the start step: started = started now, else it was already running.
    void afterStart(bool started) { m_startedByUs = m_startedByUs || started; }
    bool stopOnDestroy() const { return m_startedByUs; }
    bool deleteOnDestroy() const { return m_installedByUs; }

private:
    bool m_installedByUs = false;
    bool m_startedByUs = false;
};

class TPortAccess {
public:
    static constexpr uint32_t ClosedHandle = 0xFFFFFFFFu;
    /// Error number of a write while no device is open (the "invalid handle" code).
    static constexpr int ErrorInvalidHandle = 6;
    static constexpr const char* DriverName = "Tvxport";

    /// kind: see platformKind(); by default the kind of the running system.
    explicit TPortAccess(int kind = currentPlatformKind());
    ~TPortAccess();
    TPortAccess(const TPortAccess&) = delete;
    TPortAccess& operator=(const TPortAccess&) = delete;

    bool Opened() const { return m_handle != InvalidHandle; }
    /// true opens the device (nothing if already open), false closes it (nothing if closed).
    void setOpened(bool open);
    /// The open handle (file descriptor on Linux), or all ones while closed.
    uint32_t DriverHandle() const;

    /// Writes value to the port's data register through the open device. Closed: fails
    /// with error 6. The outcome is kept in LastCallSucceeded/LastError/lastErrorText.
    bool WriteByte(uint16_t port, uint8_t value);

    bool LastCallSucceeded() const { return m_success; }
    int LastError() const { return m_error; }
    /// The reason of the last failure with a hint how to fix it; empty after success.
    const std::string& lastErrorText() const { return m_errorText; }

    int PlatformKind() const { return m_kind; }
    const std::array<uint32_t, 6>& ControlCodes() const { return m_codes; }
    const DriverServiceFlags& serviceFlags() const { return m_flags; }

    /// Linux: the device node the next opening uses and the data-register address it stands
    /// for (default /dev/parport0 for 0x378). A write to any other address is refused.
    void setDevice(std::string path, uint16_t port);
    const std::string& devicePath() const { return m_devicePath; }
    uint16_t devicePort() const { return m_devicePort; }

    static int currentPlatformKind();

private:
    static constexpr intptr_t InvalidHandle = -1;

    // Platform halves (port_access_posix.cpp / port_access_win32.cpp).
    void openDevice();
    void closeDevice();
    bool writeToDevice(uint16_t port, uint8_t value);
    void releaseService();

    void keepError(int error, std::string text);
    void keepSuccess();

    int m_kind;
    std::array<uint32_t, 6> m_codes;
    intptr_t m_handle = InvalidHandle;
    bool m_success = false;
    int m_error = 0;
    std::string m_errorText;
    DriverServiceFlags m_flags;
    std::string m_devicePath = "/dev/parport0";
    uint16_t m_devicePort = 0x378;
};

} // namespace tarvex
