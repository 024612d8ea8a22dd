#pragma once
// The Qt side of DelayMs: processes the thread's pending Qt events and, between passes,
// blocks in the event dispatcher until the next event or the deadline, so a wait keeps
// the window live without spinning a core.
#include "paging/event_wait.h"

namespace tarvex {

class QtEventPump : public EventPump {
public:
    /// Pending events of the calling thread, user input included.
    void processEvents() override;
    /// Sleeps in the event dispatcher until an event arrives or maxMs has passed (a plain
    /// sleep when the thread has no Qt event dispatcher), at most MaxSliceMs at a time.
    void waitForEvents(uint32_t maxMs) override;

    /// Longest single sleep. One long dispatcher timeout can come back late by over 1 %
    /// (150 ms on a 10 s wait here); slices keep the end of a wait within about a
    /// millisecond at a cost of four wake-ups a second.
    static constexpr uint32_t MaxSliceMs = 250;
};

} // namespace tarvex
