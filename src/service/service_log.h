#pragma once
// How tarvexd writes its log on standard error. Under systemd, when standard error is the
// journal (JOURNAL_STREAM names it), each line starts with its priority ("<4>") and carries
// no time of its own: journald adds the time and the program's name. Anywhere else a line
// is "2026-12-09T13:41:19+01:00 tarvexd warning: text". Text is escaped, so one event is one
// line whatever it quotes. Messages of the libraries below (Qt, ALSA) come through here too.
#include "network/service_logger.h"

#include <ctime>
#include <functional>
#include <string>

namespace tarvex {

enum class LogTarget { Journal, Plain };

/// Journal when JOURNAL_STREAM names the device and inode standard error is open on.
LogTarget logTargetOfStderr();
/// One line, without its line end; `when` only matters for a plain line.
std::string formatLogLine(LogTarget target, LogLevel level, const std::string& text,
                          std::time_t when);
/// Writes one line on standard error for the target found at the first call.
void writeServiceLog(LogLevel level, const std::string& text);
/// Also hands every line (escaped, without time) to `tap`, called under the log's lock from
/// whichever thread logs; set once before other threads log.
void setServiceLogTap(std::function<void(LogLevel, const std::string&)> tap);
/// Sends Qt's messages and ALSA's error reports to the service log with their levels.
void routeLibraryMessages();

} // namespace tarvex
