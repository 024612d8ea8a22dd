#pragma once
// Where the engine's thread leaves what the web interface shows and the HTTP threads pick it
// up: the station's status as one JSON text with a number that grows with each change (the
// event streams wait on it, so a change reaches every browser at once), the page log's path,
// and the way back to the engine: STOP is posted to the engine's thread, never run on an
// HTTP thread, and the engine never waits for a browser. Standard C++ only.
#include "network/durable_queue.h"
#include "station/health.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

/// What the status carries besides the health facts and the queue.
struct WebStatusExtras {
    int64_t nowMs = 0; ///< the station's clock (Unix ms)
    /// While the DAPNET link is on, its allowed time slots ("0246AC"; "*" until the server has
    /// assigned some).
    std::optional<std::string> dapnetSlots;
    double elapsedSeconds = 0; ///< of the transmission on air (total 0: none)
    double totalSeconds = 0;
    std::string fatesJson = "[]"; ///< PageFates::json()
    std::string hoursJson = "[]"; ///< HourlyTotals::json()
};

/// The status the API and the event stream send: the health facts (as `status --json` gives
/// them), the lamp with the progress of what is on air, the pages waiting in the queue, the
/// fate of the pages numbered lately, the hourly totals, the station's clock and the DAPNET
/// link's allowed slots.
std::string webStatusJson(const HealthFacts& facts, const std::vector<HealthFault>& faults,
                          const std::vector<QueuedPage>& waiting, const WebStatusExtras& extras);

class WebBoard {
public:
    /// Engine thread: the status now; streams are woken only when the text changed.
    void publish(std::string statusJson);
    /// The status and its number.
    std::pair<uint64_t, std::string> status();
    /// Waits until the number is no longer `seen`, the board is closed or the time is up.
    std::pair<uint64_t, std::string> waitForChange(uint64_t seen, std::chrono::milliseconds most);
    /// Wakes every waiting stream for good (the service is ending).
    void close();
    bool closed();

    /// At most `limit` event streams at once, so that streams cannot hold every worker.
    bool enterStream(int limit);
    void leaveStream();

    /// Keeps the service log's last lines (any thread).
    void addServiceLine(std::string_view level, std::string text, int64_t unixMs);
    /// {"lines":[{"time_ms","level","text"}]}, newest first.
    std::string serviceLogJson();

    void setLogPath(std::string path);
    std::string logPath();

    /// How STOP reaches the engine (posted to its thread); `who` names the sender for the log.
    void setStopAction(std::function<void(const std::string& who)> stop);
    bool stop(const std::string& who);

    /// What a search request got: 202 started, 400 refused as written, 409 refused by the
    /// station (one runs already), 503 no station; `text` says what or why.
    struct SearchAnswer {
        int status = 503;
        std::string text = "the station is not running";
    };
    /// How a search reaches the engine: `request` is a control-socket SEARCH line. The action
    /// hands it to the engine's thread and waits (boundedly) for its answer.
    using SearchAction =
        std::function<SearchAnswer(const std::string& request, const std::string& who)>;
    void setSearchAction(SearchAction action);
    SearchAnswer search(const std::string& request, const std::string& who);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_version = 0;
    std::string m_status = "{}";
    std::string m_logPath;
    struct ServiceLine {
        int64_t unixMs;
        std::string level;
        std::string text;
    };
    std::deque<ServiceLine> m_serviceLines; ///< the last MaxServiceLines, oldest first
    static constexpr std::size_t MaxServiceLines = 200;
    std::function<void(const std::string&)> m_stop;
    SearchAction m_search;
    int m_streams = 0;
    bool m_closed = false;
};

} // namespace tarvex
