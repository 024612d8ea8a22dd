#pragma once
// The station's timers without an event loop of their own: due timers and posted calls run
// when the wait's event pump passes, so a program without Qt (or a test on a fake clock)
// drives the station through the same EventWait it waits with.
#include "paging/event_wait.h"
#include "station/scheduler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvex {

class BasicScheduler : public Scheduler {
public:
    explicit BasicScheduler(TickClock& clock) : m_clock(clock) {}
    ~BasicScheduler() override;

    std::unique_ptr<StationTimer> createTimer(std::function<void()> callback,
                                              bool repeating) override;
    void post(std::function<void()> call) override;

    /// Runs the posted calls and the timers that are due; returns how many ran.
    int runDue();
    /// Milliseconds until the next timer is due (0: something is due or posted now);
    /// UINT32_MAX when nothing is pending.
    uint32_t msUntilNext();

    struct Entry;

private:
    friend class BasicTimer;
    TickClock& m_clock;
    std::vector<Entry*> m_timers;
    std::mutex m_postedLock;
    std::vector<std::function<void()>> m_posted;
};

/// An event pump that also runs a BasicScheduler's due timers and posted calls: each pass
/// processes the inner pump's events (if any) and then the scheduler; a wait sleeps no
/// longer than the next timer.
class SchedulingPump : public EventPump {
public:
    SchedulingPump(BasicScheduler& scheduler, EventPump& inner)
        : m_scheduler(scheduler), m_inner(inner) {}
    void processEvents() override;
    void waitForEvents(uint32_t maxMs) override;

private:
    BasicScheduler& m_scheduler;
    EventPump& m_inner;
};

} // namespace tarvex
