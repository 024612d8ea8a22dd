#include "station/basic_scheduler.h"

#include <algorithm>
#include <limits>

namespace tarvex {

struct BasicScheduler::Entry {
    std::function<void()> callback;
    bool repeating = false;
    bool active = false;
    uint32_t intervalMs = 0;
    uint32_t startedAt = 0;
};

class BasicTimer : public StationTimer {
public:
    BasicTimer(BasicScheduler& owner, std::unique_ptr<BasicScheduler::Entry> entry)
        : m_owner(owner), m_entry(std::move(entry)) {
        m_owner.m_timers.push_back(m_entry.get());
    }
    ~BasicTimer() override {
        auto& timers = m_owner.m_timers;
        timers.erase(std::remove(timers.begin(), timers.end(), m_entry.get()), timers.end());
    }
    void start(uint32_t ms) override {
        m_entry->active = true;
        m_entry->intervalMs = ms;
        m_entry->startedAt = m_owner.m_clock.tickMs();
    }
    void stop() override { m_entry->active = false; }
    bool active() const override { return m_entry->active; }

private:
    BasicScheduler& m_owner;
    std::unique_ptr<BasicScheduler::Entry> m_entry;
};

BasicScheduler::~BasicScheduler() = default;

std::unique_ptr<StationTimer> BasicScheduler::createTimer(std::function<void()> callback,
                                                          bool repeating) {
    auto entry = std::make_unique<Entry>();
    entry->callback = std::move(callback);
    entry->repeating = repeating;
    return std::make_unique<BasicTimer>(*this, std::move(entry));
}

void BasicScheduler::post(std::function<void()> call) {
    const std::lock_guard<std::mutex> hold(m_postedLock);
    m_posted.push_back(std::move(call));
}

int BasicScheduler::runDue() {
    int ran = 0;
    std::vector<std::function<void()>> posted;
    {
        const std::lock_guard<std::mutex> hold(m_postedLock);
        posted.swap(m_posted);
    }
    for (auto& call : posted) {
        call();
        ++ran;
    }
    // A callback may start, stop or destroy timers: look each one up again before running.
    const uint32_t now = m_clock.tickMs();
    std::vector<Entry*> due;
    for (Entry* e : m_timers)
        if (e->active && static_cast<uint32_t>(now - e->startedAt) >= e->intervalMs)
            due.push_back(e);
    for (Entry* e : due) {
        if (std::find(m_timers.begin(), m_timers.end(), e) == m_timers.end() || !e->active)
            continue;
        if (e->repeating)
            e->startedAt = now;
        else
            e->active = false;
        auto callback = e->callback; // the timer may go while its callback runs
        callback();
        ++ran;
    }
    return ran;
}

uint32_t BasicScheduler::msUntilNext() {
    {
        const std::lock_guard<std::mutex> hold(m_postedLock);
        if (!m_posted.empty())
            return 0;
    }
    const uint32_t now = m_clock.tickMs();
    uint32_t next = std::numeric_limits<uint32_t>::max();
    for (const Entry* e : m_timers) {
        if (!e->active)
            continue;
        const uint32_t elapsed = now - e->startedAt;
        next = std::min(next, elapsed >= e->intervalMs ? 0u : e->intervalMs - elapsed);
    }
    return next;
}

void SchedulingPump::processEvents() {
    m_inner.processEvents();
    m_scheduler.runDue();
}

void SchedulingPump::waitForEvents(uint32_t maxMs) {
    const uint32_t next = m_scheduler.msUntilNext();
    if (next == 0)
        return;
    m_inner.waitForEvents(std::min(maxMs, next));
}

} // namespace tarvex
