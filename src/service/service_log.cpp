#include "service/service_log.h"

#include "encoder/conversions.h"

#include <QString>
#include <QtGlobal>

#if defined(TARVEX_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif
#include <sys/stat.h>

#include <algorithm>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tarvex {

LogTarget logTargetOfStderr() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (stream == nullptr || ::fstat(2, &st) != 0)
        return LogTarget::Plain;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2)
        return LogTarget::Plain;
    return device == st.st_dev && inode == st.st_ino ? LogTarget::Journal : LogTarget::Plain;
}

std::string formatLogLine(LogTarget target, LogLevel level, const std::string& text,
                          std::time_t when) {
    const std::string escaped = escapeControls(text);
    if (target == LogTarget::Journal)
        return "<" + std::to_string(static_cast<int>(level)) + ">" + escaped;
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string time = stamp; // +0100 becomes +01:00, as ISO 8601 writes an offset
    if (time.size() >= 5)
        time.insert(time.size() - 2, ":");
    return time + " tarvexd " + levelWord(level) + ": " + escaped;
}

namespace {

std::mutex& logMutex() {
    static std::mutex mutex; // the network inputs log from their own threads
    return mutex;
}

std::function<void(LogLevel, const std::string&)>& logTap() {
    static std::function<void(LogLevel, const std::string&)> tap;
    return tap;
}

} // namespace

void setServiceLogTap(std::function<void(LogLevel, const std::string&)> tap) {
    const std::lock_guard lock(logMutex());
    logTap() = std::move(tap);
}

void writeServiceLog(LogLevel level, const std::string& text) {
    static const LogTarget target = logTargetOfStderr();
    const std::string line = formatLogLine(target, level, text, std::time(nullptr)) + "\n";
    const std::lock_guard lock(logMutex());
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    if (logTap())
        logTap()(level, escapeControls(text));
}

namespace {

void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    LogLevel level = LogLevel::Info;
    switch (type) {
    case QtDebugMsg:
        level = LogLevel::Debug;
        break;
    case QtInfoMsg:
        level = LogLevel::Info;
        break;
    case QtWarningMsg:
        level = LogLevel::Warning;
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        level = LogLevel::Error;
        break;
    }
    writeServiceLog(level, "qt: " + message.toStdString());
}

#if defined(TARVEX_HAVE_ALSA)
// ALSA reports every probe of a plugin it cannot load; a service that opens its device
// itself reports what matters, so these lines are kept at debug level.
void alsaMessage(const char* file, int line, const char* function, int err, const char* format,
                 ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    std::string where = std::string(file != nullptr ? file : "?") + ":" + std::to_string(line);
    if (function != nullptr)
        where += " " + std::string(function);
    std::string message = "alsa: " + where + ": " + text;
    if (err != 0)
        message += ": " + std::string(snd_strerror(err));
    writeServiceLog(LogLevel::Debug, message);
}
#endif

} // namespace

void routeLibraryMessages() {
    qInstallMessageHandler(qtMessage);
#if defined(TARVEX_HAVE_ALSA)
    snd_lib_error_set_handler(alsaMessage);
#endif
}

} // namespace tarvex
