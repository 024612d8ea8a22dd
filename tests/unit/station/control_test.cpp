// The control requests tarvexd reads from its socket, and the entry line tarvex-cli queue
// writes: what is taken, what is refused and why.
#include "paging/entry_format.h"
#include "station/control_protocol.h"

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

TEST(ControlRequest, TakesTheThreeRequestsAndRefusesEverythingElseWithAReason) {
    struct Case {
        std::string line;
        bool taken;
        std::string errorStart;
    };
    const Case cases[] = {
        {"STATUS", true, ""},
        {"status\r", true, ""},
        {"STOP", true, ""},
        {"QUEUE 11A1200N0001234Hi: there", true, ""},
        {"QUEUE", false, "QUEUE needs"},
        {"STATUS now", false, "STATUS takes no arguments"},
        {"", false, "unknown request"},
        {std::string("QUEUE 11A1200N0001234a\0b", 25), false, "the entry holds"},
        {"QUEUE " + std::string(MaxControlRequest, 'x'), false, "request longer than 4096"},
        {"\x01\x02 junk", false,
         "unknown request '?"
         "?'"},
    };
    for (const Case& c : cases) {
        const ControlParse p = parseControlRequest(c.line);
        EXPECT_EQ(p.request.has_value(), c.taken) << c.line.substr(0, 40);
        EXPECT_EQ(p.error.rfind(c.errorStart, 0), 0u) << p.error;
    }
    EXPECT_EQ(parseControlRequest("QUEUE 11A1200N0001234Hi: there").request->entry,
              "11A1200N0001234Hi: there");
}

TEST(EntryLine, WritesWhatTheEntryParserReadsBackAndRefusesWhatItCannotHold) {
    PageParams page{"77", 2, Coding::Numeric, 2400, true, "0123"};
    const auto line = entryLine(page);
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "10N2400I00000770123");
    const EntryParse back = parsePageEntry(*line);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(toPageParams(back.entry).message, "0123");
    page.ric = "2097152";
    EXPECT_FALSE(entryLine(page));
    page.ric = "1";
    page.message = "two\nlines";
    EXPECT_FALSE(entryLine(page));
}

} // namespace
