#pragma once
// The page log: one line per page sent, "RIC - message - date - time" with the system's
// short date and long time formats, CR LF at the end, appended to "Tarvex-LOG.txt" in the
// data folder (created on the first page).
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tarvex {

/// The message the operator sees when the log cannot be written.
inline constexpr const char* PageLogFailureText =
    "Cannot Write to the log file, the drive or file could be Read Only\r\n"
    "Try changing the Data Folder.";

/// The log file of a data folder (the folder text as stored, then "/Tarvex-LOG.txt").
QString pageLogPath(const QString& dataFolder);

/// The time in the locale's long time format without the time-zone name.
QString longTimeText(const QLocale& locale, const QTime& time);

/// One log line with its CR LF. Date and time are passed separately: the caller reads the
/// clock twice, date first.
QString pageLogLine(const QString& ric, const QString& message, const QDate& date,
                    const QTime& time, const QLocale& locale = QLocale::system());

/// Appends the line (UTF-8) to the file, creating it if needed. On failure returns false
/// and puts the operating system's reason into *reason.
bool appendPageLog(const QString& path, const QString& line, QString* reason);

} // namespace tarvex
