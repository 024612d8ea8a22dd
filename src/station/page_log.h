#pragma once
// The page log: one line per page sent, "RIC - message - date - time" with the system's
// short date and long time, CR LF at the end, appended to "Tarvex-LOG.txt" in the data
// folder (created on the first page). A line may carry a marker after that form (" - not
// sent: ..."), so what the station knows about the page stays beside it. Control characters
// in the texts are written escaped ("\\x0a"), so a line break in a message cannot forge a
// line. Standard C++; the date and time texts come from a LogClock (the Qt one follows the
// desktop's locale).
#include <memory>
#include <string>

namespace tarvex {

/// The message the operator sees when the log cannot be written.
inline constexpr const char* PageLogFailureText =
    "Cannot Write to the log file, the drive or file could be Read Only\r\n"
    "Try changing the Data Folder.";

inline constexpr char PageLogFileName[] = "Tarvex-LOG.txt";

/// The local date and time as the log writes them; read separately, date first.
class LogClock {
public:
    virtual ~LogClock() = default;
    virtual std::string shortDate() = 0;
    virtual std::string longTime() = 0;
};

/// The C library's local date ("%x") and time ("%X").
class CLogClock : public LogClock {
public:
    std::string shortDate() override;
    std::string longTime() override;
};

/// The log file of a data folder (the folder text as stored, then "/Tarvex-LOG.txt").
std::string pageLogPath(const std::string& dataFolder);

/// "ric - message - date - time[marker]" with its CR LF.
std::string pageLogLine(const std::string& ric, const std::string& message, const std::string& date,
                        const std::string& time, const std::string& marker = {});

/// Appends the bytes to the file, creating it if needed. On failure returns false with the
/// operating system's reason in *reason; a line the disk took only in part is cut off again,
/// so the next line does not run on from a torn one.
bool appendPageLog(const std::string& path, const std::string& line, std::string* reason);

class PageLog {
public:
    explicit PageLog(std::shared_ptr<LogClock> clock);

    void setFolder(std::string dataFolder) { m_folder = std::move(dataFolder); }
    const std::string& folder() const { return m_folder; }
    std::string path() const { return pageLogPath(m_folder); }

    /// Writes one line for a page; false with *reason when it could not be written.
    bool write(const std::string& ric, const std::string& message, const std::string& marker,
               std::string* reason);
    /// A line of its own for something the station refused or noticed (auto send, network).
    bool writeNote(const std::string& text, std::string* reason);

private:
    std::shared_ptr<LogClock> m_clock;
    std::string m_folder;
};

} // namespace tarvex
