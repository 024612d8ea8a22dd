#pragma once
// Between the network inputs and the station engine, the one hand-off from the inputs'
// threads to the engine's: a page the page intake takes from any input is committed to the
// durable queue and the station woken (PageSink, from any thread); the station takes pages
// from the queue when the transmitter is free (PageFeed, on its own thread), marks each as
// keyed just before the key, and removes it once it has been played and the transmitter
// released. Pages older than the age limit are dropped with a log line instead of going out
// late.
#include "network/durable_queue.h"
#include "network/page_sink.h"
#include "station/station.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>

namespace tarvex {

class DurableFeed : public PageSink, public PageFeed {
public:
    /// How much the queue holds, in all and from any one input (so that a flood from one
    /// cannot crowd out the rest); a page beyond it is refused with PageQueueFull.
    struct Bounds {
        std::size_t pages = 5000;
        std::size_t bytes = 8u << 20; ///< the messages' bytes
        std::size_t pagesPerSource = 1000;
        std::size_t bytesPerSource = 2u << 20;
    };

    /// maxAgeMs <= 0: no age limit. `now` gives Unix ms (null: the system clock).
    DurableFeed(DurableQueue& queue, Station& station, ServiceLogger log, int64_t maxAgeMs,
                std::function<int64_t()> now = {});

    // PageSink: from any thread.
    std::optional<int64_t> accept(const QueuedPage& page, std::string* error) override;

    // PageFeed: on the station's thread.
    std::vector<PageJob> next(std::size_t limit) override;
    std::size_t waiting() override;

    void setMaxAge(int64_t maxAgeMs) { m_maxAgeMs = maxAgeMs; }
    /// Pages taken since start, by source (from any thread).
    std::map<std::string, uint64_t> acceptedBySource();
    void setBounds(const Bounds& bounds);
    /// Fills in what the queue does not keep about a page's pager: how the log shows its
    /// text (the bytes read back through the pager's set) and the set itself. Null: the bytes
    /// as Latin-1, no set.
    using Describe = std::function<void(const QueuedPage&, PageJob&)>;
    void setDescribe(Describe describe) { m_describe = std::move(describe); }
    /// Told what became of each page (station thread): "on air", "waiting" (again),
    /// "sent", "stopped", "failed" or "dropped" by its number, and why when it did not go.
    using FateHook = std::function<void(int64_t id, const char* fate, const std::string& why)>;
    void setFateHook(FateHook hook) { m_fate = std::move(hook); }

private:
    PageJob jobFor(const QueuedPage& page);
    void finished(const QueuedPage& page, const TxOutcome& outcome);
    void drop(int64_t id, const std::string& why);
    void tell(int64_t id, const char* fate, const std::string& why = {});
    void removed(int64_t id);
    int64_t now() const;

    DurableQueue& m_queue;
    Station& m_station;
    ServiceLogger m_log;
    int64_t m_maxAgeMs;
    std::function<int64_t()> m_now;
    Describe m_describe;
    FateHook m_fate;
    std::set<int64_t> m_inFlight;
    std::mutex m_countMutex; ///< accept() runs on the inputs' threads
    Bounds m_bounds;
    std::map<int64_t, std::pair<std::string, std::size_t>> m_held; ///< id: source, bytes
    std::map<std::string, uint64_t> m_accepted;                    ///< source: pages taken
};

} // namespace tarvex
