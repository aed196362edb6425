#include "history/sqlite_history.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "history/history_path.h"

namespace zor {
namespace {

// The layouts, in order: the file's user_version is how many of these it
// has had. A new layout is a new entry at the end, never an edit of one
// that has shipped.
const std::vector<const char*>& migrations() {
    static const std::vector<const char*> steps = {
        // 1: one row per chronometer's run.
        "CREATE TABLE runs ("
        " run_id TEXT PRIMARY KEY NOT NULL,"
        " time TEXT NOT NULL,"
        " bench TEXT NOT NULL,"
        " user TEXT NOT NULL,"
        " program TEXT NOT NULL,"
        " version TEXT NOT NULL,"
        " position TEXT NOT NULL,"
        " port TEXT NOT NULL,"
        " device TEXT NOT NULL,"
        " identification TEXT NOT NULL,"
        " serial TEXT NOT NULL,"
        " file TEXT NOT NULL,"
        " file_id TEXT NOT NULL,"
        " file_sha256 TEXT NOT NULL,"
        " selected TEXT NOT NULL,"
        " table_read TEXT NOT NULL,"
        " table_planned TEXT,"
        " verdict TEXT NOT NULL,"
        " code INTEGER NOT NULL,"
        " meaning TEXT NOT NULL,"
        " dry_run INTEGER NOT NULL,"
        " last_answer TEXT NOT NULL,"
        " error TEXT NOT NULL,"
        " seconds REAL NOT NULL,"
        " bytes INTEGER NOT NULL);"
        "CREATE INDEX runs_by_serial ON runs(serial, time);"
        "CREATE INDEX runs_by_time ON runs(time);",
        // 2: the runs kept here and not yet on the centre's server.
        "CREATE TABLE outbox ("
        " run_id TEXT PRIMARY KEY NOT NULL REFERENCES runs(run_id));",
    };
    return steps;
}

// A statement, finalized with the object.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

void bindText(sqlite3_stmt* s, int at, const std::string& text) {
    sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* s, int at) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, at));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(s, at)))
                : std::string();
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Switching a new file to WAL takes a lock that the busy handler does not
// wait for while another program is making the same file: tried again,
// within the busy time-out.
bool execWhenFree(sqlite3* db, const char* sql) {
    for (int waited = 0;; waited += 10) {
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) & 0xff;
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            return rc == SQLITE_OK;
        if (waited >= SqliteHistory::BUSY_TIMEOUT_MS)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

int SqliteHistory::latestSchema() {
    return static_cast<int>(migrations().size());
}

HistoryResult SqliteHistory::failure(HistoryFault fault) const {
    HistoryResult r;
    r.fault = fault;
    r.message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    return r;
}

std::unique_ptr<SqliteHistory> SqliteHistory::open(const std::string& path, bool makeFolders,
                                                   HistoryResult& result) {
    result = prepareHistoryFile(path, makeFolders);
    if (!result)
        return nullptr;
    sqlite3* db = nullptr;
    // No link at the name: the path was checked above, and the database
    // must open what was checked.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<SqliteHistory> history(new SqliteHistory(db));
    if (opened != SQLITE_OK) {
        result = history->failure(HistoryFault::CannotOpen);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    // WAL: readers never wait for the writer, and a commit is one append.
    // NORMAL: a power cut may lose the last runs, never damage the file.
    if (!execWhenFree(db, "PRAGMA journal_mode=WAL") ||
        !execWhenFree(db, "PRAGMA synchronous=NORMAL")) {
        result = history->failure(HistoryFault::CannotOpen);
        return nullptr;
    }
    result = history->migrate();
    if (!result)
        return nullptr;
    const std::string insert = std::string("INSERT OR IGNORE INTO runs (") + HISTORY_COLUMNS +
                               ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
                               "?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25)";
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &history->insert_, nullptr) != SQLITE_OK) {
        result = history->failure(HistoryFault::CannotOpen);
        return nullptr;
    }
    return history;
}

SqliteHistory::~SqliteHistory() {
    sqlite3_finalize(insert_);
    sqlite3_close_v2(db_);
}

HistoryResult SqliteHistory::migrate() {
    // One writer at a time brings the layout up to date: a second program
    // opening a new file waits here, then finds it done.
    if (!exec(db_, "BEGIN IMMEDIATE"))
        return failure(HistoryFault::CannotOpen);
    int version = -1;
    {
        Statement read(db_, "PRAGMA user_version");
        if (read.get() && sqlite3_step(read.get()) == SQLITE_ROW)
            version = sqlite3_column_int(read.get(), 0);
    }
    HistoryResult result;
    if (version < 0) {
        result = failure(HistoryFault::CannotOpen);
    } else if (version > latestSchema()) {
        result.fault = HistoryFault::NewerSchema;
        result.schemaVersion = version;
    } else {
        for (int step = version; step < latestSchema(); ++step) {
            if (!exec(db_, migrations()[static_cast<size_t>(step)])) {
                result = failure(HistoryFault::CannotOpen);
                break;
            }
        }
        const std::string setVersion = "PRAGMA user_version=" + std::to_string(latestSchema());
        if (result && version < latestSchema() && !exec(db_, setVersion.c_str()))
            result = failure(HistoryFault::CannotOpen);
    }
    if (result && !exec(db_, "COMMIT"))
        result = failure(HistoryFault::CannotOpen);
    if (!result)
        exec(db_, "ROLLBACK");
    schema_ = result ? latestSchema() : version;
    result.schemaVersion = schema_ < 0 ? 0 : schema_;
    return result;
}

HistoryResult SqliteHistory::store(const HistoryRun& run) {
    return write(run, false);
}

HistoryResult SqliteHistory::storeUnsent(const HistoryRun& run) {
    return write(run, true);
}

HistoryResult SqliteHistory::write(const HistoryRun& run, bool unsent) {
    if (!exec(db_, "BEGIN IMMEDIATE"))
        return failure(HistoryFault::CannotWrite);
    sqlite3_stmt* s = insert_;
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    int at = 0;
    for (const std::string* text : textColumns(run)) {
        // A run without a plan has no planned table: NULL.
        if (text == &run.tablePlanned && text->empty())
            sqlite3_bind_null(s, ++at);
        else
            bindText(s, ++at, *text);
    }
    sqlite3_bind_int(s, ++at, run.code);
    bindText(s, ++at, run.meaning);
    sqlite3_bind_int(s, ++at, run.dryRun ? 1 : 0);
    bindText(s, ++at, run.lastAnswer);
    bindText(s, ++at, run.error);
    sqlite3_bind_double(s, ++at, run.seconds);
    sqlite3_bind_int64(s, ++at, static_cast<sqlite3_int64>(run.bytes));
    HistoryResult result;
    if (sqlite3_step(s) != SQLITE_DONE)
        result = failure(HistoryFault::CannotWrite);
    else
        result.added = sqlite3_changes(db_) > 0;
    sqlite3_reset(s);
    // A run new to this file goes out to the server too; one that was here
    // already went, or waits, as it did.
    if (result && unsent && result.added) {
        Statement queue(db_, "INSERT OR IGNORE INTO outbox (run_id) VALUES (?1)");
        if (queue.get())
            bindText(queue.get(), 1, run.runId);
        if (!queue.get() || sqlite3_step(queue.get()) != SQLITE_DONE)
            result = failure(HistoryFault::CannotWrite);
    }
    if (result && !exec(db_, "COMMIT"))
        result = failure(HistoryFault::CannotWrite);
    if (!result)
        exec(db_, "ROLLBACK");
    return result;
}

HistoryResult SqliteHistory::query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) {
    std::string sql = std::string("SELECT ") + HISTORY_COLUMNS + " FROM runs WHERE 1";
    std::vector<std::string> values;
    auto where = [&](const char* clause, const std::string& value) {
        sql += clause;
        values.push_back(value);
    };
    if (!filter.serial.empty())
        where(" AND serial = ?", filter.serial);
    if (!filter.bench.empty())
        where(" AND bench = ?", filter.bench);
    if (!filter.since.empty())
        where(" AND time >= ?", filter.since);
    if (!filter.until.empty())
        where(" AND time <= ?", filter.until);
    if (filter.failedOnly)
        sql += " AND code != 0";
    if (filter.doneOnly)
        sql += " AND meaning = 'done' AND dry_run = 0";
    sql += filter.newestFirst ? " ORDER BY time DESC, rowid DESC" : " ORDER BY time, rowid";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    Statement select(db_, sql);
    if (!select.get())
        return failure(HistoryFault::CannotRead);
    sqlite3_stmt* s = select.get();
    for (size_t i = 0; i < values.size(); ++i)
        bindText(s, static_cast<int>(i + 1), values[i]);
    return readRows(s, rows);
}

HistoryResult SqliteHistory::unsent(size_t limit, std::vector<HistoryRun>& rows) {
    std::string sql = std::string("SELECT ") + HISTORY_COLUMNS +
                      " FROM runs WHERE run_id IN (SELECT run_id FROM outbox) ORDER BY rowid";
    if (limit > 0)
        sql += " LIMIT " + std::to_string(limit);
    Statement select(db_, sql);
    if (!select.get())
        return failure(HistoryFault::CannotRead);
    return readRows(select.get(), rows);
}

HistoryResult SqliteHistory::unsentCount(size_t& count) {
    count = 0;
    Statement select(db_, "SELECT count(*) FROM outbox");
    if (!select.get() || sqlite3_step(select.get()) != SQLITE_ROW)
        return failure(HistoryFault::CannotRead);
    count = static_cast<size_t>(sqlite3_column_int64(select.get(), 0));
    return HistoryResult();
}

HistoryResult SqliteHistory::markSent(const std::string& runId) {
    Statement remove(db_, "DELETE FROM outbox WHERE run_id = ?1");
    if (remove.get())
        bindText(remove.get(), 1, runId);
    if (!remove.get() || sqlite3_step(remove.get()) != SQLITE_DONE)
        return failure(HistoryFault::CannotWrite);
    return HistoryResult();
}

HistoryResult SqliteHistory::readRows(sqlite3_stmt* s, std::vector<HistoryRun>& rows) {
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        HistoryRun run;
        int at = 0;
        for (std::string* text : textColumns(run))
            *text = columnText(s, at++);
        run.code = sqlite3_column_int(s, at++);
        run.meaning = columnText(s, at++);
        run.dryRun = sqlite3_column_int(s, at++) != 0;
        run.lastAnswer = columnText(s, at++);
        run.error = columnText(s, at++);
        run.seconds = sqlite3_column_double(s, at++);
        run.bytes = static_cast<uint64_t>(sqlite3_column_int64(s, at++));
        rows.push_back(std::move(run));
    }
    if (step != SQLITE_DONE)
        return failure(HistoryFault::CannotRead);
    return HistoryResult();
}

}  // namespace zor

namespace zor {

std::unique_ptr<HistoryStore> openLocalHistory(const std::string& path, bool makeFolders,
                                               HistoryResult& result) {
    return SqliteHistory::open(path, makeFolders, result);
}

}  // namespace zor
