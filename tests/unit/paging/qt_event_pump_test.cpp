// DelayMs with the Qt pump on a real event loop: timers run inside the wait, a stop request
// from a handler ends it, and the wait sleeps rather than spinning a core.
#include "paging/qt/qt_event_pump.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <sys/resource.h>

using namespace tarvex;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct QtEventPumpTest : ::testing::Test {
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "paging_qt_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr)
            new QCoreApplication(argc, argv);
    }
    SteadyTickClock clock;
    QtEventPump pump;
    EventWait wait{clock, pump};
};

TEST_F(QtEventPumpTest, TimersFireInsideTheWaitWhichLastsItsFullLength) {
    int fired = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++fired; });
    timer.start(20);
    const uint32_t before = clock.tickMs();
    wait.DelayMs(300);
    const uint32_t took = clock.tickMs() - before;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 600u);
    EXPECT_GE(fired, 8); // about 15 expected; a loaded machine may drop a few
}

TEST_F(QtEventPumpTest, StopRequestFromAHandlerEndsTheWaitPromptly) {
    QTimer::singleShot(50, [&] { wait.StopRequest = true; });
    const uint32_t before = clock.tickMs();
    wait.DelayMs(10000);
    EXPECT_LT(clock.tickMs() - before, 1000u);
    EXPECT_FALSE(wait.StopRequest);
}

TEST_F(QtEventPumpTest, WaitingUsesAlmostNoProcessorTime) {
    const double cpuBefore = cpuSeconds();
    wait.DelayMs(1000);
    const double cpu = cpuSeconds() - cpuBefore;
    // A spinning wait would use about one second of processor time here; a sleeping one a few
    // milliseconds, some more on a machine busy with other work (wake-ups, cache misses).
    EXPECT_LT(cpu, 0.2) << "processor time during a 1 s wait: " << cpu << " s";
}

TEST_F(QtEventPumpTest, WithoutEventsTheWaitStillEndsOnTime) {
    const uint32_t before = clock.tickMs();
    wait.DelayMs(120);
    const uint32_t took = clock.tickMs() - before;
    EXPECT_GE(took, 120u);
    EXPECT_LT(took, 400u);
}

} // namespace
