#include "txcontrol/direct_io_port.h"

#include <cerrno>
#include <cstring>
#include <string>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__)) && __has_include(<sys/io.h>)
#include <sys/io.h>
#define TARVEX_HAVE_SYS_IO 1
#else
#define TARVEX_HAVE_SYS_IO 0
#endif

namespace tarvex {

bool DirectIoPortWriter::isParallelDataRegister(uint16_t port) {
    return port == Lpt1DataRegister || port == Lpt2DataRegister || port == 0x3BC;
}

bool DirectIoPortWriter::available() {
    return TARVEX_HAVE_SYS_IO != 0;
}

bool DirectIoPortWriter::writeByte(uint16_t port, uint8_t value) {
    // Refuse anything but a parallel data register: a wrong address here would poke
    // whatever device sits at it.
    if (!isParallelDataRegister(port))
        return fail(EINVAL, "direct I/O: " + hexAddress(port) +
                                " is not a parallel-port data register (0x378, 0x278, 0x3BC)");
#if TARVEX_HAVE_SYS_IO
    if (::ioperm(port, 1, 1) != 0) {
        const int error = errno;
        return fail(error, "direct I/O " + hexAddress(port) + ": " + std::strerror(error) +
                               " \u2014 direct port access needs root or CAP_SYS_RAWIO; "
                               "use the parallel-port device (/dev/parportN) instead");
    }
    ::outb(value, port);
    return succeed();
#else
    (void)value;
    return fail(ENOTSUP, "direct I/O " + hexAddress(port) +
                             ": not available on this system \u2014 use the parallel-port "
                             "device instead");
#endif
}

} // namespace tarvex
