#include "txcontrol/ptt/serial_ptt.h"

#include <cerrno>

#if defined(__unix__)
#include <fcntl.h>
#include <sys/ioctl.h>
#endif

namespace tarvex {
namespace {

#if !defined(__unix__)
constexpr int TIOCM_RTS = 0x004;
constexpr int TIOCM_DTR = 0x002;
constexpr unsigned long TIOCMBIS = 0x5416;
constexpr unsigned long TIOCMBIC = 0x5417;
constexpr int O_RDWR = 2, O_NOCTTY = 0, O_NONBLOCK = 0, O_CLOEXEC = 0;
#endif

const char* openHint(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "add the user to the dialout group";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "check that the serial adapter is plugged in and the device name is right";
    case EBUSY:
        return "another program holds the serial port";
    default:
        return "";
    }
}

// The device vanished under us (adapter unplugged): close so the next call opens again.
bool deviceGone(int error) {
    return error == EIO || error == ENODEV || error == ENXIO || error == EBADF;
}

} // namespace

SerialPtt::SerialPtt(std::string device, SerialPttLine which, PosixIo& io)
    : m_device(std::move(device)), m_which(which), m_io(io) {}

SerialPtt::~SerialPtt() {
    close();
}

std::string SerialPtt::name() const {
    return std::string(m_which == SerialPttLine::Rts ? "serial RTS " : "serial DTR ") + m_device;
}

int SerialPtt::modemBit() const {
    return m_which == SerialPttLine::Rts ? TIOCM_RTS : TIOCM_DTR;
}

bool SerialPtt::openAt(bool asserted) {
    const int fd = m_io.open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(-fd, pttErrorText("cannot open " + m_device, -fd, openHint(-fd)));
    m_fd = fd;
    if (!drive(asserted)) {
        if (isOpen())
            shut();
        return false;
    }
    if (const int r = m_io.keepLinesOnClose(m_fd); r < 0) {
        const PortStatus failure{false, -r,
                                 pttErrorText(m_device + ": setting the line mode", -r,
                                              -r == ENOTTY ? "this is not a serial port" : "")};
        shut();
        return fail(failure.errorCode, failure.text);
    }
    return succeed();
}

bool SerialPtt::drive(bool asserted) {
    int bits = modemBit();
    const int r = m_io.ioctlInt(m_fd, asserted ? TIOCMBIS : TIOCMBIC, &bits);
    if (r < 0) {
        const int error = -r;
        const char* hint = error == ENOTTY || error == EINVAL
                               ? "this is not a serial port, or it has no modem lines"
                               : (deviceGone(error) ? "the serial adapter was unplugged" : "");
        if (deviceGone(error))
            shut();
        return fail(error, pttErrorText(name(), error, hint));
    }
    return succeed();
}

void SerialPtt::shut() {
    m_io.close(m_fd);
    m_fd = -1;
}

} // namespace tarvex
