#pragma once
// Timers and deferred calls on the station's thread, the other half of the event-loop
// adapter (the waits are EventWait's). The station's auto-send poll, ident interval and
// progress reports run from them; the Qt event loop drives them in the programs, a manual
// fake in tests.
#include <cstdint>
#include <functional>
#include <memory>

namespace tarvex {

class StationTimer {
public:
    virtual ~StationTimer() = default;
    /// (Re)starts the timer: the callback runs after ms (and every ms after that for a
    /// repeating timer) until stop().
    virtual void start(uint32_t ms) = 0;
    virtual void stop() = 0;
    virtual bool active() const = 0;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    /// A timer whose callback runs on the station's thread, from its event loop (and so
    /// also inside the station's own waits).
    virtual std::unique_ptr<StationTimer> createTimer(std::function<void()> callback,
                                                      bool repeating) = 0;
    /// Runs the call on the station's thread soon. Safe to call from any thread.
    virtual void post(std::function<void()> call) = 0;
};

} // namespace tarvex
