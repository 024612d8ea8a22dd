// The durable queue on one SQLite connection. Every database call holds the queue's mutex,
// so the connection is used by one thread at a time (it is opened without SQLite's own
// mutex); other processes on the same file are kept apart by SQLite's locks and the busy
// timeout. Pages added at the same time from several threads are committed together (group
// commit): one thread writes everything waiting in one transaction and one flush to disk,
// and each add returns once the transaction holding its page has been committed.
#include "network/durable_queue.h"

#include "network/durable_queue_file.h"

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace tarvex {
namespace {

using queue_file::columnBytes;
using queue_file::Db;
using queue_file::Statement;

constexpr std::size_t MaxQueuedPages = 100000;
constexpr std::size_t MaxFieldBytes = 256;
constexpr std::size_t MaxMessageBytes = 65536;
constexpr std::size_t MaxBatch = 256; // pages in one group commit

void setError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

/// Resets the statement when the step is done with it, whatever the outcome.
class Step {
public:
    explicit Step(sqlite3_stmt* s) : m_s(s) {}
    ~Step() {
        sqlite3_reset(m_s);
        sqlite3_clear_bindings(m_s);
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    int next() { return sqlite3_step(m_s); }

private:
    sqlite3_stmt* m_s;
};

QueuedPage readRow(sqlite3_stmt* s) {
    QueuedPage q;
    q.id = sqlite3_column_int64(s, 0);
    q.acceptedAtMs = sqlite3_column_int64(s, 1);
    q.source = columnBytes(s, 2);
    q.origin = columnBytes(s, 3);
    q.recipient = columnBytes(s, 4);
    q.page.ric = columnBytes(s, 5);
    q.page.functionBits = sqlite3_column_int(s, 6);
    q.page.coding = columnBytes(s, 7) == "numeric" ? Coding::Numeric : Coding::Alphanumeric;
    q.page.baud = sqlite3_column_int(s, 8);
    q.page.inverted = sqlite3_column_int(s, 9) != 0;
    q.page.message = columnBytes(s, 10);
    q.attempts = sqlite3_column_int(s, 11);
    return q;
}

std::optional<std::string> pageProblem(const QueuedPage& q) {
    for (const std::string* field : {&q.source, &q.origin, &q.recipient, &q.page.ric})
        if (field->size() > MaxFieldBytes)
            return "a page field is longer than 256 bytes";
    if (q.page.message.size() > MaxMessageBytes)
        return "the message is longer than 65536 bytes";
    if (q.page.functionBits < 0 || q.page.functionBits > 3)
        return "function bits must be 0 to 3";
    if (q.page.baud != 512 && q.page.baud != 1200 && q.page.baud != 2400)
        return "the bit rate must be 512, 1200 or 2400";
    return std::nullopt;
}

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// One add() waiting for its page to be committed; lives on the adding thread's stack.
struct Waiter {
    const QueuedPage* page;
    std::optional<int64_t> id;
    std::string error;
    bool done = false;
};

class SqliteQueue final : public DurableQueue {
public:
    SqliteQueue(std::string path, Db db) : m_path(std::move(path)), m_db(std::move(db)) {}

    std::optional<std::string> prepare();
    std::optional<int64_t> add(const QueuedPage& page, std::string* error) override;
    std::vector<QueuedPage> pending(std::size_t limit, std::string* error) override;
    bool markOnAir(int64_t id, std::string* error) override;
    bool remove(int64_t id, std::string* error) override;
    std::vector<QueuedPage> dropOlderThan(int64_t nowMs, int64_t maxAgeMs,
                                          std::string* error) override;
    std::size_t size() override;

private:
    std::string failure() const { return m_path + ": " + sqlite3_errmsg(m_db.get()); }
    bool exec(const char* sql) {
        return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool changeOne(sqlite3_stmt* s, int64_t id, std::string* error);
    std::optional<std::string> checkRoom(std::size_t adding);
    bool insert(const QueuedPage& q);
    void commitBatch(const std::vector<Waiter*>& batch);

    std::string m_path;
    Db m_db;
    std::mutex m_mutex; // the connection and its statements
    Statement m_insert, m_pending, m_attempt, m_delete, m_old, m_deleteOld, m_count, m_span;

    std::mutex m_batchMutex; // the adds waiting for a commit
    std::condition_variable m_batchDone;
    std::vector<Waiter*> m_waiting;
    bool m_committing = false;
};

std::optional<std::string> SqliteQueue::prepare() {
    const std::string select = std::string("SELECT ") + queue_file::Columns + " FROM pages";
    const std::pair<Statement*, std::string> statements[] = {
        {&m_insert, "INSERT INTO pages (accepted_ms, source, origin, recipient, ric, "
                    "function_bits, coding, baud, inverted, message) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
        {&m_pending, select + " ORDER BY id LIMIT ?1"},
        {&m_attempt, "UPDATE pages SET attempts = attempts + 1 WHERE id = ?1"},
        {&m_delete, "DELETE FROM pages WHERE id = ?1"},
        {&m_old, select + " WHERE accepted_ms < ?1 ORDER BY id"},
        {&m_deleteOld, "DELETE FROM pages WHERE accepted_ms < ?1"},
        {&m_count, "SELECT COUNT(*) FROM pages"},
        {&m_span, "SELECT COALESCE(MAX(id) - MIN(id) + 1, 0) FROM pages"}};
    for (const auto& [target, sql] : statements) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(m_db.get(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s,
                               nullptr) != SQLITE_OK)
            return failure();
        target->reset(s);
    }
    return std::nullopt;
}

std::optional<std::string> SqliteQueue::checkRoom(std::size_t adding) {
    // The id span bounds the count from above and costs one index look-up; the rows are
    // counted only when the span is that large.
    for (sqlite3_stmt* s : {m_span.get(), m_count.get()}) {
        Step step(s);
        if (step.next() != SQLITE_ROW)
            return failure();
        if (static_cast<std::size_t>(sqlite3_column_int64(s, 0)) + adding <= MaxQueuedPages)
            return std::nullopt;
    }
    return m_path + ": the page queue is full (" + std::to_string(MaxQueuedPages) + " pages)";
}

bool SqliteQueue::insert(const QueuedPage& q) {
    sqlite3_stmt* s = m_insert.get();
    Step step(s);
    sqlite3_bind_int64(s, 1, q.acceptedAtMs != 0 ? q.acceptedAtMs : nowMs());
    int column = 2;
    for (const std::string* text : {&q.source, &q.origin, &q.recipient, &q.page.ric})
        sqlite3_bind_text(s, column++, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    sqlite3_bind_int(s, 6, q.page.functionBits);
    sqlite3_bind_text(s, 7, q.page.coding == Coding::Numeric ? "numeric" : "alphanumeric", -1,
                      SQLITE_STATIC);
    sqlite3_bind_int(s, 8, q.page.baud);
    sqlite3_bind_int(s, 9, q.page.inverted ? 1 : 0);
    sqlite3_bind_blob(s, 10, q.page.message.data(), static_cast<int>(q.page.message.size()),
                      SQLITE_STATIC);
    return step.next() == SQLITE_DONE;
}

/// Writes the waiting pages in one transaction. With synchronous=FULL the write-ahead log
/// is on disk when COMMIT returns; until then no page of the batch counts as added.
void SqliteQueue::commitBatch(const std::vector<Waiter*>& batch) {
    std::lock_guard lock(m_mutex);
    std::optional<std::string> problem = checkRoom(batch.size());
    if (!problem && !exec("BEGIN IMMEDIATE"))
        problem = failure();
    for (std::size_t i = 0; !problem && i < batch.size(); ++i) {
        if (insert(*batch[i]->page)) {
            batch[i]->id = sqlite3_last_insert_rowid(m_db.get());
        } else {
            batch[i]->error = failure();
            // Most errors spoil only their own statement; a full disk or an I/O error ends
            // the whole transaction, and with it the pages written before.
            if (sqlite3_get_autocommit(m_db.get()))
                problem = batch[i]->error;
        }
    }
    if (!problem && !exec("COMMIT")) {
        problem = failure();
        exec("ROLLBACK");
    }
    if (problem) {
        for (Waiter* w : batch) {
            w->id.reset();
            w->error = *problem;
        }
    }
}

std::optional<int64_t> SqliteQueue::add(const QueuedPage& q, std::string* error) {
    if (auto problem = pageProblem(q)) {
        setError(error, *problem);
        return std::nullopt;
    }
    Waiter me{&q, std::nullopt, {}, false};
    std::unique_lock lock(m_batchMutex);
    m_waiting.push_back(&me);
    while (!me.done) {
        if (m_committing) {
            m_batchDone.wait(lock);
            continue;
        }
        // No commit under way: this thread writes what is waiting, its own page included.
        m_committing = true;
        const auto count = std::min(m_waiting.size(), MaxBatch);
        const std::vector<Waiter*> batch(m_waiting.begin(), m_waiting.begin() + count);
        m_waiting.erase(m_waiting.begin(), m_waiting.begin() + count);
        lock.unlock();
        commitBatch(batch);
        lock.lock();
        for (Waiter* w : batch)
            w->done = true;
        m_committing = false;
        m_batchDone.notify_all();
    }
    if (!me.id)
        setError(error, me.error);
    return me.id;
}

std::vector<QueuedPage> SqliteQueue::pending(std::size_t limit, std::string* error) {
    std::lock_guard lock(m_mutex);
    std::vector<QueuedPage> pages;
    sqlite3_stmt* s = m_pending.get();
    Step step(s);
    constexpr auto most = static_cast<std::size_t>(std::numeric_limits<int64_t>::max());
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(std::min(limit, most)));
    int rc = SQLITE_OK;
    while ((rc = step.next()) == SQLITE_ROW)
        pages.push_back(readRow(s));
    if (rc != SQLITE_DONE)
        setError(error, failure());
    return pages;
}

bool SqliteQueue::changeOne(sqlite3_stmt* s, int64_t id, std::string* error) {
    std::lock_guard lock(m_mutex);
    Step step(s);
    sqlite3_bind_int64(s, 1, id);
    if (step.next() != SQLITE_DONE) {
        setError(error, failure());
        return false;
    }
    if (sqlite3_changes(m_db.get()) == 0) {
        setError(error, m_path + ": page " + std::to_string(id) + " is not in the queue");
        return false;
    }
    return true;
}

bool SqliteQueue::markOnAir(int64_t id, std::string* error) {
    return changeOne(m_attempt.get(), id, error);
}

bool SqliteQueue::remove(int64_t id, std::string* error) {
    return changeOne(m_delete.get(), id, error);
}

std::vector<QueuedPage> SqliteQueue::dropOlderThan(int64_t now, int64_t maxAgeMs,
                                                   std::string* error) {
    std::vector<QueuedPage> dropped;
    if (maxAgeMs <= 0 || now < std::numeric_limits<int64_t>::min() + maxAgeMs)
        return dropped;
    const int64_t cutoff = now - maxAgeMs;
    std::lock_guard lock(m_mutex);
    if (!exec("BEGIN IMMEDIATE")) {
        setError(error, failure());
        return dropped;
    }
    int rc = SQLITE_OK;
    {
        Step select(m_old.get());
        sqlite3_bind_int64(m_old.get(), 1, cutoff);
        while ((rc = select.next()) == SQLITE_ROW)
            dropped.push_back(readRow(m_old.get()));
    }
    if (rc == SQLITE_DONE) {
        Step erase(m_deleteOld.get());
        sqlite3_bind_int64(m_deleteOld.get(), 1, cutoff);
        rc = erase.next();
    }
    if (rc != SQLITE_DONE || !exec("COMMIT")) {
        setError(error, failure());
        exec("ROLLBACK");
        dropped.clear();
    }
    return dropped;
}

std::size_t SqliteQueue::size() {
    std::lock_guard lock(m_mutex);
    Step step(m_count.get());
    if (step.next() != SQLITE_ROW)
        return 0;
    return static_cast<std::size_t>(sqlite3_column_int64(m_count.get(), 0));
}

} // namespace

std::unique_ptr<DurableQueue> DurableQueue::open(const std::string& path, std::string* error) {
    Db db;
    if (auto problem = queue_file::openQueueFile(path, &db)) {
        setError(error, *problem);
        return nullptr;
    }
    auto queue = std::make_unique<SqliteQueue>(path, std::move(db));
    if (auto problem = queue->prepare()) {
        setError(error, *problem);
        return nullptr;
    }
    return queue;
}

} // namespace tarvex
