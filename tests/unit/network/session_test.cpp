// The DAPNET session: what it answers to each kind of server line, that a page is
// acknowledged only once the caller says it is queued, how sequence numbers, repeats after a
// lost acknowledgement and malformed or over-long lines are handled.
#include "network/dapnet/dapnet_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;
using Lines = std::vector<std::string>;
using K = DapnetEventKind;

namespace {

DapnetIdentity identity() {
    DapnetIdentity id;
    id.version = "3.0.0";
    id.callsign = "dl1abc";
    id.authKey = "s3cret";
    return id;
}

std::vector<K> kinds(const DapnetOutput& out) {
    std::vector<K> k;
    for (const DapnetEvent& e : out.events)
        k.push_back(e.kind);
    return k;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override { EXPECT_EQ(m_s.begin(identity()), "[Tarvex v3.0.0 dl1abc s3cret]"); }
    DapnetOutput line(std::string_view text, int64_t now = 1000) {
        return m_s.handleLine(text, now);
    }
    /// Sends a page line and queues it; the acknowledgement.
    std::string queue(std::string_view text, int64_t now = 1000) {
        const DapnetOutput out = line(text, now);
        EXPECT_TRUE(out.page) << text;
        EXPECT_TRUE(out.send.empty()) << "nothing is answered before the page is queued";
        return m_s.pageQueued(now);
    }
    DapnetSession m_s;
};

TEST_F(Session, AnswersTheHandshakeLines) {
    const struct {
        const char* line;
        Lines send;
        std::vector<K> events;
        int64_t value;
    } cases[] = {
        {"2:1A2B", {"2:1A2B:0000", "+"}, {K::TimeSync}, 0x1A2B},
        {"2:1a2b\r", {"2:1a2b:0000", "+"}, {K::TimeSync}, 0x1A2B}, // echoed as it came
        {"3:+0012", {"+"}, {K::TimeCorrection}, 18},
        {"3:-000A", {"+"}, {K::TimeCorrection}, -10},
        {"3:+:0005", {"+"}, {K::TimeCorrection}, 5}, // older servers' form
        {"2:12345", {}, {K::Garbage}, 0},
        {"2:", {}, {K::Garbage}, 0},
        {"3:0012", {}, {K::Garbage}, 0},
        {"4:0246AG", {}, {K::Garbage}, 0},
        {"hello", {}, {K::Garbage}, 0},
        {"+", {}, {K::Garbage}, 0},
        {"#ZZ 6:1:9C8:3:x", {}, {K::Garbage}, 0},
        {"#0", {}, {K::Garbage}, 0},
        {"", {}, {}, 0},
    };
    for (const auto& c : cases) {
        const DapnetOutput out = line(c.line);
        EXPECT_EQ(out.send, c.send) << c.line;
        EXPECT_EQ(kinds(out), c.events) << c.line;
        if (!c.events.empty() && c.events[0] != K::Garbage) {
            EXPECT_EQ(out.events[0].value, c.value) << c.line;
        }
        EXPECT_FALSE(out.page);
    }
    EXPECT_EQ(m_s.state(), DapnetSession::State::LoggingIn);
}

TEST_F(Session, SlotAssignmentsAtAnyTime) {
    DapnetOutput out = line("4:0246AC");
    EXPECT_EQ(out.send, Lines{"+"});
    EXPECT_EQ(kinds(out), (std::vector<K>{K::Slots, K::Online}));
    EXPECT_EQ(m_s.state(), DapnetSession::State::Online);
    EXPECT_EQ(m_s.allowedSlots().text(), "0246AC");
    queue("#00 6:1:9C8:3:x");
    out = line("4:13");
    EXPECT_EQ(out.send, Lines{"+"});
    EXPECT_EQ(kinds(out), std::vector<K>{K::Slots});
    EXPECT_EQ(out.events[0].allowed.text(), "13");
    out = line("4:");
    EXPECT_TRUE(m_s.allowedSlots().none());
    EXPECT_TRUE(m_s.slotsAssigned());
}

TEST_F(Session, RefusalsCarryTheirText) {
    for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
             {"7 Invalid credentials", "Invalid credentials"},
             {"07 Transmitter not registered", "Transmitter not registered"},
             {"7", "(no reason given)"}}) {
        const DapnetOutput out = line(text);
        ASSERT_EQ(kinds(out), std::vector<K>{K::Refusal}) << text;
        EXPECT_EQ(out.events[0].text, reason);
        EXPECT_TRUE(out.send.empty());
        EXPECT_EQ(m_s.state(), DapnetSession::State::Refused);
    }
    // A refusal the server sent without a line end before closing is still seen.
    DapnetSession s;
    s.begin(identity());
    const DapnetOutput out = s.end("7 Transmitter disabled");
    ASSERT_EQ(kinds(out), std::vector<K>{K::Refusal});
    EXPECT_EQ(out.events[0].text, "Transmitter disabled");
}

TEST_F(Session, ReadsPages) {
    const struct {
        const char* line;
        const char* ric;
        Coding coding;
        int baud;
        int function;
        const char* text;
        const char* ack;
    } cases[] = {
        {"#00 6:1:9C8:3:Hello: world:", "2504", Coding::Alphanumeric, 1200, 3,
         "Hello: world:", "#01 +"},
        {"#01 5:0:1:0:0123 456", "1", Coding::Numeric, 512, 0, "0123 456", "#02 +"},
        {"#02 6:2:1FFFFF:2:", "2097151", Coding::Alphanumeric, 2400, 2, "", "#03 +"},
        {"#03 6:1:0a:1:  spaces kept  ", "10", Coding::Alphanumeric, 1200, 1, "  spaces kept  ",
         "#04 +"},
        {"#04 6:1:10:1", "16", Coding::Alphanumeric, 1200, 1, "", "#05 +"},
        {"#0F 6:1:10:1:Gr\xC3\xBC\xC3\x9F"
         "e {}",
         "16", Coding::Alphanumeric, 1200, 1, "Gr}~e {}", "#10 +"},
    };
    for (const auto& c : cases) {
        const DapnetOutput out = line(c.line);
        ASSERT_TRUE(out.page) << c.line;
        EXPECT_EQ(out.page->page.ric, c.ric);
        EXPECT_EQ(out.page->page.coding, c.coding);
        EXPECT_EQ(out.page->page.baud, c.baud);
        EXPECT_EQ(out.page->page.functionBits, c.function);
        EXPECT_EQ(out.page->page.message, c.text);
        EXPECT_EQ(m_s.pageQueued(1000), c.ack);
    }
}

TEST_F(Session, RefusesPagesItCannotRead) {
    // Read, but never sendable: acknowledging them would promise what cannot be done.
    const std::string tooLongAlpha = "#10 6:1:9C8:3:" + std::string(700, 'x');
    const std::string tooLongNumeric = "#10 5:1:9C8:3:" + std::string(1000, '1');
    for (const std::string& bad :
         {std::string("#10 7:1:9C8:3:x"), std::string("#10 6:3:9C8:3:x"),
          std::string("#10 6:1:200000:3:x"), std::string("#10 6:1:xyz:3:x"),
          std::string("#10 6:1:9C8:4:x"), std::string("#10 6:1::3:x"), std::string("#10 :::"),
          std::string("#10 6:1:123456789:3:x"), std::string("#10 6:1:9C8:33:x"), tooLongAlpha,
          tooLongNumeric}) {
        const DapnetOutput out = line(bad);
        EXPECT_FALSE(out.page) << bad;
        EXPECT_EQ(out.send, Lines{"#10 -"}) << bad;
        EXPECT_EQ(kinds(out), std::vector<K>{K::PageRefused}) << bad;
    }
}

TEST_F(Session, AcknowledgesOnlyAQueuedPage) {
    EXPECT_EQ(m_s.pageQueued(1000), "") << "no page waiting: nothing to acknowledge";
    const DapnetOutput out = line("#FE 6:1:9C8:3:a");
    ASSERT_TRUE(out.page);
    EXPECT_TRUE(m_s.awaitingDecision());
    // A second page before the first is answered is not taken.
    const DapnetOutput early = line("#FF 6:1:9C8:3:b");
    EXPECT_FALSE(early.page);
    EXPECT_TRUE(early.send.empty());
    EXPECT_EQ(m_s.pageQueued(1000), "#FF +");
    EXPECT_EQ(queue("#FF 6:1:9C8:3:b"), "#00 +") << "numbers wrap after FF";
    EXPECT_EQ(queue("#00 6:1:9C8:3:c"), "#01 +");
}

TEST_F(Session, APageThatCannotBeQueuedIsAskedForAgain) {
    ASSERT_TRUE(line("#07 6:1:9C8:3:a").page);
    EXPECT_EQ(m_s.pageNotQueued(), "#07 %");
    // The server sends the same page with the same number: a new chance, not a repeat.
    const DapnetOutput again = line("#07 6:1:9C8:3:a");
    ASSERT_TRUE(again.page);
    EXPECT_EQ(kinds(again), std::vector<K>{K::Page});
    EXPECT_EQ(m_s.pageQueued(1000), "#08 +");
}

TEST_F(Session, SequenceGapsAreReportedAndThePageTaken) {
    queue("#01 6:1:9C8:3:a");
    const DapnetOutput out = line("#05 6:1:9C8:3:b");
    EXPECT_TRUE(out.page);
    EXPECT_EQ(kinds(out), (std::vector<K>{K::SequenceGap, K::Page}));
    EXPECT_EQ(m_s.pageQueued(1000), "#06 +");
}

TEST_F(Session, ARepeatAfterALostAcknowledgementIsNotQueuedTwice) {
    // Same connection, same number, same page: acknowledged again, not handed out.
    queue("#03 6:1:9C8:3:a");
    DapnetOutput out = line("#03 6:1:9C8:3:a");
    EXPECT_FALSE(out.page);
    EXPECT_EQ(out.send, Lines{"#04 +"});
    EXPECT_EQ(kinds(out), std::vector<K>{K::Duplicate});
    // The same number with another page is a page of its own.
    EXPECT_TRUE(line("#04 6:1:9C8:3:b").page);
}

TEST(SessionReconnect, TheFirstPageOfTheNextConnectionMayRepeatTheLastOne) {
    const struct {
        const char* name;
        bool confirmedBeforeDrop; ///< another page came after it: its ack had arrived
        const char* firstAfter;
        int64_t after;
        bool duplicate;
    } cases[] = {
        {"same page first", false, "#00 6:1:9C8:3:last", 5'000, true},
        {"another page first", false, "#00 6:1:9C8:3:other", 5'000, false},
        {"same text, other RIC", false, "#00 6:1:9C9:3:last", 5'000, false},
        {"too late", false, "#00 6:1:9C8:3:last", 11 * 60'000, false},
        {"ack had arrived", true, "#00 6:1:9C8:3:last", 5'000, false},
    };
    for (const auto& c : cases) {
        DapnetSession s;
        s.begin(identity());
        ASSERT_TRUE(s.handleLine("#41 6:1:9C8:3:last", 1000).page);
        s.pageQueued(1000);
        if (c.confirmedBeforeDrop) {
            ASSERT_TRUE(s.handleLine("#42 6:1:9C8:3:next", 1000).page);
            s.pageNotQueued();
        }
        s.end("");
        s.begin(identity());
        const DapnetOutput out = s.handleLine(c.firstAfter, 1000 + c.after);
        EXPECT_EQ(!out.page, c.duplicate) << c.name;
        if (c.duplicate) {
            EXPECT_EQ(out.send, Lines{"#01 +"}) << c.name;
        }
    }
    // Only the first page of the connection can be the repeat.
    DapnetSession s;
    s.begin(identity());
    s.handleLine("#41 6:1:9C8:3:last", 1000);
    s.pageQueued(1000);
    s.end("");
    s.begin(identity());
    s.handleLine("#00 6:1:9C8:3:other", 2000);
    s.pageQueued(2000);
    EXPECT_TRUE(s.handleLine("#01 6:1:9C8:3:last", 2000).page);
}

TEST(SessionReconnect, HalfAPageIsDroppedWithTheLink) {
    DapnetSession s;
    s.begin(identity());
    const DapnetOutput out = s.end("#05 6:1:9C8:3:Hal");
    EXPECT_FALSE(out.page);
    EXPECT_EQ(kinds(out), std::vector<K>{K::Garbage});
    EXPECT_EQ(s.pageQueued(1000), "");
}

TEST_F(Session, OverlongLines) {
    DapnetOutput out = m_s.handleOverlong("#12 6:1:9C8:3:xx");
    EXPECT_EQ(out.send, Lines{"#12 -"}) << "the server waits for an answer to the page";
    EXPECT_EQ(kinds(out), (std::vector<K>{K::Overlong, K::PageRefused}));
    out = m_s.handleOverlong("xxxxxxxxxxxxxxxx");
    EXPECT_TRUE(out.send.empty());
    EXPECT_EQ(kinds(out), std::vector<K>{K::Overlong});
}

TEST(SessionIdentity, LoginLineProblems) {
    const struct {
        const char* callsign;
        const char* key;
        const char* version;
        bool ok;
    } cases[] = {
        {"dl1abc", "s3cret", "3.0.0", true},   {"DB0ABC_2", "A1b2", "3.0.0-rc1", true},
        {"", "s3cret", "3.0.0", false},        {"dl1 abc", "s3cret", "3.0.0", false},
        {"dl1abc", "", "3.0.0", false},        {"dl1abc", "s3 cret", "3.0.0", false},
        {"dl1abc", "s3cret]", "3.0.0", false}, {"dl1abc", "k\xC3\xA9y", "3.0.0", false},
        {"dl1abc", "s3cret", "3", false},      {"dl1abc", "s3cret", "x3.0", false},
        {"dl1-abc", "s3cret", "3.0.0", false},
    };
    for (const auto& c : cases) {
        DapnetIdentity id;
        id.callsign = c.callsign;
        id.authKey = c.key;
        id.version = c.version;
        const std::string problem = dapnetIdentityProblem(id);
        EXPECT_EQ(problem.empty(), c.ok) << c.callsign << " " << c.version << ": " << problem;
        if (!id.authKey.empty()) {
            EXPECT_EQ(problem.find(id.authKey), std::string::npos) << "the key is never quoted";
        }
    }
}

} // namespace
