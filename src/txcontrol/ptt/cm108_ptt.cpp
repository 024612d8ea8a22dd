#include "txcontrol/ptt/cm108_ptt.h"

#include <cerrno>

#if defined(__unix__)
#include <fcntl.h>
#else
constexpr int O_WRONLY = 1, O_CLOEXEC = 0;
#endif

namespace tarvex {
namespace {

const char* openHint(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "give the user write access to the hidraw device (a udev rule for the sound "
               "card, e.g. GROUP=\"audio\", MODE=\"0660\")";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "check that the USB sound card is plugged in and the hidraw device name is "
               "right";
    default:
        return "";
    }
}

bool deviceGone(int error) {
    return error == EIO || error == ENODEV || error == ENXIO || error == EBADF;
}

} // namespace

std::array<uint8_t, 4> cm108Report(int pin, bool asserted) {
    const auto mask = static_cast<uint8_t>(1u << (pin - 1));
    return {0x00, 0x00, asserted ? mask : uint8_t{0}, mask};
}

Cm108Ptt::Cm108Ptt(std::string device, int pin, PosixIo& io)
    : m_device(std::move(device)), m_pin(pin), m_io(io) {}

Cm108Ptt::~Cm108Ptt() {
    close();
}

std::string Cm108Ptt::name() const {
    return "CM108 GPIO" + std::to_string(m_pin) + " " + m_device;
}

bool Cm108Ptt::openAt(bool asserted) {
    if (m_pin < 1 || m_pin > Cm108MaxPin)
        return fail(EINVAL, name() + ": GPIO pin " + std::to_string(m_pin) +
                                " is out of range \u2014 choose a pin from 1 to 8 (usually 3)");
    const int fd = m_io.open(m_device.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(-fd, pttErrorText("cannot open " + m_device, -fd, openHint(-fd)));
    // A plain file named by mistake would take the report over its first bytes.
    if (const int notDevice = m_io.requireCharacterDevice(fd); notDevice < 0) {
        m_io.close(fd);
        return fail(-notDevice, pttErrorText(m_device, -notDevice,
                                             "this is not a device; choose the sound card's "
                                             "hidraw device"));
    }
    m_fd = fd;
    return drive(asserted);
}

bool Cm108Ptt::drive(bool asserted) {
    const auto report = cm108Report(m_pin, asserted);
    const long n = m_io.write(m_fd, report.data(), report.size());
    if (n == static_cast<long>(report.size()))
        return succeed();
    const int error = n < 0 ? static_cast<int>(-n) : EIO;
    const char* hint = "";
    if (n >= 0 || error == EINVAL || error == EPIPE)
        hint = "this hidraw device does not take the CM108 GPIO report; choose the sound "
               "card's hidraw device";
    else if (deviceGone(error))
        hint = "the sound card was unplugged";
    // Closed on anything but a passing failure, so the next call starts afresh.
    if (*hint)
        shut();
    return fail(error, pttErrorText(name(), error, hint));
}

void Cm108Ptt::shut() {
    m_io.close(m_fd);
    m_fd = -1;
}

} // namespace tarvex
