#include "paging/qt/qt_event_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvex {

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitForEvents(uint32_t maxMs) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || QCoreApplication::instance() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
        return;
    }
    // A timer for the deadline makes sure the blocking call below comes back in time even
    // when no other event arrives.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(std::min(maxMs, MaxSliceMs)));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace tarvex
