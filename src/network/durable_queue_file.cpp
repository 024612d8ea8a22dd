// The durable queue's file: see durable_queue_file.h.
#include "network/durable_queue_file.h"

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvex::queue_file {
namespace {

constexpr int ApplicationId = 0x54525658; // "TRVX": marks the file as a Tarvex page queue
constexpr int FormatVersion = 1;
constexpr int BusyTimeoutMs = 5000;

constexpr char Schema[] = "CREATE TABLE IF NOT EXISTS pages ("
                          " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                          " accepted_ms INTEGER NOT NULL,"
                          " source TEXT NOT NULL, origin TEXT NOT NULL, recipient TEXT NOT NULL,"
                          " ric TEXT NOT NULL, function_bits INTEGER NOT NULL,"
                          " coding TEXT NOT NULL, baud INTEGER NOT NULL,"
                          " inverted INTEGER NOT NULL, message BLOB NOT NULL,"
                          " attempts INTEGER NOT NULL DEFAULT 0)";

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

/// The first column of the first row a pragma or query returns, read by `column`; nullopt
/// when it fails or returns no row.
template <typename Read>
auto queryOne(sqlite3* db, const char* sql, Read column)
    -> std::optional<decltype(column(nullptr))> {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    const Statement s(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return std::nullopt;
    return column(raw);
}

std::optional<int64_t> queryInt(sqlite3* db, const char* sql) {
    return queryOne(db, sql, [](sqlite3_stmt* row) { return sqlite3_column_int64(row, 0); });
}

std::optional<std::string> queryText(sqlite3* db, const char* sql) {
    return queryOne(db, sql, [](sqlite3_stmt* row) { return columnBytes(row, 0); });
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

std::string columnBytes(sqlite3_stmt* s, int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(s, column));
    const int size = sqlite3_column_bytes(s, column);
    return data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::optional<std::string> openQueueFile(const std::string& path, Db* db) {
    if (auto problem = createPrivate(path))
        return problem;
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    db->reset(raw);
    if (rc != SQLITE_OK)
        return path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    return setUp(raw, path);
}

} // namespace tarvex::queue_file
