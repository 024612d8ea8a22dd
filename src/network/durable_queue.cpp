// The durable queue on one SQLite connection. Every call takes the queue's mutex, so the
// connection is used by one thread at a time (it is opened without SQLite's own mutex);
// other processes on the same file are kept apart by SQLite's locks and the busy timeout.
#include "network/durable_queue.h"

#include <sqlite3.h>

#include <chrono>
#include <limits>
#include <mutex>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvex {
namespace {

constexpr int ApplicationId = 0x54525658; // "TRVX": marks the file as a Tarvex page queue
constexpr int FormatVersion = 1;
constexpr int BusyTimeoutMs = 5000;
constexpr std::size_t MaxQueuedPages = 100000;
constexpr std::size_t MaxFieldBytes = 256;
constexpr std::size_t MaxMessageBytes = 65536;

constexpr char Schema[] = "CREATE TABLE IF NOT EXISTS pages ("
                          " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                          " accepted_ms INTEGER NOT NULL,"
                          " source TEXT NOT NULL, origin TEXT NOT NULL, recipient TEXT NOT NULL,"
                          " ric TEXT NOT NULL, function_bits INTEGER NOT NULL,"
                          " coding TEXT NOT NULL, baud INTEGER NOT NULL,"
                          " inverted INTEGER NOT NULL, message BLOB NOT NULL,"
                          " attempts INTEGER NOT NULL DEFAULT 0)";
constexpr char Columns[] = "id, accepted_ms, source, origin, recipient, ric, function_bits, "
                           "coding, baud, inverted, message, attempts";

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;
using Statement = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

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

std::string columnText(sqlite3_stmt* s, int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(s, column));
    const int size = sqlite3_column_bytes(s, column);
    return data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

QueuedPage readRow(sqlite3_stmt* s) {
    QueuedPage q;
    q.id = sqlite3_column_int64(s, 0);
    q.acceptedAtMs = sqlite3_column_int64(s, 1);
    q.source = columnText(s, 2);
    q.origin = columnText(s, 3);
    q.recipient = columnText(s, 4);
    q.page.ric = columnText(s, 5);
    q.page.functionBits = sqlite3_column_int(s, 6);
    q.page.coding = columnText(s, 7) == "numeric" ? Coding::Numeric : Coding::Alphanumeric;
    q.page.baud = sqlite3_column_int(s, 8);
    q.page.inverted = sqlite3_column_int(s, 9) != 0;
    q.page.message = columnText(s, 10);
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

/// Creates the file readable by its owner only, before SQLite opens it (SQLite gives its
/// journal files the same permissions).
std::optional<std::string> createPrivate(const std::string& path) {
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    ::close(fd);
#else
    (void)path;
#endif
    return std::nullopt;
}

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
    bool changeOne(sqlite3_stmt* s, int64_t id, std::string* error);
    std::optional<std::string> checkRoom();
    bool exec(const char* sql) {
        return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    std::string m_path;
    Db m_db;
    std::mutex m_mutex;
    Statement m_insert, m_pending, m_attempt, m_delete, m_old, m_deleteOld, m_count, m_span;
};

std::optional<std::string> SqliteQueue::prepare() {
    const std::pair<Statement*, std::string> statements[] = {
        {&m_insert, "INSERT INTO pages (accepted_ms, source, origin, recipient, ric, "
                    "function_bits, coding, baud, inverted, message) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
        {&m_pending, std::string("SELECT ") + Columns + " FROM pages ORDER BY id LIMIT ?1"},
        {&m_attempt, "UPDATE pages SET attempts = attempts + 1 WHERE id = ?1"},
        {&m_delete, "DELETE FROM pages WHERE id = ?1"},
        {&m_old,
         std::string("SELECT ") + Columns + " FROM pages WHERE accepted_ms < ?1 ORDER BY id"},
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

std::optional<std::string> SqliteQueue::checkRoom() {
    // The id span bounds the count from above and costs one index look-up; the rows are
    // counted only when the span is that large.
    for (sqlite3_stmt* s : {m_span.get(), m_count.get()}) {
        Step step(s);
        if (step.next() != SQLITE_ROW)
            return failure();
        if (static_cast<std::size_t>(sqlite3_column_int64(s, 0)) < MaxQueuedPages)
            return std::nullopt;
    }
    return m_path + ": the page queue is full (" + std::to_string(MaxQueuedPages) + " pages)";
}

std::optional<int64_t> SqliteQueue::add(const QueuedPage& q, std::string* error) {
    if (auto problem = pageProblem(q)) {
        setError(error, *problem);
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    if (auto problem = checkRoom()) {
        setError(error, *problem);
        return std::nullopt;
    }
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
    // Outside a transaction the step commits: with synchronous=FULL the write-ahead log is
    // on disk when it returns.
    if (step.next() != SQLITE_DONE) {
        setError(error, failure());
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(m_db.get());
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

/// One integer a pragma or query returns; nullopt when it fails.
std::optional<int64_t> queryInt(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    const Statement s(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(raw, 0);
}

std::optional<std::string> queryText(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    const Statement s(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return std::nullopt;
    return columnText(raw, 0);
}

bool run(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

/// nullopt when the file is a Tarvex queue of this format or an empty database; the reason
/// otherwise. `created` is set when the table has still to be made.
std::optional<std::string> identify(sqlite3* db, bool* created) {
    const auto app = queryInt(db, "PRAGMA application_id");
    const auto tables = queryInt(db, "SELECT COUNT(*) FROM sqlite_schema");
    const auto version = queryInt(db, "PRAGMA user_version");
    if (!app || !tables || !version)
        return sqlite3_errmsg(db);
    *created = *app == 0 && *tables == 0;
    if (*created)
        return std::nullopt;
    if (*app != ApplicationId)
        return "not a Tarvex page queue";
    if (*version != FormatVersion)
        return "page queue format " + std::to_string(*version) + " is not known here";
    return std::nullopt;
}

/// Write-ahead logging, full sync, the table and the marks of a Tarvex queue. A file that
/// is something else is refused before anything in it changes; a damaged one is reported.
std::optional<std::string> setUp(sqlite3* db, const std::string& path) {
    const auto fail = [&](const std::string& why) { return path + ": " + why; };
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    bool created = false;
    if (auto problem = identify(db, &created))
        return fail(*problem);
    const auto mode = queryText(db, "PRAGMA journal_mode=WAL");
    if (!mode)
        return fail(sqlite3_errmsg(db));
    if (*mode != "wal")
        return fail("cannot use write-ahead logging (journal mode " + *mode + ")");
    if (!run(db, "PRAGMA synchronous=FULL"))
        return fail(sqlite3_errmsg(db));
    if (created) {
        // Another process may be creating it too: the second sees the table and the marks.
        const std::string create = std::string("BEGIN IMMEDIATE; ") + Schema +
                                   "; PRAGMA application_id=" + std::to_string(ApplicationId) +
                                   "; PRAGMA user_version=" + std::to_string(FormatVersion) +
                                   "; COMMIT";
        if (!run(db, create)) {
            const std::string why = sqlite3_errmsg(db);
            run(db, "ROLLBACK");
            return fail(why);
        }
    }
    const auto check = queryText(db, "PRAGMA quick_check");
    if (!check || *check != "ok")
        return fail("damaged (" + (check ? *check : std::string(sqlite3_errmsg(db))) + ")");
    return std::nullopt;
}

} // namespace

std::unique_ptr<DurableQueue> DurableQueue::open(const std::string& path, std::string* error) {
    if (auto problem = createPrivate(path)) {
        setError(error, *problem);
        return nullptr;
    }
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        setError(error, path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
        return nullptr;
    }
    if (auto problem = setUp(db.get(), path)) {
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
