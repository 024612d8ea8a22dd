// The Linux half of TPortAccess: the device is a parallel port reached through ppdev.
#ifndef _WIN32

#include "txcontrol/port_access.h"
#include "txcontrol/port_writer.h"
#include "txcontrol/ppdev.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarvex {

int TPortAccess::currentPlatformKind() {
    return 0;
}

void TPortAccess::openDevice() {
    const int fd = ::open(m_devicePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        keepError(error, ppdevErrorText(m_devicePath, "", error));
        return;
    }
    m_handle = fd;
}

void TPortAccess::closeDevice() {
    ::close(static_cast<int>(m_handle));
    m_handle = InvalidHandle;
}

bool TPortAccess::writeToDevice(uint16_t port, uint8_t value) {
    if (port != m_devicePort) {
        keepError(EINVAL, m_devicePath + ": I/O address " + hexAddress(port) +
                              " is not the data register of this port (" +
                              hexAddress(m_devicePort) + ")");
        return false;
    }
    if (const auto failure = ppdevWriteData(static_cast<int>(m_handle), value)) {
        keepError(failure->error, ppdevErrorText(m_devicePath, failure->step, failure->error));
        return false;
    }
    keepSuccess();
    return true;
}

void TPortAccess::releaseService() {
    // No driver service on this platform.
}

} // namespace tarvex

#endif
