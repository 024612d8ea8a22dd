#include "txcontrol/ptt/posix_io.h"

#include <cerrno>

#if defined(__unix__)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace tarvex {
namespace {

#if defined(__unix__)
int result(long r) {
    return r < 0 ? -errno : static_cast<int>(r);
}

class SystemIo : public PosixIo {
public:
    int open(const char* path, int flags) override { return result(::open(path, flags)); }
    int close(int fd) override { return result(::close(fd)); }
    int ioctlInt(int fd, unsigned long request, int* arg) override {
        return result(::ioctl(fd, request, arg));
    }
    long write(int fd, const void* data, std::size_t size) override {
        const ssize_t n = ::write(fd, data, size);
        return n < 0 ? -errno : n;
    }
    int keepLinesOnClose(int fd) override {
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return -errno;
        if ((tio.c_cflag & HUPCL) == 0)
            return 0;
        tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
        return result(::tcsetattr(fd, TCSANOW, &tio));
    }
    int requireCharacterDevice(int fd) override {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return -errno;
        return S_ISCHR(st.st_mode) ? 0 : -ENODEV;
    }
};
#else
class SystemIo : public PosixIo {
public:
    int open(const char*, int) override { return -ENOSYS; }
    int close(int) override { return -ENOSYS; }
    int ioctlInt(int, unsigned long, int*) override { return -ENOSYS; }
    long write(int, const void*, std::size_t) override { return -ENOSYS; }
    int keepLinesOnClose(int) override { return -ENOSYS; }
};
#endif

} // namespace

PosixIo& PosixIo::system() {
    static SystemIo io;
    return io;
}

} // namespace tarvex
