#pragma once
// The system calls the device-file keying backends make (serial port, CM108 hidraw), behind
// one interface so that tests record the exact calls instead of touching hardware.
// Every call returns a negative error number on failure instead of setting errno.
#include <cstddef>
#include <cstdint>

namespace tarvex {

class PosixIo {
public:
    virtual ~PosixIo() = default;

    /// A descriptor (>= 0) or -errno.
    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    /// ioctl with an int argument (TIOCMBIS, TIOCMBIC, TIOCMGET): 0 or -errno.
    virtual int ioctlInt(int fd, unsigned long request, int* arg) = 0;
    /// Bytes written or -errno.
    virtual long write(int fd, const void* data, std::size_t size) = 0;
    /// Clears HUPCL on a terminal, so closing it leaves the modem lines as they are: 0 or
    /// -errno (-ENOTTY for a descriptor that is not a terminal).
    virtual int keepLinesOnClose(int fd) = 0;
    /// 0 when the descriptor is a character device (a device node, not a plain file that
    /// a write would overwrite), else -ENODEV. Test doubles accept every descriptor.
    virtual int requireCharacterDevice(int fd) {
        (void)fd;
        return 0;
    }

    /// The operating system's calls.
    static PosixIo& system();
};

} // namespace tarvex
