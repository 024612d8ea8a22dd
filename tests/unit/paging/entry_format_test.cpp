// Entry format: each field's accepted texts, the first failing field with its exact message
// and how far the line got, and the RIC/message taken as written.
#include "paging/entry_format.h"

#include <gtest/gtest.h>

using namespace tarvex;
namespace msg = tarvex::entry_messages;

namespace {

TEST(EntryFormat, WholeEntryIsReadField_by_field) {
    const auto p = parsePageEntry("10N1200I0001234  Hello, World ");
    ASSERT_TRUE(p.ok());
    EXPECT_FALSE(p.error);
    EXPECT_EQ(p.entry.functionBits, 2);
    EXPECT_EQ(p.entry.coding, Coding::Numeric);
    EXPECT_EQ(p.entry.baud, 1200);
    EXPECT_TRUE(p.entry.inverted);
    EXPECT_EQ(p.entry.ric, "0001234");             // leading zeros kept
    EXPECT_EQ(p.entry.message, "  Hello, World "); // no trimming, no change of case

    const PageParams page = toPageParams(p.entry);
    EXPECT_EQ(page.ric, "0001234");
    EXPECT_EQ(page.functionBits, 2);
    EXPECT_EQ(page.coding, Coding::Numeric);
    EXPECT_EQ(page.baud, 1200);
    EXPECT_TRUE(page.inverted);
    EXPECT_EQ(page.message, "  Hello, World ");
}

TEST(EntryFormat, AcceptedFieldValues) {
    const std::pair<const char*, int> fbs[] = {{"00", 0}, {"01", 1}, {"10", 2}, {"11", 3}};
    for (auto [text, value] : fbs)
        EXPECT_EQ(parsePageEntry(std::string(text) + "A0512N0000000").entry.functionBits, value);
    EXPECT_EQ(parsePageEntry("00A0512N0000000").entry.baud, 512);
    EXPECT_EQ(parsePageEntry("00A2400N0000000").entry.baud, 2400);
    // Lower-case letters pass in the coding and polarity fields.
    const auto lower = parsePageEntry("00a0512i0000000");
    ASSERT_TRUE(lower.ok());
    EXPECT_EQ(lower.entry.coding, Coding::Alphanumeric);
    EXPECT_TRUE(lower.entry.inverted);
    EXPECT_TRUE(parsePageEntry("00n0512n0000000").ok());
    EXPECT_EQ(parsePageEntry("00A0512N0000000").entry.message, ""); // exactly 15 characters
}

TEST(EntryFormat, RicField) {
    EXPECT_TRUE(parsePageEntry("00A0512N2097151").ok());
    EXPECT_TRUE(parsePageEntry("00A0512N  12345").ok()); // leading blanks
    EXPECT_TRUE(parsePageEntry("00A0512N+001234").ok()); // a sign
    EXPECT_EQ(parsePageEntry("00A0512N  12345x").entry.ric, "  12345");

    const auto big = parsePageEntry("00A0512N2097152");
    EXPECT_EQ(big.error, msg::RicRange);
    EXPECT_EQ(big.progress, EntryProgress::Polarity);
    EXPECT_EQ(parsePageEntry("00A0512N-000001").error, msg::RicRange);
    EXPECT_EQ(parsePageEntry("00A0512N00012A4").error, msg::RicNotNumber);
    EXPECT_EQ(parsePageEntry("00A0512N1234   hi").error, msg::RicNotNumber); // trailing blanks
    EXPECT_EQ(parsePageEntry("00A0512N       ").error, msg::RicNotNumber);
    EXPECT_TRUE(parsePageEntry("00A0512N2097152").entry.ric.empty()); // RIC set only on success
}

TEST(EntryFormat, FirstFieldInErrorWithItsMessageAndProgress) {
    struct Case {
        const char* line;
        const char* message;
        EntryProgress progress;
    };
    const Case cases[] = {
        {"00A0512N000000", msg::Format, EntryProgress::None}, // 14 characters
        {"", msg::Format, EntryProgress::None},
        {"02A0512N0001234", msg::FunctionBits, EntryProgress::None},
        {"2 X9999Z0001234", msg::FunctionBits, EntryProgress::None}, // every field wrong
        {"01X0512N0001234", msg::Coding, EntryProgress::FunctionBits},
        {"01ZA512Z0001234", msg::Coding, EntryProgress::FunctionBits},
        {"01AA512Z0001234", msg::Baud, EntryProgress::Coding},
        {"01N0513N0001234", msg::Baud, EntryProgress::Coding},
        {"01N512 N0001234", msg::Baud, EntryProgress::Coding},
        {"01N2400X0001234", msg::Polarity, EntryProgress::Baud},
        {"01N2400N00x1234", msg::RicNotNumber, EntryProgress::Polarity},
    };
    for (const auto& c : cases) {
        const auto p = parsePageEntry(c.line);
        EXPECT_FALSE(p.ok()) << c.line;
        EXPECT_EQ(p.error, c.message) << c.line;
        EXPECT_EQ(p.progress, c.progress) << c.line;
    }
    // The fields before the error are there for the caller to apply.
    const auto p = parsePageEntry("11N2400X0001234");
    EXPECT_EQ(p.entry.functionBits, 3);
    EXPECT_EQ(p.entry.coding, Coding::Numeric);
    EXPECT_EQ(p.entry.baud, 2400);
}

TEST(EntryFormat, MessagesAreTheOperatorsTextsVerbatim) {
    EXPECT_STREQ(msg::Coding,
                 "Error in the message format! The Aplha/Numeric must be either A or N.");
    EXPECT_STREQ(msg::RicNotNumber, "Error in the message format! Most likely to be the RIC code.");
}

} // namespace
