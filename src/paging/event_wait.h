#pragma once
// DelayMs: every wait of a page, tune-up, ident, auto-send pause or search step. It keeps
// processing user-interface events while it waits and ends early on StopRequest. The clock
// and the event pump are injected, so waits are tested without real time; between passes
// it sleeps until the next event or the deadline instead of spinning.
#include <cstdint>

namespace tarvex {

/// A 32-bit millisecond tick counter that wraps to 0 after 2^32 - 1.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual uint32_t tickMs() = 0;
};

/// Milliseconds since the first reading in this process (monotonic), so the counter wraps
/// only after 49.7 days of running rather than of machine uptime.
class SteadyTickClock : public TickClock {
public:
    uint32_t tickMs() override;
};

/// The user-interface side of a wait.
class EventPump {
public:
    virtual ~EventPump() = default;
    /// Processes all pending events (their handlers run to their end here).
    virtual void processEvents() = 0;
    /// Blocks until an event is pending or maxMs has passed, whichever comes first. It may
    /// return sooner; the wait reads the clock again and sleeps for the rest.
    virtual void waitForEvents(uint32_t maxMs) = 0;
};

/// For programs without an event loop (the command line): nothing to process, so a wait
/// simply sleeps.
class SleepingEventPump : public EventPump {
public:
    void processEvents() override {}
    void waitForEvents(uint32_t maxMs) override;
};

/// How a wait ended.
enum class WaitEnd {
    Elapsed, ///< the full time has passed
    Stopped, ///< a stop request ended it
    Wrapped, ///< the tick counter wrapped during the wait
};

class EventWait {
public:
    EventWait(TickClock& clock, EventPump& pump) : m_clock(clock), m_pump(pump) {}

    /// A request to end the current wait early; cleared by the wait that honours it. Set
    /// while no wait runs, it ends the next wait at its first pass.
    bool StopRequest = false;

    /// Waits ms milliseconds while processing events. Returns early when StopRequest is set
    /// (clearing it) or when the tick counter wraps during the wait. 0 returns at once
    /// without processing events. Callers may ignore how the wait ended.
    WaitEnd DelayMs(uint32_t ms);

    TickClock& clock() { return m_clock; }

private:
    TickClock& m_clock;
    EventPump& m_pump;
};

} // namespace tarvex
