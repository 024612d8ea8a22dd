#include "station/page_log.h"

#include "encoder/conversions.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

std::string localTimeText(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

std::string reasonText(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

} // namespace

std::string CLogClock::shortDate() {
    return localTimeText("%x");
}

std::string CLogClock::longTime() {
    return localTimeText("%X");
}

std::string pageLogPath(const std::string& dataFolder) {
    return dataFolder + "/" + PageLogFileName;
}

std::string pageLogLine(const std::string& ric, const std::string& message, const std::string& date,
                        const std::string& time, const std::string& marker) {
    // Text from outside (a network message, a refusal's reason) is escaped so that one page
    // is one line: a line break in it cannot start a line of its own.
    return escapeControls(ric) + " - " + escapeControls(message) + " - " + date + " - " + time +
           escapeControls(marker) + "\r\n";
}

bool appendPageLog(const std::string& path, const std::string& line, std::string* reason) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (reason != nullptr)
            *reason = reasonText(path, errno);
        return false;
    }
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    std::size_t done = 0;
    int error = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // A full disk may have taken part of the line: cut it off again.
    if (error != 0 && sized && done > 0)
        (void)!::ftruncate(fd, before.st_size);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0 && reason != nullptr)
        *reason = reasonText(path, error);
    return error == 0;
}

PageLog::PageLog(std::shared_ptr<LogClock> clock) : m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = std::make_shared<CLogClock>();
}

bool PageLog::write(const std::string& ric, const std::string& message, const std::string& marker,
                    std::string* reason) {
    const std::string date = m_clock->shortDate();
    const std::string time = m_clock->longTime();
    return appendPageLog(path(), pageLogLine(ric, message, date, time, marker), reason);
}

bool PageLog::writeNote(const std::string& text, std::string* reason) {
    const std::string date = m_clock->shortDate();
    const std::string time = m_clock->longTime();
    return appendPageLog(path(), escapeControls(text) + " - " + date + " - " + time + "\r\n",
                         reason);
}

} // namespace tarvex
