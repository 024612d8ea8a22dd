#pragma once
// The service log as the inputs, the feed and the monitor see it: a line and how much it
// matters. The levels are syslog's priorities, so the service can hand them to journald as
// they are. A logger made from a plain line function logs everything at info.
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

namespace tarvex {

enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

/// The word a level is written as where there is no journal to take the number.
inline const char* levelWord(LogLevel level) {
    switch (level) {
    case LogLevel::Error:
        return "error";
    case LogLevel::Warning:
        return "warning";
    case LogLevel::Notice:
        return "notice";
    case LogLevel::Info:
        return "info";
    case LogLevel::Debug:
        return "debug";
    }
    return "info";
}

/// A line for the service log (the log adds the time). Never given a password or key.
class ServiceLogger {
public:
    ServiceLogger() = default;
    template <typename F,
              std::enable_if_t<std::is_invocable_v<F&, LogLevel, const std::string&>, int> = 0>
    ServiceLogger(F sink) : m_sink(std::move(sink)) {}
    template <typename F,
              std::enable_if_t<std::is_invocable_v<F&, const std::string&> &&
                                   !std::is_invocable_v<F&, LogLevel, const std::string&> &&
                                   !std::is_same_v<std::decay_t<F>, ServiceLogger>,
                               int> = 0>
    ServiceLogger(F lines)
        : m_sink([lines = std::move(lines)](LogLevel, const std::string& line) mutable {
              lines(line);
          }) {}

    void operator()(const std::string& line) const { log(LogLevel::Info, line); }
    void warning(const std::string& line) const { log(LogLevel::Warning, line); }
    void error(const std::string& line) const { log(LogLevel::Error, line); }
    void log(LogLevel level, const std::string& line) const {
        if (m_sink)
            m_sink(level, line);
    }
    explicit operator bool() const { return static_cast<bool>(m_sink); }

private:
    std::function<void(LogLevel, const std::string&)> m_sink;
};

} // namespace tarvex
