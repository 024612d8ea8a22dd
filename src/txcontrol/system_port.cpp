#include "txcontrol/system_port.h"

#include <cerrno>
#include <utility>

namespace tarvex {

bool DriverPortWriter::writeByte(uint16_t port, uint8_t value) {
#ifndef _WIN32
    const auto device = parportDeviceForAddress(port, deviceFolder);
    if (!device)
        return fail(EINVAL, "no parallel-port device for I/O address " + hexAddress(port) +
                                " (LPT1 is 0x378, LPT2 0x278)");
    m_access.setDevice(*device, port);
#endif
    m_access.setOpened(true);
    if (!m_access.Opened()) {
        // The component records error 6 for the write; the status keeps why opening failed.
        const int openError = m_access.LastError();
        std::string openText = m_access.lastErrorText();
        m_access.WriteByte(port, value);
        return fail(openError, std::move(openText));
    }
    const bool ok = m_access.WriteByte(port, value);
    m_access.setOpened(false);
    if (ok)
        return succeed();
    return fail(m_access.LastError(), m_access.lastErrorText());
}

bool SystemPort::writeByte(uint16_t port, uint8_t value) {
    PortWriter& path = PlatformCode == DirectIo ? static_cast<PortWriter&>(m_direct) : m_driver;
    if (path.writeByte(port, value))
        return succeed();
    return fail(path.lastStatus().errorCode, path.lastStatus().text);
}

} // namespace tarvex
