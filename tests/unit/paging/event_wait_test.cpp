// DelayMs against a fake clock and pump: exact pass structure, stop requests, the wrap of
// the tick counter, and sleeping (not spinning) between passes.
#include "paging/event_wait.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace tarvex;

namespace {

struct FakeClock : TickClock {
    uint32_t now = 1000;
    uint32_t tickMs() override { return now; }
};

/// Each pass of event processing takes `passMs`; sleeping advances the clock by the time
/// asked for (or less when an event is due earlier). `onPass` plays an event handler.
struct FakePump : EventPump {
    FakeClock& clock;
    uint32_t passMs = 1;
    uint32_t nextEventIn = UINT32_MAX; ///< an event wakes the sleeper after this long
    int passes = 0;
    std::vector<uint32_t> sleeps;
    std::function<void(int)> onPass;

    explicit FakePump(FakeClock& c) : clock(c) {}
    void processEvents() override {
        ++passes;
        clock.now += passMs;
        if (onPass)
            onPass(passes);
    }
    void waitForEvents(uint32_t maxMs) override {
        sleeps.push_back(maxMs);
        clock.now += std::min(maxMs, nextEventIn);
    }
};

struct EventWaitTest : ::testing::Test {
    FakeClock clock;
    FakePump pump{clock};
    EventWait wait{clock, pump};
};

TEST_F(EventWaitTest, ZeroReturnsAtOnceWithoutProcessingEvents) {
    EXPECT_EQ(wait.DelayMs(0), WaitEnd::Elapsed);
    EXPECT_EQ(pump.passes, 0);
    EXPECT_TRUE(pump.sleeps.empty());
    EXPECT_EQ(clock.now, 1000u);
}

TEST_F(EventWaitTest, SleepsUntilTheDeadlineInsteadOfSpinning) {
    EXPECT_EQ(wait.DelayMs(250), WaitEnd::Elapsed);
    EXPECT_EQ(clock.now, 1250u); // never less than asked, and no later than the deadline
    EXPECT_EQ(pump.passes, 1);
    EXPECT_EQ(pump.sleeps, (std::vector<uint32_t>{249}));
}

TEST_F(EventWaitTest, EventsArrivingDuringTheWaitAreProcessed) {
    pump.nextEventIn = 40; // an event every 40 ms
    wait.DelayMs(100);
    EXPECT_GE(clock.now - 1000, 100u);
    EXPECT_EQ(pump.passes, 3); // at 0, 41 and 82 ms
    EXPECT_EQ(pump.sleeps, (std::vector<uint32_t>{99, 58, 17}));
}

TEST_F(EventWaitTest, StopRequestFromAHandlerEndsTheWaitAtTheNextPassAndIsCleared) {
    pump.nextEventIn = 10;
    pump.onPass = [&](int pass) {
        if (pass == 3)
            wait.StopRequest = true;
    };
    EXPECT_EQ(wait.DelayMs(60000), WaitEnd::Stopped);
    EXPECT_EQ(pump.passes, 3);
    EXPECT_EQ(pump.sleeps.size(), 2u); // no sleep after the request
    EXPECT_FALSE(wait.StopRequest);
    EXPECT_LT(clock.now - 1000, 100u);
}

TEST_F(EventWaitTest, RequestMadeWhileNoWaitRunsEndsTheNextWaitAtItsFirstPass) {
    wait.StopRequest = true;
    EXPECT_EQ(wait.DelayMs(5000), WaitEnd::Stopped);
    EXPECT_EQ(pump.passes, 0);
    EXPECT_FALSE(wait.StopRequest);
    wait.DelayMs(5); // the next wait runs normally again
    EXPECT_EQ(pump.passes, 1);
    EXPECT_EQ(clock.now, 1005u);
}

TEST_F(EventWaitTest, WaitSpanningTheCounterWrapEndsEarlyAtTheWrap) {
    clock.now = 0xFFFFFFF0u; // 16 ms before the wrap
    pump.passMs = 0;
    pump.nextEventIn = 10;
    EXPECT_EQ(wait.DelayMs(1000), WaitEnd::Wrapped);
    // Passes at -16 and -6 ms; the sleep after the second crosses 0 and the wait ends there.
    EXPECT_EQ(pump.passes, 2);
    EXPECT_EQ(clock.now, 4u);
}

TEST(SteadyTickClock, CountsMilliseconds) {
    SteadyTickClock clock;
    SleepingEventPump pump;
    EventWait wait(clock, pump);
    const uint32_t before = clock.tickMs();
    wait.DelayMs(30);
    const uint32_t took = clock.tickMs() - before;
    EXPECT_GE(took, 30u);
    EXPECT_LT(took, 1000u);
}

} // namespace
