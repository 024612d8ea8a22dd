#pragma once
// The durable page queue: a page accepted from the network is committed to disk (SQLite in
// WAL mode, synchronous FULL) before it is acknowledged, and leaves only after it has been
// played and the transmitter released. A station killed at any moment loses no accepted
// page; a page that was on air when it died is sent once more and marked as a repeat.
// Standard C++ on libsqlite3; safe to use from several threads.
#include "encoder/page_encoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

struct QueuedPage {
    int64_t id = 0;           ///< assigned by add(); increasing in acceptance order
    int64_t acceptedAtMs = 0; ///< Unix time in milliseconds
    std::string source;       ///< "snpp", "wctp", "dapnet", "control", ...
    std::string origin;       ///< who sent it (login, peer address), for the log
    std::string recipient;    ///< the pager ID or RIC as the sender gave it
    PageParams page;          ///< exactly what goes on air
    int attempts = 0;         ///< times it has been keyed; > 0 after a restart means a repeat
};

class DurableQueue {
public:
    /// Opens (creating when needed) the queue file. nullptr with *error on failure.
    static std::unique_ptr<DurableQueue> open(const std::string& path, std::string* error);
    virtual ~DurableQueue() = default;

    /// Commits the page; returns its id once it is on disk, nullopt with *error otherwise.
    virtual std::optional<int64_t> add(const QueuedPage& page, std::string* error) = 0;
    /// Pages not yet sent, oldest first, at most `limit`.
    virtual std::vector<QueuedPage> pending(std::size_t limit, std::string* error) = 0;
    /// Counts one more attempt (committed) just before the page is keyed.
    virtual bool markOnAir(int64_t id, std::string* error) = 0;
    /// Removes a page that has been played and released.
    virtual bool remove(int64_t id, std::string* error) = 0;
    /// Removes and returns the pages accepted more than maxAgeMs before nowMs.
    virtual std::vector<QueuedPage> dropOlderThan(int64_t nowMs, int64_t maxAgeMs,
                                                  std::string* error) = 0;
    virtual std::size_t size() = 0;
};

/// "PageQueue.db" in the station's program folder.
inline constexpr char DurableQueueFile[] = "PageQueue.db";

} // namespace tarvex
