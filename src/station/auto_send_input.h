#pragma once
// Auto send as one of the station's inputs: polls the drop folder's file (under its lock) on a
// timer of its own, and feeds the engine the entries that are due, one page at a time with
// AutoDelay after each, through the engine's one seam for inputs (PageFeed). It keys nothing
// and waits for nothing itself. Entries taken and not sent (STOP, the program's end) go back
// to the front of their file once the transmitter is free. The poll takes nothing while the
// ident or a search is on air, while a front end holds it (the fast search's dialog) and
// during the hold after STOP. Standard C++; it runs on the engine's thread.
#include "paging/auto_send_poll.h"
#include "station/scheduler.h"
#include "station/station.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tarvex {

struct AutoSendSettings {
    bool enabled = false;
    int checkRateSeconds = 2; ///< 2..600
    int autoDelaySeconds = 0; ///< 0..10
    std::string folder;       ///< where the two files are
    std::string fileName = DefaultAutoSendFile;
    std::string lockName = DefaultLockFile;
};

class AutoSendInput : public PageFeed {
public:
    /// Feeds `station` (added as one of its feeds); both must outlive the input's use, and the
    /// input is removed from the station when it goes.
    AutoSendInput(Station& station, Scheduler& scheduler, TickClock& clock);
    ~AutoSendInput() override;
    AutoSendInput(const AutoSendInput&) = delete;
    AutoSendInput& operator=(const AutoSendInput&) = delete;

    void setSettings(const AutoSendSettings& settings);
    const AutoSendSettings& settings() const { return m_settings; }
    /// While held the polls take nothing (a front end that owns the transmitter for a while).
    void hold(bool held) { m_held = held; }
    /// One poll, as the timer runs it: takes the entries that are due and wakes the engine.
    void poll();

    struct Status {
        bool enabled = false;
        bool timer = false;      ///< the poll's timer runs
        std::size_t waiting = 0; ///< entries taken and not yet sent
        int failedPolls = 0;     ///< polls that failed in a row (the timer then stays off)
    };
    Status status() const;

    // PageFeed
    std::vector<PageJob> next(std::size_t limit) override;
    std::size_t waiting() override { return m_pending.size(); }
    bool keepsPages() const override { return false; }
    void stopped() override;
    void closing() override;

private:
    struct Entry {
        std::string text; ///< the entry as the file had it, to hand back
        PageJob job;
    };
    void ended(const std::string& text, const TxOutcome& out);
    void restartPollTimer();
    void refused(const std::string& text);
    std::vector<std::string> takePending();
    void giveBack(std::vector<std::string> entries, const std::string& why);
    void flushReturns();
    std::string fileName() const;
    std::string lockName() const;

    Station& m_station;
    TickClock& m_clock;
    AutoSendSettings m_settings;
    std::unique_ptr<StationTimer> m_pollTimer;
    std::unique_ptr<StationTimer> m_pace; ///< AutoDelay after an entry
    std::deque<Entry> m_pending;
    std::vector<std::string> m_returns; ///< to hand back once the transmitter is free
    bool m_held = false;
    bool m_paced = false;
    bool m_running = false; ///< an entry is with the engine: the poll and its timer wait
    bool m_closing = false;
    uint32_t m_dueAt = 0;
    int m_failedPolls = 0;
    LeftLock m_leftLock;
    int m_listener = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace tarvex
