#pragma once
// The station's timers and deferred calls on the Qt event loop of the thread that creates
// the scheduler.
#include "station/scheduler.h"

#include <QObject>

namespace tarvex {

class QtScheduler : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;
    std::unique_ptr<StationTimer> createTimer(std::function<void()> callback,
                                              bool repeating) override;
    /// Queued to the scheduler's thread: safe from any thread.
    void post(std::function<void()> call) override;

private:
    QObject m_context; ///< lives on the creating thread; posted calls run there
};

} // namespace tarvex
