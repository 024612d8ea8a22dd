#pragma once
// Where the page intake hands the inputs' pages: the sink commits each page to the durable
// queue and wakes the station, which sends it when the transmitter is free. An input
// acknowledges a page only after accept() has returned its id. Standard C++ only.
#include "network/durable_queue.h"
#include "network/service_logger.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarvex {

/// How a sink's refusal starts when the queue has no room (the sender may try later).
inline constexpr char PageQueueFull[] = "the page queue is full";

class PageSink {
public:
    virtual ~PageSink() = default;
    /// Commits the page and schedules it; its id, or nullopt with *error (the page was not
    /// taken: the sender must be told). May be called from any thread.
    virtual std::optional<int64_t> accept(const QueuedPage& page, std::string* error) = 0;
};

} // namespace tarvex
