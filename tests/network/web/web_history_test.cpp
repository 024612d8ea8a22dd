// What the web page follows pages and draws its charts from: a page's later fate replaces its
// earlier one and the list stays bounded; each hour gets what the totals grew by in it.
#include "network/web/web_history.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(PageFates, LatestFateByNumberNewestFirstAndBounded) {
    PageFates fates;
    fates.note(7, "on air", {}, 1000);
    fates.note(8, "failed", std::string("bad\n") + std::string(300, 'x'), 1001);
    fates.judge(7, true, 1002); // decoded before the release
    EXPECT_NE(fates.json().find("\"id\":7,\"fate\":\"on air\""), std::string::npos);
    fates.note(7, "sent", {}, 1002);
    fates.note(9, "stopped", {}, 1003);
    fates.judge(9, false, 1004); // a verdict on a page cut short does not hide the STOP
    const std::string j = fates.json();
    EXPECT_EQ(j.find("\"id\":7,\"fate\":\"sent\""), std::string::npos);
    EXPECT_LT(j.find("\"id\":7,\"fate\":\"confirmed\""), j.find("\"id\":8"));
    EXPECT_NE(j.find("\"id\":9,\"fate\":\"stopped\""), std::string::npos);
    EXPECT_LT(j.size(), 400u); // the reason is cut short
    for (int id = 100; id < 100 + static_cast<int>(PageFates::MaxPages); ++id)
        fates.note(id, "sent", {}, 2000);
    EXPECT_EQ(fates.json().find("\"id\":7,"), std::string::npos);
    EXPECT_NE(fates.json().find("\"id\":100,"), std::string::npos);
}

TEST(HourlyTotals, EachHourGetsWhatItAddedAndOnlyTheLastDayIsKept) {
    constexpr int64_t Hour = 3600 * 1000;
    HourlyTotals hours;
    const int64_t t0 = 1000 * Hour + 1234;
    hours.note({0, 0, 0, 0, 0}, t0);
    hours.note({5, 1, 9000, 4, 1}, t0 + 10); // within the same hour: not a new mark
    hours.note({6, 1, 9500, 4, 1}, t0 + Hour);
    EXPECT_EQ(hours.json({8, 2, 12000, 6, 1}),
              "[{\"start_ms\":" + std::to_string(1000 * Hour) +
                  ",\"pages\":6,\"failed\":1,\"keyed_ms\":9500,\"confirmed\":4,\"not_heard\":1},"
                  "{\"start_ms\":" +
                  std::to_string(1001 * Hour) +
                  ",\"pages\":2,\"failed\":1,\"keyed_ms\":2500,\"confirmed\":2,\"not_heard\":0}]");
    for (int h = 2; h < 40; ++h)
        hours.note({}, t0 + h * Hour);
    const std::string j = hours.json({});
    EXPECT_EQ(j.find(std::to_string(1015 * Hour)), std::string::npos);
    EXPECT_NE(j.find(std::to_string(1016 * Hour)), std::string::npos);
}
