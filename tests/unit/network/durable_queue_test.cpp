// Durable queue: order and attempt counts across a reopen, the age limit, refusals, files
// that are not a queue, several threads at once, and pages that survive a SIGKILL at any
// moment of a process that is adding (from one thread or several) and removing them.
#include "network/durable_queue.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

QueuedPage page(std::string message, int64_t acceptedAtMs = 1) {
    QueuedPage q;
    q.acceptedAtMs = acceptedAtMs;
    q.source = "snpp";
    q.origin = "127.0.0.1:4711";
    q.recipient = "1001";
    q.page.ric = "1234567";
    q.page.functionBits = 2;
    q.page.baud = 512;
    q.page.inverted = true;
    q.page.message = std::move(message);
    return q;
}

class DurableQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("queue-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / DurableQueueFile).string();
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::unique_ptr<DurableQueue> open() {
        std::string error;
        auto q = DurableQueue::open(m_path, &error);
        EXPECT_TRUE(q) << error;
        return q;
    }
    fs::path m_dir;
    std::string m_path;
};

TEST_F(DurableQueueTest, OrderFieldsAndAttemptsSurviveAReopen) {
    const std::string binary("\x00\xFF\x7F\r\n", 5);
    std::vector<int64_t> ids;
    {
        auto q = open();
        for (const std::string& m : {std::string("first"), binary, std::string("third")})
            ids.push_back(q->add(page(m), nullptr).value_or(-1));
        EXPECT_LT(ids[0], ids[1]);
        EXPECT_LT(ids[1], ids[2]);
        EXPECT_TRUE(q->markOnAir(ids[1], nullptr));
        EXPECT_TRUE(q->markOnAir(ids[1], nullptr)); // keyed, then the station died: a repeat
        EXPECT_TRUE(q->remove(ids[0], nullptr));
    }
    auto q = open();
    EXPECT_EQ(q->size(), 2u);
    const auto pending = q->pending(10, nullptr);
    ASSERT_EQ(pending.size(), 2u);
    const QueuedPage& p = pending[0];
    EXPECT_EQ(p.id, ids[1]);
    EXPECT_EQ(p.page.message, binary);
    EXPECT_EQ(p.attempts, 2);
    EXPECT_EQ(p.acceptedAtMs, 1);
    EXPECT_EQ(p.source, "snpp");
    EXPECT_EQ(p.origin, "127.0.0.1:4711");
    EXPECT_EQ(p.recipient, "1001");
    EXPECT_EQ(p.page.ric, "1234567");
    EXPECT_EQ(p.page.functionBits, 2);
    EXPECT_EQ(p.page.baud, 512);
    EXPECT_TRUE(p.page.inverted);
    EXPECT_EQ(p.page.coding, Coding::Alphanumeric);
    EXPECT_EQ(pending[1].attempts, 0);
    EXPECT_EQ(q->pending(1, nullptr).size(), 1u);

    // ids are never given twice, even once the queue has been emptied
    EXPECT_TRUE(q->remove(ids[1], nullptr));
    EXPECT_TRUE(q->remove(ids[2], nullptr));
    q.reset();
    q = open();
    EXPECT_GT(q->add(page("later"), nullptr).value_or(0), ids[2]);
}

TEST_F(DurableQueueTest, OldPagesAreDroppedInOrderAndReturned) {
    auto q = open();
    for (int64_t at : {3000, 1000, 2000, 2500})
        q->add(page(std::to_string(at), at), nullptr);
    EXPECT_TRUE(q->dropOlderThan(5000, 0, nullptr).empty()); // no age limit
    std::string error;
    const auto dropped = q->dropOlderThan(5000, 2500, &error);
    ASSERT_EQ(dropped.size(), 2u) << error;
    EXPECT_EQ(dropped[0].page.message, "1000");
    EXPECT_EQ(dropped[1].page.message, "2000");
    const auto left = q->pending(10, nullptr);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].page.message, "3000");
    EXPECT_EQ(left[1].page.message, "2500"); // accepted exactly at the limit: kept
}

TEST_F(DurableQueueTest, RefusalsComeWithAReason) {
    auto q = open();
    std::string error;
    EXPECT_FALSE(q->markOnAir(99, &error));
    EXPECT_EQ(error, m_path + ": page 99 is not in the queue");
    EXPECT_FALSE(q->remove(99, &error));
    QueuedPage bad = page("x");
    bad.page.baud = 300;
    EXPECT_FALSE(q->add(bad, &error));
    EXPECT_EQ(error, "the bit rate must be 512, 1200 or 2400");
    EXPECT_FALSE(q->add(page(std::string(65537, 'x')), &error));
    bad = page("x");
    bad.origin.assign(257, 'o');
    EXPECT_FALSE(q->add(bad, &error));
    EXPECT_EQ(q->size(), 0u);
    const QueuedPage now = page("now", 0); // no time given: stamped on arrival
    q->add(now, nullptr);
    EXPECT_GT(q->pending(1, nullptr).at(0).acceptedAtMs, 1600000000000);
}

TEST_F(DurableQueueTest, PrivateFileInWriteAheadMode) {
    auto q = open();
    q->add(page("x"), nullptr);
    for (const std::string& file : {m_path, m_path + "-wal"}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
}

TEST_F(DurableQueueTest, FilesThatAreNotAQueueAreRefused) {
    std::string error;
    std::ofstream(m_path) << std::string(4096, 'x');
    EXPECT_FALSE(DurableQueue::open(m_path, &error));
    EXPECT_EQ(error, m_path + ": file is not a database");

    // another program's database is left exactly as it was
    const std::string other = (m_dir / "other.db").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const auto before = fs::file_size(other);
    EXPECT_FALSE(DurableQueue::open(other, &error));
    EXPECT_EQ(error, other + ": not a Tarvex page queue");
    EXPECT_EQ(fs::file_size(other), before);
    EXPECT_FALSE(fs::exists(other + "-wal"));

    EXPECT_FALSE(DurableQueue::open(m_dir.string(), &error));
    EXPECT_EQ(error, m_dir.string() + ": Is a directory");
    const std::string nowhere = (m_dir / "missing" / "q.db").string();
    EXPECT_FALSE(DurableQueue::open(nowhere, &error));
    EXPECT_EQ(error, nowhere + ": No such file or directory");
}

TEST_F(DurableQueueTest, ThreadsShareOneQueue) {
    auto q = open();
    constexpr int Threads = 4, Each = 100;
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < Each; ++i)
                q->add(page(std::to_string(t) + " " + std::to_string(i)), nullptr);
        });
    workers.emplace_back([&] {
        for (int i = 0; i < Each; ++i)
            for (const auto& p : q->pending(1, nullptr))
                q->markOnAir(p.id, nullptr);
    });
    for (auto& w : workers)
        w.join();
    const auto all = q->pending(1000, nullptr);
    ASSERT_EQ(all.size(), static_cast<std::size_t>(Threads * Each));
    std::map<int, int> last; // each thread's pages stay in the order it added them
    for (const auto& p : all) {
        std::istringstream in(p.page.message);
        int t = 0, i = 0;
        in >> t >> i;
        EXPECT_EQ(i, last.count(t) ? last[t] + 1 : 0);
        last[t] = i;
    }
}

// The child adds numbered pages from one or more threads (their pages then go to disk in
// shared commits) and removes the oldest now and then, reporting on a pipe right after each
// call returns ("a ID N", "r ID" before a removal, "d ID" after it). Thread t numbers its
// pages first + t * 10000 + i.
[[noreturn]] void crashChild(const std::string& path, int out, int first, int threads) {
    std::string error;
    auto q = DurableQueue::open(path, &error);
    if (!q)
        _exit(3);
    const auto say = [out](const std::string& line) { // one write: lines never interleave
        if (::write(out, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            _exit(4);
    };
    const auto adder = [&](int t) {
        for (int i = 0; i < 10000; ++i) {
            const int n = first + t * 10000 + i;
            const auto id = q->add(page(std::to_string(n)), nullptr);
            if (!id)
                _exit(5);
            say("a " + std::to_string(*id) + " " + std::to_string(n) + "\n");
            if (t == 0 && i % 3 == 0) {
                const auto oldest = q->pending(1, nullptr);
                say("r " + std::to_string(oldest.at(0).id) + "\n");
                q->remove(oldest.at(0).id, nullptr);
                say("d " + std::to_string(oldest.at(0).id) + "\n");
            }
        }
    };
    std::vector<std::thread> others;
    for (int t = 1; t < threads; ++t)
        others.emplace_back(adder, t);
    adder(0);
    _exit(6); // not reached: the parent kills the child long before
}

TEST_F(DurableQueueTest, AcknowledgedPagesSurviveSigkill) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::map<int64_t, int> acknowledged; // id -> number
    std::set<int64_t> removed, removing;
    for (int round = 0; round < 100; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            crashChild(m_path, fds[1], round * 100000, round % 2 == 0 ? 1 : 4);
        }
        ::close(fds[1]);
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 60000)(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "child ended by itself: " << WEXITSTATUS(status);
        std::string said;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            said.append(buffer, static_cast<std::size_t>(n));
        ::close(fds[0]);
        std::istringstream lines(said);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.empty() || lines.eof()) // the last line may be cut by the kill
                break;
            std::istringstream words(line);
            char what = 0;
            int64_t id = 0;
            words >> what >> id;
            if (what == 'a')
                words >> acknowledged[id];
            else
                (what == 'r' ? removing : removed).insert(id);
        }

        auto q = open();
        ASSERT_TRUE(q);
        std::map<int64_t, int> found;
        std::map<int, int> previous; // each thread's pages in the order it added them
        for (const auto& p : q->pending(1000000, nullptr)) {
            const int number = std::stoi(p.page.message);
            const int thread = number / 10000;
            EXPECT_GT(number, previous.count(thread) ? previous[thread] : -1)
                << "order or a duplicate at id " << p.id;
            previous[thread] = number;
            found[p.id] = number;
        }
        for (const auto& [id, number] : acknowledged) {
            const bool gone = removed.count(id) != 0;
            const bool mayBeGone = gone || removing.count(id) != 0;
            if (!mayBeGone) {
                EXPECT_EQ(found.count(id) ? found[id] : -1, number) << "lost page id " << id;
            }
            if (gone) {
                EXPECT_EQ(found.count(id), 0u) << "removed page came back, id " << id;
            }
        }
        if (HasFailure())
            return;
    }
    EXPECT_GT(acknowledged.size(), 100u); // the rounds did add pages
}

} // namespace
