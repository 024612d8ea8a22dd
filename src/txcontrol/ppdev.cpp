#include "txcontrol/ppdev.h"

#include <cerrno>
#include <cstring>

#ifdef __linux__
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#endif

namespace tarvex {

namespace {

const char* hintFor(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "add the user to the lp group";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "load the parport_pc and ppdev modules (modprobe ppdev)";
    case EBUSY:
        return "another program or driver holds the port";
    case ENOTTY:
    case EINVAL:
        return "this is not a parallel-port device";
    default:
        return nullptr;
    }
}

} // namespace

std::optional<PpdevFailure> ppdevWriteData(int fd, uint8_t value) {
#ifdef __linux__
    if (::ioctl(fd, PPCLAIM) != 0)
        return PpdevFailure{"claiming the port", errno};
    unsigned char data = value;
    if (::ioctl(fd, PPWDATA, &data) != 0) {
        const int error = errno;
        ::ioctl(fd, PPRELEASE);
        return PpdevFailure{"writing the data register", error};
    }
    if (::ioctl(fd, PPRELEASE) != 0)
        return PpdevFailure{"releasing the port", errno};
    return std::nullopt;
#else
    (void)fd;
    (void)value;
    return PpdevFailure{"writing the data register", ENOTSUP};
#endif
}

std::string ppdevErrorText(std::string_view path, std::string_view step, int error) {
    std::string text(path);
    text += ": ";
    if (!step.empty()) {
        text += step;
        text += ": ";
    }
    text += std::strerror(error);
    if (const char* hint = hintFor(error)) {
        text += " \u2014 ";
        text += hint;
    }
    return text;
}

} // namespace tarvex
