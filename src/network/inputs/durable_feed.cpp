#include "network/inputs/durable_feed.h"

#include <cctype>
#include <chrono>
#include <limits>

namespace tarvex {

DurableFeed::DurableFeed(DurableQueue& queue, Station& station, ServiceLogger log, int64_t maxAgeMs,
                         std::function<int64_t()> now)
    : m_queue(queue), m_station(station), m_log(std::move(log)), m_maxAgeMs(maxAgeMs),
      m_now(std::move(now)) {
    // What the queue already holds (pages kept over a restart) counts against the bounds.
    std::string error;
    for (const QueuedPage& page : m_queue.pending(std::numeric_limits<std::size_t>::max(), &error))
        m_held[page.id] = {page.source, page.page.message.size()};
}

void DurableFeed::setBounds(const Bounds& bounds) {
    std::lock_guard lock(m_countMutex);
    m_bounds = bounds;
}

void DurableFeed::removed(int64_t id) {
    std::lock_guard lock(m_countMutex);
    m_held.erase(id);
}

int64_t DurableFeed::now() const {
    if (m_now)
        return m_now();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::map<std::string, uint64_t> DurableFeed::acceptedBySource() {
    std::lock_guard lock(m_countMutex);
    return m_accepted;
}

std::optional<int64_t> DurableFeed::accept(const QueuedPage& page, std::string* error) {
    QueuedPage stamped = page;
    if (stamped.acceptedAtMs == 0)
        stamped.acceptedAtMs = now();
    const std::size_t bytes = page.page.message.size();
    std::lock_guard lock(m_countMutex);
    // Counted from the pages held (a few thousand at most): nothing to keep in step.
    std::size_t pages = 0, totalBytes = 0, fromPages = 0, fromBytes = 0;
    for (const auto& [id, held] : m_held) {
        ++pages;
        totalBytes += held.second;
        if (held.first == page.source) {
            ++fromPages;
            fromBytes += held.second;
        }
    }
    if (pages + 1 > m_bounds.pages || totalBytes + bytes > m_bounds.bytes) {
        *error = std::string(PageQueueFull) + " (" + std::to_string(pages) +
                 " pages waiting); try again later";
        return std::nullopt;
    }
    if (fromPages + 1 > m_bounds.pagesPerSource || fromBytes + bytes > m_bounds.bytesPerSource) {
        *error = std::string(PageQueueFull) + " for " + page.source + " (" +
                 std::to_string(fromPages) + " of its pages waiting); try again later";
        return std::nullopt;
    }
    const auto id = m_queue.add(stamped, error);
    if (!id)
        return id;
    m_held[*id] = {page.source, bytes};
    ++m_accepted[page.source];
    m_station.wake();
    return id;
}

std::size_t DurableFeed::waiting() {
    return m_queue.size();
}

std::vector<PageJob> DurableFeed::next(std::size_t limit) {
    std::string error;
    if (m_maxAgeMs > 0) {
        for (const QueuedPage& old : m_queue.dropOlderThan(now(), m_maxAgeMs, &error)) {
            removed(old.id);
            tell(old.id, "dropped", "older than the age limit");
            m_log.warning(
                "dropped page #" + std::to_string(old.id) + " for RIC " + old.page.ric + " from " +
                old.source + (old.origin.empty() ? "" : " (" + old.origin + ")") + ": accepted " +
                std::to_string((now() - old.acceptedAtMs) / 60000) +
                " min ago, older than the limit of " + std::to_string(m_maxAgeMs / 60000) + " min");
        }
    }
    std::vector<PageJob> jobs;
    for (const QueuedPage& page : m_queue.pending(limit + m_inFlight.size(), &error)) {
        if (jobs.size() == limit)
            break;
        if (m_inFlight.count(page.id) == 0)
            jobs.push_back(jobFor(page));
    }
    if (!error.empty())
        m_log.error("page queue: " + error);
    return jobs;
}

PageJob DurableFeed::jobFor(const QueuedPage& page) {
    PageJob job;
    job.source = page.source == "dapnet"    ? TxSource::Dapnet
                 : page.source == "control" ? TxSource::Control
                                            : TxSource::Network;
    job.page = page.page;
    job.level = m_station.rateLevel(page.page.baud);
    job.log = m_station.options().logPages;
    // The origin names its input ("snpp 127.0.0.1"), unless it does so itself ("DAPNET host").
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    job.origin = lower(page.origin).rfind(lower(page.source), 0) == 0
                     ? page.origin
                     : page.source + (page.origin.empty() ? "" : " " + page.origin);
    // The number its sender was given, and the pager it named: one grep for "#12" follows the
    // page from its acceptance to the air.
    job.origin +=
        " #" + std::to_string(page.id) + (page.recipient.empty() ? "" : " to " + page.recipient);
    job.repeat = page.attempts > 0;
    job.queueId = page.id;
    job.returnable = true;
    if (m_describe)
        m_describe(page, job);
    const int64_t id = page.id;
    job.starting = [this, id, repeat = job.repeat, ric = page.page.ric] {
        m_inFlight.insert(id);
        tell(id, "on air");
        std::string error;
        if (!m_queue.markOnAir(id, &error))
            m_log.error("page queue: " + error);
        if (repeat)
            m_log("page #" + std::to_string(id) + " for RIC " + ric +
                  " has been keyed before (the station stopped, or its sound failed): sent "
                  "once more (repeat)");
    };
    job.finished = [this, page](const TxOutcome& out) { finished(page, out); };
    return job;
}

void DurableFeed::finished(const QueuedPage& page, const TxOutcome& out) {
    m_inFlight.erase(page.id);
    if (out.closing)
        return; // the program is ending: the page stays and goes after the restart
    if (!out.built && out.refusal == Refusal::None) {
        tell(page.id, "waiting", "stopped before keying");
        return; // not taken this time: it stays
    }
    if (!out.built) {
        drop(page.id, "page #" + std::to_string(page.id) + " for RIC " + page.page.ric +
                          " refused: " + out.error);
        return;
    }
    if (out.stopped && !out.sounded) {
        tell(page.id, "waiting", "stopped before its sound started");
        return; // it stays for after the hold
    }
    if (!out.played && !out.stopped) {
        // The output would not play: the page stays (the engine tries again after a pause),
        // until the age limit drops it.
        m_log.warning("page #" + std::to_string(page.id) + " for RIC " + page.page.ric +
                      " stays in the queue: " + out.error);
        tell(page.id, "waiting", out.error);
        return;
    }
    if (!out.portError.empty()) {
        // Played for VOX and hand-keyed set-ups, but the transmitter was not keyed for it.
        drop(page.id, "page #" + std::to_string(page.id) + " for RIC " + page.page.ric +
                          " failed: the transmitter could not be keyed: " + out.portError);
        return;
    }
    std::string error;
    if (!m_queue.remove(page.id, &error))
        m_log.error("page queue: " + error);
    removed(page.id);
    tell(page.id, out.stopped ? "stopped" : "sent");
}

void DurableFeed::tell(int64_t id, const char* fate, const std::string& why) {
    if (m_fate)
        m_fate(id, fate, why);
}

void DurableFeed::drop(int64_t id, const std::string& why) {
    tell(id, "failed", why);
    m_log.error(why);
    std::string error;
    if (!m_queue.remove(id, &error))
        m_log.error("page queue: " + error);
    removed(id);
}

} // namespace tarvex
