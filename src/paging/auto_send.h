#pragma once
// Auto-send file protocol, the pure half: the seconds count that due times are written in,
// reading the file's lines, and sorting one poll's lines into pages to send now and lines
// to write back for a later poll.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Seconds since 1 January 2000 for a local date and time, as auto-send due times count
/// them: every year from 2000 to `year` divisible by 4 adds a day, the current year's
/// leap day included from 1 January on (so 1 January 2000 00:00:00 gives 86400). Wraps as
/// a signed 32-bit number. Throws std::out_of_range for a month outside 1..12.
int32_t SecondsSince2000(int year, int month, int day, int hour, int minute, int second);

/// The same for the current local date and time.
int32_t SecondsSince2000();

/// Lines a poll takes from the file; the rest wait for the next poll.
inline constexpr std::size_t AutoSendMaxLines = 500;

/// The file's text split into lines: a line ends at CR LF or at a lone LF (a lone CR stays
/// in the line); a Ctrl-Z (26) ends the text; a last line without an ending counts.
std::vector<std::string> readAutoSendLines(std::string_view text);

struct TimedEntry {
    int32_t due = 0;
    std::string entry; ///< the line from position 12 on
};

/// A timed entry: upper-case "T", a due time in positions 2..11 (decimal, leading blanks
/// or zeros), then the entry. Empty when the line does not start with "T" or its due field
/// is not a number; such a line is an ordinary entry.
std::optional<TimedEntry> splitTimedEntry(std::string_view line);

struct AutoSendSort {
    std::vector<std::string> send; ///< entries to send now, in file order, empty lines left out
    std::vector<std::string> keep; ///< lines for the rewritten file, unchanged, in file order
};

/// Sorts one poll's lines. Among the first maxLines: a timed entry due later than `now` is
/// kept, one that is due is sent without its 11-character prefix, anything else is sent
/// as it stands. Lines after the first maxLines are kept unchanged for the next poll.
AutoSendSort sortAutoSendLines(const std::vector<std::string>& lines, int32_t now,
                               std::size_t maxLines = AutoSendMaxLines);

/// The rewritten file: every line followed by CR LF. Empty text: delete the file instead.
std::string autoSendFileText(const std::vector<std::string>& keep);

} // namespace tarvex
