#pragma once
// The service's control requests, one line each over a local socket: STATUS [JSON], STOP,
// RESUME, QUEUE <entry-format line> and SEARCH [FAST] <from> <to> [<baud>] [INVERTED]. Reading a
// request is bounded and never trusts its input; the answer is "OK ..." or "ERR <reason>" on the
// first line, then the body. And the one line per transmission that the service writes to its log.
// Standard C++ only.
#include "station/health.h"
#include "station/station.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Longest request line, its line end included.
inline constexpr std::size_t MaxControlRequest = 4096;

struct ControlRequest {
    enum class Kind { Status, StatusJson, Stop, Resume, Queue, Search };
    Kind kind = Kind::Status;
    std::string entry; ///< QUEUE: the entry-format line
    // SEARCH: codes from..to (fast: 256-code blocks from `from` while below `to`), 0..MaxRic.
    bool fast = false;
    int64_t from = 0;
    int64_t to = 0;
    int baud = 1200; ///< 512, 1200 or 2400
    bool inverted = false;
};

struct ControlParse {
    std::optional<ControlRequest> request;
    std::string error; ///< why the line is refused (no request then)
};

/// Reads one request line (without its line end; a CR before it is dropped).
ControlParse parseControlRequest(std::string_view line);

/// A search asked for from outside the window (the control socket, the web interface).
struct RequestedSearch {
    bool started = false;
    std::string what; ///< "search of codes 7 to 8 at 1200 bit/s", for the log and the answer
    std::string why;  ///< why it did not start
};
/// Starts the search a SEARCH request describes, with the station's level for its rate and
/// its page log; `origin` names who asked (the log shows it).
RequestedSearch startRequestedSearch(Station& station, const ControlRequest& request,
                                     const std::string& origin);

/// The body of STATUS: "key: value" lines.
std::string statusText(const HealthFacts& facts);

/// One line for the service log: what went out (or was refused), from where, and how.
std::string serviceLogLine(const TxOutcome& outcome);
/// One line per page of the transmission (one line when it carried one page or none).
std::vector<std::string> serviceLogLines(const TxOutcome& outcome);

} // namespace tarvex
