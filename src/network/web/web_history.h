#pragma once
// What the web page shows of the recent past without a second bookkeeping: the fate of the
// pages the durable queue numbered lately (so a page sent from the form is followed by its
// number to "sent" and the monitor's verdict), and the station's own counters as they stood at
// the start of each of the last hours (so the page draws pages, keyed time and confirmations
// per hour from differences). Both are bounded. Standard C++ only.
#include <cstdint>
#include <deque>
#include <string>

namespace tarvex {

class PageFates {
public:
    static constexpr std::size_t MaxPages = 64;

    /// The page numbered `id` came to `fate` ("on air", "sent", "stopped", "failed", "dropped",
    /// "confirmed", "not heard"); `detail` says why when it failed. A later fate replaces an
    /// earlier one; the oldest page is forgotten beyond MaxPages.
    void note(int64_t id, std::string fate, std::string detail, int64_t unixMs);
    /// The monitor's verdict, which may come before the page is "sent" (a page decoded while
    /// the transmitter is still keyed): a page sent whole is then "confirmed" or "not heard";
    /// one stopped or failed keeps that fate.
    void judge(int64_t id, bool confirmed, int64_t unixMs);
    /// [{"id","fate","detail","time_ms"}], newest first.
    std::string json() const;

private:
    struct Fate {
        int64_t id;
        std::string fate;
        std::string verdict;
        std::string detail;
        int64_t unixMs;
    };
    std::deque<Fate> m_fates; ///< oldest first
};

/// The counters the station keeps since it started, as one value.
struct StationTotals {
    uint64_t pages = 0;
    uint64_t failed = 0;
    uint64_t keyedMs = 0;
    uint64_t confirmed = 0;
    uint64_t notHeard = 0;
};

class HourlyTotals {
public:
    static constexpr std::size_t Hours = 24;

    /// Notes the totals at `unixMs`; the first note of an hour keeps them as that hour's start.
    void note(const StationTotals& now, int64_t unixMs);
    /// [{"start_ms","pages","failed","keyed_ms","confirmed","not_heard"}], oldest first: what
    /// each of the last Hours hours added to the totals (the current hour up to `now`).
    std::string json(const StationTotals& now) const;

private:
    struct Mark {
        int64_t hourStartMs;
        StationTotals totals;
    };
    std::deque<Mark> m_marks; ///< the totals at each hour's start, oldest first
};

} // namespace tarvex
