// The auto-send poll against a real folder that turns read-only at each step of a poll,
// a lock file that cannot be deleted, and a full disk during the rewrite: no line lost,
// none taken twice, and polls recover once the folder is writable again.
#include "fault_support.h"
#include "paging/auto_send_poll.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tarvex;
using namespace tarvex::faults;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

constexpr int32_t Now = 1000;
// Two due entries, one held back until 2000.
const std::string Stored = "1101200N0000001one\r\nT00000020001101200N0000002later\r\n"
                           "1101200N0000003two\r\n";
const Lines DueNow = {"1101200N0000001one", "1101200N0000003two"};
const std::string HeldBack = "T00000020001101200N0000002later\r\n";

class PollFaults : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvex_poll_faults_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_lock.emplace(m_dir);
    }
    void TearDown() override {
        setFileOpHook({});
        m_lock.reset();
        fs::remove_all(m_dir);
    }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    AutoSendTake take(int32_t now = Now) {
        return takeAutoSendLines(path("AutoSend.Txt"), path("Lock.Lck"), now, &m_left);
    }
    /// The folder turns read-only just before the poll does `op` on the named file.
    void readOnlyBefore(std::string op, std::string name) {
        setFileOpHook([this, op, file = path(name)](std::string_view o, std::string_view p) {
            if (o == op && p == file)
                m_lock->readOnly();
        });
    }
    /// Writable again, the hook gone.
    void recover() {
        setFileOpHook({});
        m_lock->writable();
    }

    std::string m_dir;
    std::optional<FolderLock> m_lock;
    LeftLock m_left;
};

TEST_F(PollFaults, ReadOnlyFolderBeforeThePollTakesNothingAndPollsGoOn) {
    writeFile(path("AutoSend.Txt"), Stored);
    m_lock->readOnly();
    const AutoSendTake refused = take();
    EXPECT_EQ(refused.outcome, TakeOutcome::LockFailed);
    EXPECT_TRUE(refused.send.empty());
    EXPECT_EQ(readFile(path("AutoSend.Txt")), Stored);
    recover();
    EXPECT_EQ(take().send, DueNow);
    EXPECT_EQ(readFile(path("AutoSend.Txt")), HeldBack);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
}

TEST_F(PollFaults, ReadOnlyWhileTheRewriteReplacesTheFile) {
    writeFile(path("AutoSend.Txt"), Stored);
    readOnlyBefore("rename", "AutoSend.Txt.new");
    const AutoSendTake failed = take();
    EXPECT_EQ(failed.outcome, TakeOutcome::Failed);
    ASSERT_TRUE(failed.error);
    EXPECT_NE(failed.error->find("AutoSend.Txt: Permission denied"), std::string::npos)
        << *failed.error;
    // The lock could not be removed either, and says so.
    EXPECT_NE(failed.error->find("Lock.Lck: Permission denied"), std::string::npos)
        << *failed.error;
    EXPECT_TRUE(failed.send.empty());
    EXPECT_EQ(readFile(path("AutoSend.Txt")), Stored);

    // Writable again: the next poll clears its own lock and takes every line once.
    recover();
    const AutoSendTake next = take();
    EXPECT_EQ(next.outcome, TakeOutcome::Taken);
    EXPECT_FALSE(next.error);
    EXPECT_EQ(next.send, DueNow);
    EXPECT_EQ(readFile(path("AutoSend.Txt")), HeldBack);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
    EXPECT_TRUE(take().send.empty());
    EXPECT_EQ(take(2000).send, Lines{"1101200N0000002later"});
}

TEST_F(PollFaults, ReadOnlyWhenTheTakenFileIsDeleted) {
    const std::string due = "1101200N0000001one\r\n1101200N0000003two\r\n";
    writeFile(path("AutoSend.Txt"), due);
    readOnlyBefore("remove", "AutoSend.Txt");
    const AutoSendTake failed = take();
    EXPECT_EQ(failed.outcome, TakeOutcome::Failed);
    EXPECT_TRUE(failed.send.empty()); // nothing sent that is still in the file
    EXPECT_EQ(readFile(path("AutoSend.Txt")), due);
    recover();
    EXPECT_EQ(take().send, DueNow);
    EXPECT_FALSE(fs::exists(path("AutoSend.Txt")));
    EXPECT_EQ(take().outcome, TakeOutcome::NoFile);
}

TEST_F(PollFaults, UndeletableLockSendsOnceAndPollsRecover) {
    writeFile(path("AutoSend.Txt"), Stored);
    readOnlyBefore("remove", "Lock.Lck");
    const AutoSendTake first = take();
    EXPECT_EQ(first.outcome, TakeOutcome::Taken);
    EXPECT_EQ(first.send, DueNow);
    ASSERT_TRUE(first.error);
    EXPECT_NE(first.error->find("Lock.Lck: Permission denied"), std::string::npos);
    EXPECT_EQ(readFile(path("AutoSend.Txt")), HeldBack);
    ASSERT_TRUE(fs::exists(path("Lock.Lck")));

    // Still read-only: the poll says why it cannot go on, and takes nothing.
    setFileOpHook({});
    const AutoSendTake blocked = take(2000);
    EXPECT_EQ(blocked.outcome, TakeOutcome::Failed);
    ASSERT_TRUE(blocked.error);
    EXPECT_NE(blocked.error->find("left by the last poll"), std::string::npos) << *blocked.error;
    EXPECT_EQ(readFile(path("AutoSend.Txt")), HeldBack);

    // Writable again: the old lock goes, the held-back line is sent once, when due, and a
    // writer can add lines again.
    recover();
    EXPECT_TRUE(take(1500).send.empty());
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
    EXPECT_EQ(take(2000).send, Lines{"1101200N0000002later"});
    writeFile(path("AutoSend.Txt"), "1101200N0000004new\r\n");
    EXPECT_EQ(take().send, Lines{"1101200N0000004new"});
    EXPECT_EQ(take().outcome, TakeOutcome::NoFile);
}

TEST_F(PollFaults, LockLeftBehindWithNoFileStillGoesAtTheNextPoll) {
    // The writer cannot add its file while our lock stands, so the next poll must not
    // wait for a file before it clears the lock.
    writeFile(path("AutoSend.Txt"), "1101200N0000001one\r\n");
    readOnlyBefore("remove", "Lock.Lck");
    EXPECT_EQ(take().send, Lines{"1101200N0000001one"});
    recover();
    EXPECT_EQ(take().outcome, TakeOutcome::NoFile);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
}

TEST_F(PollFaults, AWritersLockIsNeverTakenForOurs) {
    writeFile(path("AutoSend.Txt"), "1101200N0000001one\r\n");
    readOnlyBefore("remove", "Lock.Lck");
    EXPECT_EQ(take().send, Lines{"1101200N0000001one"});
    recover();
    // Someone clears the old lock; a writer then holds a new one while it writes.
    fs::remove(path("Lock.Lck"));
    writeFile(path("Lock.Lck"), "");
    fs::last_write_time(path("Lock.Lck"),
                        fs::last_write_time(path("Lock.Lck")) + std::chrono::seconds(5));
    writeFile(path("AutoSend.Txt"), "1101200N0000002two\r\n");
    EXPECT_EQ(take().outcome, TakeOutcome::Locked);
    EXPECT_TRUE(fs::exists(path("Lock.Lck")));
    fs::remove(path("Lock.Lck"));
    EXPECT_EQ(take().send, Lines{"1101200N0000002two"});
}

TEST_F(PollFaults, FullDiskDuringTheRewriteLosesNoLine) {
    // Many held-back lines: the rewrite is larger than the disk takes.
    std::string text = "1101200N0000001one\r\n";
    for (int i = 0; i < 200; ++i)
        text += "T00000020001101200N0000002held back line " + std::to_string(i) + "\r\n";
    writeFile(path("AutoSend.Txt"), text);
    const std::string outcome = runWithFileSizeLimit(1024, [this] {
        const AutoSendTake t = take();
        return std::to_string(static_cast<int>(t.outcome)) + " " + std::to_string(t.send.size()) +
               " " + t.error.value_or("");
    });
    EXPECT_EQ(outcome.rfind(std::to_string(static_cast<int>(TakeOutcome::Failed)) + " 0 ", 0), 0u)
        << outcome;
    EXPECT_NE(outcome.find("File too large"), std::string::npos) << outcome;
    EXPECT_EQ(readFile(path("AutoSend.Txt")), text);
    EXPECT_FALSE(fs::exists(path("Lock.Lck")));
    EXPECT_FALSE(fs::exists(path("AutoSend.Txt.new")));
    // With room again the same lines are taken once.
    const AutoSendTake next = take();
    EXPECT_EQ(next.send, Lines{"1101200N0000001one"});
    EXPECT_EQ(take(2000).send.size(), 200u);
}

TEST_F(PollFaults, WriterHittingAFullDiskLosesNoStoredLine) {
    // Lines already stored stay whole and are sent in order once, whatever the writer's
    // failed append left at the end.
    writeFile(path("AutoSend.Txt"), "1101200N0000001one\r\n1101200N0000002two\r\n");
    const long stored = static_cast<long>(fs::file_size(path("AutoSend.Txt")));
    const std::string wrote = runWithFileSizeLimit(stored + 10, [this] {
        std::FILE* lock = std::fopen(path("Lock.Lck").c_str(), "wbx");
        std::FILE* out = std::fopen(path("AutoSend.Txt").c_str(), "ab");
        const std::string line = "1101200N0000003three\r\n";
        const size_t n = std::fwrite(line.data(), 1, line.size(), out);
        const bool flushed = std::fflush(out) == 0;
        std::fclose(out);
        std::fclose(lock);
        std::remove(path("Lock.Lck").c_str());
        return std::to_string(n) + (flushed ? " flushed" : " refused");
    });
    EXPECT_EQ(wrote.find("refused"), wrote.size() - 7) << wrote;
    EXPECT_EQ(fs::file_size(path("AutoSend.Txt")), static_cast<uintmax_t>(stored + 10));
    const AutoSendTake t = take();
    ASSERT_EQ(t.outcome, TakeOutcome::Taken);
    ASSERT_GE(t.send.size(), 2u);
    EXPECT_EQ(t.send[0], "1101200N0000001one");
    EXPECT_EQ(t.send[1], "1101200N0000002two");
    EXPECT_EQ(take().outcome, TakeOutcome::NoFile);
}

} // namespace

int main(int argc, char** argv) {
    runAsOrdinaryUser();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
