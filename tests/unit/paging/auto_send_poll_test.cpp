// The auto-send poll's file protocol and the message list file: what is taken, what is
// written back, that the lock is exclusive and always released, and that an input/output
// error loses no line and sends none twice.
#include "paging/auto_send_poll.h"
#include "paging/message_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace tarvex;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

class PollFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir =
            fs::temp_directory_path() /
            ("tarvex_poll_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    AutoSendTake take(int32_t now = 1000) const {
        return takeAutoSendLines(path("AutoSend.Txt"), path("Lock.Lck"), now);
    }
    fs::path m_dir;
};

TEST_F(PollFiles, TakesDueLinesWritesBackFutureOnesAndReleasesTheLock) {
    write("AutoSend.Txt", "1101200N0000001first\r\n\r\nT0000002000"
                          "1101200N0000002later\r\nt0000000001x\nT0000000999"
                          "1101200N0000003due\r\n\x1Aignored\r\n");
    const AutoSendTake t = take(1000);
    ASSERT_EQ(t.outcome, TakeOutcome::Taken);
    EXPECT_FALSE(t.error);
    EXPECT_EQ(t.send, (Lines{"1101200N0000001first", "t0000000001x", "1101200N0000003due"}));
    EXPECT_EQ(read("AutoSend.Txt"), "T00000020001101200N0000002later\r\n");
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));

    // Once due, the held-back line goes without its prefix and the file disappears.
    const AutoSendTake later = take(2000);
    EXPECT_EQ(later.send, (Lines{"1101200N0000002later"}));
    EXPECT_FALSE(fs::exists(path("AutoSend.Txt")));
    EXPECT_EQ(take().outcome, TakeOutcome::NoFile);
}

TEST_F(PollFiles, LockFilePresentLeavesEverythingAlone) {
    write("AutoSend.Txt", "1101200N0000001x\r\n");
    write("Lock.Lck", "");
    EXPECT_EQ(take().outcome, TakeOutcome::Locked);
    EXPECT_EQ(read("AutoSend.Txt"), "1101200N0000001x\r\n");
    EXPECT_TRUE(fs::exists(path("Lock.Lck")));
}

TEST_F(PollFiles, LinesAfterThe500thStayInOrderForTheNextPoll) {
    std::string text;
    for (int i = 1; i <= 520; ++i)
        text += "1101200N" + std::to_string(1000000 + i) + "\r\n";
    write("AutoSend.Txt", text);
    const AutoSendTake first = take();
    ASSERT_EQ(first.send.size(), 500u);
    EXPECT_EQ(first.send.back(), "1101200N1000500");
    const AutoSendTake second = take();
    ASSERT_EQ(second.send.size(), 20u);
    EXPECT_EQ(second.send.front(), "1101200N1000501");
    EXPECT_EQ(second.send.back(), "1101200N1000520");
}

TEST_F(PollFiles, ReadErrorRemovesTheLockAndKeepsTheFile) {
    fs::create_directory(path("AutoSend.Txt")); // exists but cannot be read as a file
    const AutoSendTake t = take();
    EXPECT_EQ(t.outcome, TakeOutcome::Failed);
    ASSERT_TRUE(t.error);
    EXPECT_NE(t.error->find("AutoSend.Txt: "), std::string::npos) << *t.error;
    EXPECT_TRUE(t.send.empty());
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
}

TEST_F(PollFiles, RewriteErrorRemovesTheLockSendsNothingAndLosesNoLine) {
    const std::string text = "T00000020001101200N0000002later\r\n1101200N0000001now\r\n";
    write("AutoSend.Txt", text);
    fs::create_directory(path("AutoSend.Txt.new")); // the rewrite cannot be created
    const AutoSendTake t = take(1000);
    EXPECT_EQ(t.outcome, TakeOutcome::Failed);
    ASSERT_TRUE(t.error);
    EXPECT_TRUE(t.send.empty());
    EXPECT_EQ(read("AutoSend.Txt"), text);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
    // The next poll, the obstacle gone, gets the same lines.
    fs::remove(path("AutoSend.Txt.new"));
    EXPECT_EQ(take(1000).send, (Lines{"1101200N0000001now"}));
}

TEST_F(PollFiles, PollSendsAppliedEntriesWithTheirPausesAndSuppressesTheListSave) {
    write("Autosend.txt", "1101200N0000001a\r\nbad\r\n1101200N0000002b\r\n");
    std::vector<std::string> log;
    bool suppressed = false;
    AutoSendActions actions;
    actions.apply = [&](const std::string& e) {
        log.push_back("apply " + e + (suppressed ? " (suppressed)" : ""));
        return e.size() >= 15;
    };
    actions.send = [&] { log.push_back("send"); };
    actions.delayMs = [&](uint32_t ms) { log.push_back("delay " + std::to_string(ms)); };
    actions.suppressListSave = [&](bool on) { suppressed = on; };
    const auto result = runAutoSendPoll(m_dir.string(), "Autosend.txt", "", 0, 2, actions);
    EXPECT_EQ(result.sent, 2);
    EXPECT_FALSE(suppressed);
    EXPECT_EQ(log, (Lines{"apply 1101200N0000001a (suppressed)", "send", "delay 2000",
                          "apply bad (suppressed)", "delay 2000",
                          "apply 1101200N0000002b (suppressed)", "send", "delay 2000"}));

    // AutoDelay 0: no pause at all.
    write("Autosend.txt", "1101200N0000001a\r\n");
    log.clear();
    runAutoSendPoll(m_dir.string(), "Autosend.txt", "Lock.Lck", 0, 0, actions);
    EXPECT_EQ(log, (Lines{"apply 1101200N0000001a (suppressed)", "send"}));
}

TEST_F(PollFiles, EntriesNotStartedWhenTheProgramEndsGoBackAheadOfNewOnes) {
    // Taken: a plain entry, a due timed one, and one whose text itself looks timed.
    write("AutoSend.Txt", "1101200N0000001a\r\nT00000000011101200N0000002b\r\n"
                          "T0000000001T0000009999c\r\nT0000099999later\r\n");
    bool stop = false;
    std::vector<std::string> sent;
    AutoSendActions actions;
    actions.apply = [&](const std::string& e) {
        sent.push_back(e);
        return true;
    };
    actions.send = [&] { stop = true; }; // the window closes while the first page is on air
    actions.delayMs = [](uint32_t) {};
    actions.suppressListSave = [](bool) {};
    actions.stopped = [&] { return stop; };
    auto result = runAutoSendPoll(m_dir.string(), "", "", 1000, 0, actions);
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(result.unsent, (Lines{"1101200N0000002b", "T0000009999c"}));
    EXPECT_FALSE(result.returnError);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));

    // A writer adds a line meanwhile; the next run sends the returned entries first, exactly
    // as they were taken, then the new one; nothing twice.
    std::ofstream(path("AutoSend.Txt"), std::ios::binary | std::ios::app)
        << "1101200N0000003new\r\n";
    stop = false;
    actions.send = [] {};
    sent.clear();
    result = runAutoSendPoll(m_dir.string(), "", "", 1000, 0, actions);
    EXPECT_EQ(sent, (Lines{"1101200N0000002b", "T0000009999c", "1101200N0000003new"}));
    EXPECT_TRUE(result.unsent.empty());
    EXPECT_EQ(read("AutoSend.Txt"), "T0000099999later\r\n");
}

TEST_F(PollFiles, ReturnedEntriesWaitForTheLockThenGoAsideRatherThanBeLost) {
    write("Lock.Lck", "");
    const Lines entries{"1101200N0000001a", "1101200N0000002b"};
    auto error = returnAutoSendEntries(path("AutoSend.Txt"), path("Lock.Lck"), entries, 100);
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("2 unsent entries"), std::string::npos) << *error;
    EXPECT_FALSE(fs::exists(path("AutoSend.Txt"))); // the writer's lock was respected
    EXPECT_TRUE(fs::exists(path("Lock.Lck")));
    EXPECT_EQ(read("AutoSend.Txt.unsent"),
              "T00000000001101200N0000001a\r\nT00000000001101200N0000002b\r\n");

    // Once the writer is done, entries go back into the file ahead of what is there.
    fs::remove(path("Lock.Lck"));
    write("AutoSend.Txt", "1101200N0000003c\r\n");
    EXPECT_FALSE(returnAutoSendEntries(path("AutoSend.Txt"), path("Lock.Lck"), {"x"}, 100));
    EXPECT_EQ(read("AutoSend.Txt"), "T0000000000x\r\n1101200N0000003c\r\n");
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
}

TEST(MessageList, SplitsAtAnyLineEndAndWritesCrLfAfterEveryLine) {
    EXPECT_EQ(splitMessageList("a\r\nb\rc\n\nd"), (Lines{"a", "b", "c", "", "d"}));
    EXPECT_EQ(splitMessageList("a\r\n"), (Lines{"a"}));
    EXPECT_TRUE(splitMessageList("").empty());
    EXPECT_EQ(messageListText({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST_F(PollFiles, MessageListRoundTripAndFailures) {
    EXPECT_FALSE(readMessageList(path("MessList.txt")).exists);
    EXPECT_FALSE(writeMessageList(path("MessList.txt"), {"0101200N0001234Hi", ""}));
    EXPECT_EQ(read("MessList.txt"), "0101200N0001234Hi\r\n\r\n");
    const MessageListRead back = readMessageList(path("MessList.txt"));
    EXPECT_EQ(back.lines, (Lines{"0101200N0001234Hi", ""}));

    // A failed write reports the reason and leaves the old file whole.
    fs::create_directory(path("MessList.txt.new"));
    const auto error = writeMessageList(path("MessList.txt"), {"changed"});
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("MessList.txt: "), std::string::npos);
    EXPECT_EQ(read("MessList.txt"), "0101200N0001234Hi\r\n\r\n");

    fs::create_directory(path("dir.txt"));
    EXPECT_TRUE(readMessageList(path("dir.txt")).error);
}

} // namespace
