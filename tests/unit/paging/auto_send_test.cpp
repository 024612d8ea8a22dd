// Auto-send file protocol: the seconds count with its leap-day rule, line reading, timed
// entries, and which lines a poll sends and which it writes back.
#include "paging/auto_send.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace tarvex;

namespace {

TEST(SecondsSince2000, CalendarCountWithTheCurrentYearsLeapDayFromJanuary) {
    EXPECT_EQ(SecondsSince2000(2000, 1, 1, 0, 0, 0), 86400);
    EXPECT_EQ(SecondsSince2000(2001, 1, 1, 0, 0, 0), 366 * 86400);
    // Exact seconds since 2000-01-01 00:00 outside January/February of leap years.
    EXPECT_EQ(SecondsSince2000(2023, 6, 15, 12, 34, 56), 740147696);
    EXPECT_EQ(SecondsSince2000(2024, 3, 1, 0, 0, 0), 762566400);
    EXPECT_EQ(SecondsSince2000(2067, 12, 31, 23, 59, 59), 2145916799);
    // In January and February of a leap year one day ahead; 29 February equals 1 March.
    EXPECT_EQ(SecondsSince2000(2024, 1, 15, 8, 0, 0), 758620800 + 86400);
    EXPECT_EQ(SecondsSince2000(2024, 2, 29, 0, 0, 0), SecondsSince2000(2024, 3, 1, 0, 0, 0));
    // Beyond 2067 the count no longer fits and wraps as a signed 32-bit value.
    EXPECT_EQ(SecondsSince2000(2068, 3, 1, 0, 0, 0), static_cast<int32_t>(2151100800u));
}

TEST(SecondsSince2000, RejectsAMonthOutsideTheTable) {
    EXPECT_THROW(SecondsSince2000(2024, 0, 1, 0, 0, 0), std::out_of_range);
    EXPECT_THROW(SecondsSince2000(2024, 13, 1, 0, 0, 0), std::out_of_range);
}

TEST(SecondsSince2000, NowIsInTheRangeOfTheCalendar) {
    const int32_t now = SecondsSince2000();
    EXPECT_GT(now, SecondsSince2000(2024, 3, 1, 0, 0, 0));
}

TEST(AutoSendLines, LineEndsAndCtrlZ) {
    using V = std::vector<std::string>;
    EXPECT_EQ(readAutoSendLines("a\r\nb\nc"), (V{"a", "b", "c"}));
    EXPECT_EQ(readAutoSendLines("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(readAutoSendLines("a\rb\r\n"), (V{"a\rb"})); // a lone CR is no line end
    EXPECT_EQ(readAutoSendLines("x\r\n\x1Ay\r\n"), (V{"x"}));
    EXPECT_EQ(readAutoSendLines(""), V{});
    EXPECT_EQ(readAutoSendLines("\n"), (V{""}));
}

TEST(AutoSendLines, TimedEntry) {
    const auto t = splitTimedEntry("T074014769600A0512N0001234Hi");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->due, 740147696);
    EXPECT_EQ(t->entry, "00A0512N0001234Hi");
    const auto blanks = splitTimedEntry("T     8640000A0512N0001234");
    ASSERT_TRUE(blanks);
    EXPECT_EQ(blanks->due, 86400);
    EXPECT_FALSE(splitTimedEntry("t074014769600A0512N0001234")); // lower case: an ordinary line
    EXPECT_FALSE(splitTimedEntry("T07401x769600A0512N0001234")); // not a number
    EXPECT_FALSE(splitTimedEntry("00A0512N0001234"));
}

TEST(AutoSendPoll, SendsDueAndPlainEntriesInOrderAndKeepsTheRest) {
    const int32_t now = 1000000;
    const std::vector<std::string> lines = {
        "T000100000000A0512N0000001due",   // due now: sent without its prefix
        "",                                // skipped
        "T000100000100A0512N0000002later", // held back, unchanged
        "01A1200N0000003plain",
        "TxxxxxxxxxxA0512N0000004",   // bad time: sent as it stands (and fails there)
        "t000200000000A0512N0000005", // lower-case t: an ordinary line
    };
    const auto sorted = sortAutoSendLines(lines, now);
    EXPECT_EQ(sorted.send,
              (std::vector<std::string>{"00A0512N0000001due", "01A1200N0000003plain",
                                        "TxxxxxxxxxxA0512N0000004", "t000200000000A0512N0000005"}));
    EXPECT_EQ(sorted.keep, (std::vector<std::string>{"T000100000100A0512N0000002later"}));
    EXPECT_EQ(autoSendFileText(sorted.keep), "T000100000100A0512N0000002later\r\n");
    EXPECT_EQ(autoSendFileText({}), "");
}

TEST(AutoSendPoll, LinesBeyondTheTableWaitForTheNextPoll) {
    std::vector<std::string> lines;
    for (int i = 0; i < 503; ++i)
        lines.push_back("00A0512N" + std::to_string(1000000 + i));
    lines[501] = "T000000000100A0512N0000007"; // due, but beyond the table: kept as it is
    const auto sorted = sortAutoSendLines(lines, 5000);
    ASSERT_EQ(sorted.send.size(), 500u);
    EXPECT_EQ(sorted.send.back(), lines[499]);
    EXPECT_EQ(sorted.keep, (std::vector<std::string>{lines[500], lines[501], lines[502]}));
}

} // namespace
