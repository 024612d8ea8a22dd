#pragma once
// Opening the durable queue's SQLite file: created readable by its owner only, write-ahead
// logging with full sync, the pages table and the marks that make it a Tarvex queue; a file
// that is something else, or damaged, is refused with the reason. Internal to the queue.
#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>

namespace tarvex::queue_file {

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;
using Statement = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

/// The columns of the pages table, in the order readRow expects them.
inline constexpr char Columns[] = "id, accepted_ms, source, origin, recipient, ric, "
                                  "function_bits, coding, baud, inverted, message, attempts";

/// The open connection, or "<path>: <reason>".
std::optional<std::string> openQueueFile(const std::string& path, Db* db);

/// A text or blob column's bytes (empty for NULL).
std::string columnBytes(sqlite3_stmt* s, int column);

} // namespace tarvex::queue_file
