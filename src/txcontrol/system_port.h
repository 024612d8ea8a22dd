#pragma once
// WritePortByte: the system-level port write that keying uses. PlatformCode chooses the
// path: 1 writes the I/O port directly, 2 goes through the port component TPortAccess
// (the Tvxport driver on Windows, the parallel-port device on Linux), opened and closed
// around every single write.
#include "txcontrol/direct_io_port.h"
#include "txcontrol/port_access.h"
#include "txcontrol/port_writer.h"

#include <string>
#include <utility>

namespace tarvex {

/// The component path: open, WriteByte, close. On Linux the device follows the address
/// (0x378 /dev/parport0, 0x278 /dev/parport1).
class DriverPortWriter : public PortWriter {
public:
    explicit DriverPortWriter(TPortAccess& access) : m_access(access) {}
    bool writeByte(uint16_t port, uint8_t value) override;

    /// Folder of the parportN device nodes ("/dev/"); tests point it elsewhere.
    std::string deviceFolder = "/dev/";

private:
    TPortAccess& m_access;
};

class SystemPort : public PortWriter {
public:
    static constexpr int DirectIo = 1;
    static constexpr int Driver = 2;

    /// PlatformCode as the platform check set it (1 direct I/O, 2 driver / device).
    int PlatformCode = Driver;

    /// The component this path uses; the owner keeps it for the whole run.
    TPortAccess PortAccess;

    /// Never reports to the operator; lastStatus() keeps the reason for a status line.
    void WritePortByte(uint16_t port, uint8_t value) { writeByte(port, value); }
    bool writeByte(uint16_t port, uint8_t value) override;

    /// Folder of the parportN device nodes used by the driver path ("/dev/").
    void setDeviceFolder(std::string folder) { m_driver.deviceFolder = std::move(folder); }

private:
    DirectIoPortWriter m_direct;
    DriverPortWriter m_driver{PortAccess};
};

} // namespace tarvex
