#include "txcontrol/recording_file_port.h"

#include "encoder/errors.h"

#include <cerrno>
#include <cstring>

namespace tarvex {

RecordingFilePort::RecordingFilePort(std::string path) : m_path(std::move(path)) {
    m_file.reset(std::fopen(m_path.c_str(), "ab"));
    if (!m_file)
        throw Error(m_path + ": " + std::strerror(errno));
}

bool RecordingFilePort::writeByte(uint16_t, uint8_t value) {
    errno = 0;
    if (std::fputc(value, m_file.get()) == EOF || std::fflush(m_file.get()) != 0) {
        const int code = errno != 0 ? errno : EIO;
        return fail(code, m_path + ": " + std::strerror(code));
    }
    return succeed();
}

} // namespace tarvex
