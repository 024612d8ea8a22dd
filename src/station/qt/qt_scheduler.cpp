#include "station/qt/qt_scheduler.h"

#include <QMetaObject>
#include <QTimer>

namespace tarvex {

namespace {

class QtStationTimer : public StationTimer {
public:
    QtStationTimer(std::function<void()> callback, bool repeating) {
        m_timer.setSingleShot(!repeating);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [callback = std::move(callback)] { callback(); });
    }
    void start(uint32_t ms) override { m_timer.start(static_cast<int>(ms)); }
    void stop() override { m_timer.stop(); }
    bool active() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

QtScheduler::QtScheduler() = default;
QtScheduler::~QtScheduler() = default;

std::unique_ptr<StationTimer> QtScheduler::createTimer(std::function<void()> callback,
                                                       bool repeating) {
    return std::make_unique<QtStationTimer>(std::move(callback), repeating);
}

void QtScheduler::post(std::function<void()> call) {
    QMetaObject::invokeMethod(&m_context, std::move(call), Qt::QueuedConnection);
}

} // namespace tarvex
