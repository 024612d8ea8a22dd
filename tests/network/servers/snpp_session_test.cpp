// The SNPP session against a recording sink and a small directory: what each command
// answers, what SEND queues (and that it queues before 250), limits and logins.
#include "network/snpp/snpp_session.h"
#include "server_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

struct Harness {
    explicit Harness(InboundLimits limits = {}, bool loginRequired = false)
        : directoryPath(folder.file("Pagers.txt")),
          watch((writeDirectory(directoryPath, samplePagers()), directoryPath),
                [this](const std::string& l) { log.push_back(l); }),
          intake(
              watch, sink, limits, [this](const std::string& l) { log.push_back(l); },
              [this] { return nowMs; }),
          session(intake, &auth, {loginRequired, "127.0.0.1", "Test"}) {
        auth.passwords["alice"] = "secret";
    }
    /// The reply to one line, a LOGI's password checked at once as the server would.
    static SnppReply answer(SnppSession& s, const std::string& line) {
        SnppReply reply = s.onLine(line);
        if (reply.checkLogin)
            reply = s.finishLogin(s.takeLoginCheck()());
        return reply;
    }
    /// Every reply line to the lines, in order.
    std::vector<std::string> say(const std::vector<std::string>& lines) {
        std::vector<std::string> replies;
        for (const auto& line : lines) {
            const SnppReply reply = answer(session, line);
            replies.insert(replies.end(), reply.lines.begin(), reply.lines.end());
        }
        return replies;
    }
    static std::string codes(const std::vector<std::string>& replies) {
        std::string out;
        for (const auto& r : replies)
            out += (out.empty() ? "" : " ") + r.substr(0, 3);
        return out;
    }

    TempFolder folder;
    std::string directoryPath;
    std::vector<std::string> log;
    RecordingSink sink;
    FakeAuthenticator auth;
    int64_t nowMs = 1'000'000;
    DirectoryWatch watch;
    PageIntake intake;
    SnppSession session;
};

struct Conversation {
    const char* name;
    std::vector<std::string> lines;
    const char* codes;
    std::size_t pages;
};

const std::string FortyOne(41, 'x');

const Conversation Conversations[] = {
    {"one page", {"PAGE 1001", "MESS hello", "SEND"}, "250 250 250", 1},
    {"two recipients, one SEND",
     {"PAGE 1001", "PAGE 1004", "MESS hi", "SEND"},
     "250 250 250 250",
     2},
    {"a repeated PAGE pages once",
     {"PAGE 1004", "PAGE 1004", "MESS hi", "SEND"},
     "250 250 250 250",
     1},
    {"commands by their first four letters, any case",
     {"page 1004", "MESSAGE hi", "sendit"},
     "250 250 250",
     1},
    {"unknown pager", {"PAGE 9999", "MESS hi", "SEND"}, "550 250 503", 0},
    {"longer than the pager takes", {"PAGE 1001", "MESS " + FortyOne, "SEND"}, "250 250 554", 0},
    {"message already entered", {"MESS a", "MESS b"}, "250 503", 0},
    {"SEND without pager or message", {"SEND", "PAGE 1004", "SEND"}, "503 250 503", 0},
    {"RESE forgets everything", {"PAGE 1004", "MESS a", "RESE", "SEND"}, "250 250 250 503", 0},
    {"tone only needs no message", {"PAGE 1003", "SEND"}, "250 250", 1},
    {"tone only takes no text", {"PAGE 1003", "MESS hi", "SEND"}, "250 250 554", 0},
    {"numeric takes digits", {"PAGE 1002", "MESS 12-34 [5]", "SEND"}, "250 250 250", 1},
    {"numeric refuses letters", {"PAGE 1002", "MESS call me", "SEND"}, "250 250 554", 0},
    {"DATA", {"PAGE 1004", "DATA", "line one", "..dot", ".", "SEND"}, "250 354 250 250", 1},
    {"what sendpage and Net::SNPP send",
     {"LOGI bob", "SITE HELP NOTIFY", "LEVE 1", "PAGE 1004", "SUBJ s", "CALL 5551212", "ALER 1",
      "MESS hi", "SEND", "QUIT"},
     "250 500 250 250 250 250 250 250 250 221",
     1},
    {"not supported",
     {"HOLD 0101120000", "COVE 2", "ALER 0", "2WAY", "XWHO", "LEVE 12", "PA"},
     "500 500 500 500 500 550 500",
     0},
    {"HELP", {"HELP"}, "214 214 214 214 214 214 214 214 250", 0},
};

class SnppConversation : public ::testing::TestWithParam<Conversation> {};

TEST_P(SnppConversation, RepliesAndQueuedPages) {
    Harness h;
    const auto& c = GetParam();
    EXPECT_EQ(Harness::codes(h.say(c.lines)), c.codes);
    EXPECT_EQ(h.sink.count(), c.pages);
}

INSTANTIATE_TEST_SUITE_P(Cases, SnppConversation, ::testing::ValuesIn(Conversations),
                         [](const auto& caseInfo) {
                             std::string name;
                             for (const char ch : std::string(caseInfo.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(SnppSession, QueuesWhatTheDirectorySaysWithTheTextInThePagersSet) {
    Harness h;
    const auto replies = h.say({"PAGE 1001", "PAGE 1004", "DATA", "Grüße", "..é", ".", "SEND"});
    ASSERT_EQ(h.sink.count(), 2u);
    const auto pages = h.sink.pages();
    EXPECT_EQ(pages[0].recipient, "1001");
    EXPECT_EQ(pages[0].page.ric, "1001");
    EXPECT_EQ(pages[0].page.message, "Gr}~e\n.e"); // German set: ü is '}', ß is '~'
    EXPECT_EQ(pages[0].source, "snpp");
    EXPECT_EQ(pages[1].page.message, "Grusse\n.e");
    // The 250 names the queue entries and the characters that changed.
    EXPECT_NE(replies.back().find("1001 as #1, 1004 as #2"), std::string::npos) << replies.back();
    EXPECT_NE(replies.back().find("é→e"), std::string::npos) << replies.back();
}

TEST(SnppSession, TooLongNamesThePagersLimit) {
    Harness h;
    const auto replies = h.say({"PAGE 1001", "MESS " + FortyOne, "SEND"});
    EXPECT_NE(replies.back().find("at most 40"), std::string::npos) << replies.back();
}

TEST(SnppSession, AFailedPageIsReportedWithThePagesQueuedBeforeIt) {
    Harness h;
    h.sink.failAfter = 1;
    const auto replies = h.say({"PAGE 1001", "PAGE 1004", "MESS hi", "SEND"});
    EXPECT_EQ(replies.back().substr(0, 4), "554 ");
    EXPECT_NE(replies.back().find("queued before it: 1001 as #1"), std::string::npos);
    EXPECT_NE(replies.back().find("1004 not queued: disk full"), std::string::npos);
    EXPECT_EQ(h.sink.count(), 1u);
    EXPECT_EQ(Harness::codes(h.say({"SEND"})), "503"); // the transaction is over
}

TEST(SnppSession, LimitsOnRecipientsMessagesLinesAndRate) {
    InboundLimits limits;
    limits.maxRecipients = 2;
    limits.maxMessageLength = 10;
    limits.maxLineLength = 20;
    limits.pagesPerMinute = 2;
    Harness h(limits);
    EXPECT_EQ(Harness::codes(h.say({"PAGE 1001", "PAGE 1004", "PAGE 1003"})), "250 250 552");
    EXPECT_EQ(Harness::codes(h.say({"MESS 12345678901", "DATA", "12345", "123456", "."})),
              "554 354 554");
    EXPECT_EQ(h.session.onOverlongLine().lines.at(0), "500 Line too long, at most 20 bytes");
    EXPECT_EQ(Harness::codes(h.say({"MESS hi", "SEND", "PAGE 1004", "MESS hi", "SEND"})),
              "250 250 250 250 554");
    EXPECT_EQ(h.sink.count(), 2u); // the third page would pass the 2 a minute
    h.nowMs += 60'000;
    EXPECT_EQ(Harness::codes(h.say({"PAGE 1004", "MESS hi", "SEND"})), "250 250 250");
}

TEST(SnppSession, LoginRequiredBeyondLoopback) {
    Harness h({}, true);
    EXPECT_EQ(Harness::codes(h.say({"PAGE 1004", "LOGI alice", "LOGI alice wrong", "LOGI bob x",
                                    "LOGI alice secret", "PAGE 1004", "MESS hi", "SEND"})),
              "550 550 550 550 250 250 250 250");
    ASSERT_EQ(h.sink.count(), 1u);
    EXPECT_EQ(h.sink.pages()[0].origin, "alice@127.0.0.1");
    for (const auto& line : h.log)
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST(SnppSession, TextFromTheClientNeverBreaksALogLine) {
    Harness h;
    h.say({"LOGI \x1b]0;pwned\x07", "PAGE 1004", "DATA", "Hello",
           "7654321 - FORGED page - 9 Dec 2026 - 13:00:00", ".", "SEND", "LOGI x\ry secret"});
    ASSERT_EQ(h.sink.count(), 1u);
    const auto page = h.sink.pages()[0];
    EXPECT_EQ(page.page.message, "Hello\n7654321 - FORGED page - 9 Dec 2026 - 13:00:00");
    EXPECT_EQ(page.origin, "127.0.0.1 (claims \\x1b]0;pwned\\x07)");
    ASSERT_FALSE(h.log.empty());
    for (const auto& line : h.log)
        for (const char c : line)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << line;
}

TEST(SnppSession, ClaimedNamesShareTheirAddresssLimitAndFailuresAreSummarised) {
    InboundLimits limits;
    limits.pagesPerMinute = 2;
    limits.loginFailuresPerMinute = 100;
    Harness h(limits);
    // Rotating names without a password buys no more pages than the address has.
    EXPECT_EQ(
        Harness::codes(h.say({"LOGI ann", "PAGE 1004", "MESS a", "SEND", "LOGI bob", "PAGE 1004",
                              "MESS b", "SEND", "LOGI cy", "PAGE 1004", "MESS c", "SEND"})),
        "250 250 250 250 250 250 250 250 250 250 250 554");
    EXPECT_EQ(h.sink.pages()[1].origin, "127.0.0.1 (claims bob)");
    // A checked login counts as itself.
    EXPECT_EQ(Harness::codes(h.say({"LOGI alice secret", "PAGE 1004", "MESS d", "SEND"})),
              "250 250 250 250");
    EXPECT_EQ(h.sink.pages()[2].origin, "alice@127.0.0.1");
    // 50 wrong passwords give a few lines, not 50.
    for (int i = 0; i < 50; ++i)
        h.say({"LOGI alice wrong"});
    EXPECT_EQ(std::count_if(h.log.begin(), h.log.end(),
                            [](auto& l) { return l.find("failed LOGI") != std::string::npos; }),
              3);
}

TEST(RateLimiter, AFullTableNeverMeansUnlimited) {
    RateLimiter failures(10); // 4,096 addresses, as the station keeps them
    for (int i = 0; i < 4100; ++i)
        failures.take("127.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), 1, 1000);
    int allowed = 0;
    for (int i = 0; i < 45; ++i)
        allowed += failures.take("10.9.9.9", 1, 2000 + i) ? 1 : 0;
    EXPECT_EQ(allowed, 10); // a fresh address after the table filled: the limit, no more
    // Pushing keys out makes them count together: filling again cannot reset anyone.
    for (int i = 0; i < 40; ++i)
        failures.take("127.2.0." + std::to_string(i), 1, 3000);
    EXPECT_EQ(failures.remaining("10.9.9.9", 3000), 0);
    EXPECT_EQ(failures.remaining("192.0.2.1", 3000), 0);
    EXPECT_LE(failures.keys(), 4096u);
    EXPECT_EQ(failures.remaining("192.0.2.1", 64'000), 10); // a minute later all is forgiven
    const std::pair<const char*, const char*> keys[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"2001:db8:1:2:aaaa::1", "2001:db8:1:2::/64"},
        {"2001:db8:1:2:ffff:ffff:ffff:ffff", "2001:db8:1:2::/64"},
        {"::ffff:192.0.2.7", "192.0.2.7"},
    };
    for (const auto& [peer, key] : keys)
        EXPECT_EQ(addressKey(peer), key);
}

TEST(SnppSession, ClosesAfterTooManyErrorsOrFailedLogins) {
    InboundLimits limits;
    limits.maxErrorsPerSession = 3;
    limits.loginFailuresPerMinute = 2;
    Harness h(limits);
    EXPECT_EQ(Harness::codes(h.say({"XXXX", "YYYY", "ZZZZ"})), "500 500 500 421");
    EXPECT_TRUE(h.session.finished());
    SnppSession second(h.intake, &h.auth, {false, "127.0.0.1", "Test"});
    Harness::answer(second, "LOGI alice no");
    Harness::answer(second, "LOGI alice no");
    const SnppReply refused = Harness::answer(second, "LOGI alice secret");
    EXPECT_EQ(refused.lines.at(0).substr(0, 3), "421");
    EXPECT_TRUE(refused.close);
}

TEST(SnppSession, DirectoryChangesAreSeenAndABadFileKeepsTheOldOne) {
    Harness h;
    EXPECT_EQ(Harness::codes(h.say({"PAGE 2000"})), "550");
    auto pagers = samplePagers();
    pagers.push_back(makePager("2000", 2000, PagerCoding::Alphanumeric, Charset::UsAscii, 80));
    writeDirectory(h.directoryPath, pagers);
    EXPECT_EQ(Harness::codes(h.say({"PAGE 2000"})), "250");
    std::ofstream(h.directoryPath) << "[broken\nric = lots\n";
    EXPECT_EQ(Harness::codes(h.say({"RESE", "PAGE 2000"})), "250 250");
    ASSERT_FALSE(h.log.empty());
    EXPECT_NE(h.log.back().find("previous one is kept"), std::string::npos) << h.log.back();
}

} // namespace
