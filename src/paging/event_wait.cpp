#include "paging/event_wait.h"

#include <chrono>
#include <thread>

namespace tarvex {

uint32_t SteadyTickClock::tickMs() {
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    const auto ms = duration_cast<milliseconds>(steady_clock::now() - origin).count();
    return static_cast<uint32_t>(ms); // wraps like the 32-bit tick counter
}

void SleepingEventPump::waitForEvents(uint32_t maxMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
}

WaitEnd EventWait::DelayMs(uint32_t ms) {
    const uint32_t start = m_clock.tickMs();
    for (;;) {
        const uint32_t now = m_clock.tickMs();
        if (static_cast<uint32_t>(now - start) >= ms)
            return WaitEnd::Elapsed;
        if (now < start) // the counter wrapped since the wait began
            return WaitEnd::Wrapped;
        if (StopRequest) {
            StopRequest = false;
            return WaitEnd::Stopped;
        }
        m_pump.processEvents();
        if (StopRequest)
            continue; // a handler asked to stop: honour it on the next pass, without sleeping
        const uint32_t after = m_clock.tickMs();
        const uint32_t elapsed = after - start;
        if (after < start || elapsed >= ms)
            continue;
        m_pump.waitForEvents(ms - elapsed);
    }
}

} // namespace tarvex
