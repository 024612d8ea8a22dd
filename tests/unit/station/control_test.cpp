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

TEST(ControlRequest, SearchIsBoundedToTheRicRangeAndNamesWhatIsWrong) {
    const ControlParse codes = parseControlRequest("search 100 105");
    ASSERT_TRUE(codes.request);
    EXPECT_EQ(codes.request->kind, ControlRequest::Kind::Search);
    EXPECT_FALSE(codes.request->fast);
    EXPECT_EQ(codes.request->from, 100);
    EXPECT_EQ(codes.request->to, 105);
    EXPECT_EQ(codes.request->baud, 1200);
    const ControlParse fast = parseControlRequest("SEARCH FAST 0 2097151 512 INVERTED");
    ASSERT_TRUE(fast.request);
    EXPECT_TRUE(fast.request->fast && fast.request->inverted);
    EXPECT_EQ(fast.request->to, 2097151);
    EXPECT_EQ(fast.request->baud, 512);
    const std::pair<const char*, const char*> refused[] = {
        {"SEARCH 5", "SEARCH needs"},
        {"SEARCH 0 2097152", "search codes are whole numbers from 0 to 2097151"},
        {"SEARCH -1 5", "search codes are whole numbers"},
        {"SEARCH 0 99999999999999999999", "search codes are whole numbers"},
        {"SEARCH 6 5", "the search's first code 6 is above its last 5"},
        {"SEARCH 1 5 9600", "SEARCH: '9600' is not a bit rate"},
        {"SEARCH 1 5 INVERTED 1200", "SEARCH: '1200' is not a bit rate"},
    };
    for (const auto& [line, error] : refused) {
        const ControlParse p = parseControlRequest(line);
        EXPECT_FALSE(p.request) << line;
        EXPECT_EQ(p.error.rfind(error, 0), 0u) << line << ": " << p.error;
    }
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
