// DAPNET time slots: which slot a moment is in, where runs of allowed slots end and begin
// (across the end of the 102.4 s cycle too), and when the planner lets a key-up start.
#include "network/dapnet/time_slots.h"

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

constexpr int64_t Slot = TimeSlots::SlotMs;
/// A cycle start well away from the epoch: 1700000000000 ms is 265625000 slots, 8 past a whole
/// cycle, so a cycle starts 8 slots later.
constexpr int64_t Cycle = 1'700'000'000'000 + 8 * Slot;

TimeSlots slots(const char* digits) {
    return *TimeSlots::parse(digits);
}

TEST(TimeSlots, SlotOfAMoment) {
    const struct {
        int64_t ms;
        int slot;
    } cases[] = {
        {0, 0},          {6399, 0},
        {6400, 1},       {102'399, 15},
        {102'400, 0},    {1'700'000'000'000, 8},
        {Cycle - 1, 15}, {Cycle + 5 * Slot + 17, 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeSlots::slotAt(c.ms), c.slot) << c.ms;
    EXPECT_EQ(TimeSlots::slotStart(Cycle + 5 * Slot + 17), Cycle + 5 * Slot);
}

TEST(TimeSlots, ParsesTheSlotList) {
    EXPECT_EQ(slots("0246AC").mask(), 0x1455);
    EXPECT_EQ(slots("0246ac").mask(), 0x1455);
    EXPECT_EQ(slots("FF0").mask(), 0x8001);
    EXPECT_TRUE(slots("").none());
    EXPECT_TRUE(slots("0123456789ABCDEF").all());
    EXPECT_TRUE(TimeSlots().all());
    for (const char* bad : {"0G", "1 2", "4:12", "-", "0x1"})
        EXPECT_FALSE(TimeSlots::parse(bad)) << bad;
    EXPECT_EQ(slots("ca6420").text(), "0246AC");
}

TEST(TimeSlots, RunsAcrossTheEndOfTheCycle) {
    const TimeSlots wrap = slots("EF01");
    // From inside slot F the run goes on through 0 and 1 of the next cycle.
    EXPECT_EQ(*wrap.runEnd(Cycle + 15 * Slot + 100), Cycle + 16 * Slot + 2 * Slot);
    EXPECT_EQ(*wrap.runEnd(Cycle + 1 * Slot), Cycle + 2 * Slot);
    EXPECT_FALSE(wrap.runEnd(Cycle + 2 * Slot));
    // The next run after slot 1 starts at E; inside the run, the next one is a cycle later.
    EXPECT_EQ(*wrap.nextRunStart(Cycle + Slot), Cycle + 14 * Slot);
    EXPECT_EQ(*wrap.nextRunStart(Cycle + 14 * Slot), Cycle + 16 * Slot + 14 * Slot);
    EXPECT_EQ(wrap.longestRunMs(), 4 * Slot);
    EXPECT_EQ(wrap.remainingMs(Cycle + 15 * Slot + 100), 3 * Slot - 100);
    EXPECT_EQ(wrap.remainingMs(Cycle + 5 * Slot), 0);
    EXPECT_EQ(*wrap.nextAllowedTime(Cycle + 5 * Slot), Cycle + 14 * Slot);
    EXPECT_EQ(*wrap.nextAllowedTime(Cycle + 15 * Slot + 3), Cycle + 15 * Slot + 3);
}

TEST(TimeSlots, AllOrNoSlots) {
    const TimeSlots all;
    EXPECT_EQ(*all.runEnd(Cycle), TimeSlots::Forever);
    EXPECT_EQ(all.remainingMs(Cycle), TimeSlots::Forever);
    EXPECT_FALSE(all.nextRunStart(Cycle));
    const TimeSlots none = slots("");
    EXPECT_EQ(none.remainingMs(Cycle), 0);
    EXPECT_FALSE(none.nextAllowedTime(Cycle));
    EXPECT_EQ(none.longestRunMs(), 0);
}

TEST(TimeSlots, PlansAKeyUpInsideARun) {
    using K = SlotPlan::Kind;
    const struct {
        const char* mask;
        int64_t now;
        int64_t duration;
        K kind;
        int64_t start;
        int64_t runEnd;
    } cases[] = {
        // Every slot allowed: at once, however long.
        {"0123456789ABCDEF", Cycle + 7, 10 * TimeSlots::CycleMs, K::Now, Cycle + 7,
         TimeSlots::Forever},
        {"", Cycle, 1, K::Never, 0, 0},
        // Fits what is left of slot 0, to the millisecond; one more and it waits for slot 2.
        {"02", Cycle + 400, 6000, K::Now, Cycle + 400, Cycle + Slot},
        {"02", Cycle + 400, 6001, K::Later, Cycle + 2 * Slot, Cycle + 3 * Slot},
        // Outside any slot: the next run.
        {"02", Cycle + Slot + 5, 100, K::Later, Cycle + 2 * Slot, Cycle + 3 * Slot},
        // Longer than every run: never.
        {"02", Cycle, Slot + 1, K::Never, 0, 0},
        // A run that wraps from F to 0 holds a key-up longer than one slot.
        {"EF01", Cycle + 3 * Slot, 3 * Slot, K::Later, Cycle + 14 * Slot, Cycle + 18 * Slot},
        {"EF01", Cycle + 15 * Slot, 3 * Slot, K::Now, Cycle + 15 * Slot, Cycle + 18 * Slot},
        // A short run that comes first is passed over for the long one after it.
        {"04567", Cycle + 8 * Slot, 2 * Slot, K::Later, Cycle + 20 * Slot, Cycle + 24 * Slot},
        {"04567", Cycle + 8 * Slot, Slot, K::Later, Cycle + 16 * Slot, Cycle + 17 * Slot},
        // A negative length counts as nothing.
        {"4", Cycle, -5, K::Later, Cycle + 4 * Slot, Cycle + 5 * Slot},
    };
    for (const auto& c : cases) {
        const SlotPlan plan = slots(c.mask).plan(c.now, c.duration);
        SCOPED_TRACE(std::string(c.mask) + " at +" + std::to_string(c.now - Cycle) + " for " +
                     std::to_string(c.duration));
        EXPECT_EQ(plan.kind, c.kind);
        if (c.kind != K::Never) {
            EXPECT_EQ(plan.startMs, c.start);
            EXPECT_EQ(plan.runEndMs, c.runEnd);
            EXPECT_LE(plan.startMs + std::max<int64_t>(c.duration, 0), plan.runEndMs);
        }
    }
}

TEST(TimeSlots, EveryPlanEndsInsideItsRun) {
    // Sweep masks, times and lengths: a plan never starts in a closed slot, never ends after
    // its run, and says Never only when no run is long enough.
    for (const char* mask : {"0", "F0", "13579BDF", "0123", "CDEF0123", "8"}) {
        const TimeSlots s = slots(mask);
        for (int64_t now = Cycle; now < Cycle + TimeSlots::CycleMs; now += 1700) {
            for (const int64_t length : {0L, 900L, 6400L, 12'800L, 30'000L}) {
                const SlotPlan plan = s.plan(now, length);
                if (plan.kind == SlotPlan::Kind::Never) {
                    EXPECT_GT(length, s.longestRunMs()) << mask;
                    continue;
                }
                EXPECT_GE(plan.startMs, now);
                EXPECT_TRUE(s.allowedAt(plan.startMs)) << mask;
                EXPECT_EQ(*s.runEnd(plan.startMs), plan.runEndMs);
                EXPECT_LE(plan.startMs + length, plan.runEndMs) << mask;
                EXPECT_LT(plan.startMs - now, TimeSlots::CycleMs + Slot) << mask;
            }
        }
    }
}

} // namespace
