#pragma once
// The bench's own history: a SQLite file on the bench PC. Several programs
// may write to it at once (a station and an update in another terminal):
// WAL, and a wait of up to five seconds for the other's write to end. Each
// run is one transaction. The layout is versioned in the file's
// user_version and brought up to date, step by step, when it is opened.
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zor {

class SqliteHistory : public HistoryStore {
  public:
    // Opens the history at path, made when missing, after prepareHistoryFile
    // (makeFolders as there). Null with why in result when it cannot.
    static std::unique_ptr<SqliteHistory> open(const std::string& path, bool makeFolders,
                                               HistoryResult& result);
    ~SqliteHistory() override;
    SqliteHistory(const SqliteHistory&) = delete;
    SqliteHistory& operator=(const SqliteHistory&) = delete;

    HistoryResult store(const HistoryRun& run) override;
    HistoryResult query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) override;

    // The outbox: the runs kept here that the centre's server has not had
    // yet. storeUnsent() keeps a run as store() does and, when it is new
    // to this file, marks it unsent in the same transaction.
    HistoryResult storeUnsent(const HistoryRun& run);
    // The unsent runs, oldest first, at most limit (0: all).
    HistoryResult unsent(size_t limit, std::vector<HistoryRun>& rows);
    HistoryResult unsentCount(size_t& count);
    // The server has run: it leaves the outbox.
    HistoryResult markSent(const std::string& runId);

    // The layout this program makes and reads; the file's, once opened.
    static int latestSchema();
    int schemaVersion() const { return schema_; }

    // How long a write waits for another program's to end.
    static constexpr int BUSY_TIMEOUT_MS = 5000;

  private:
    explicit SqliteHistory(sqlite3* db) : db_(db) {}
    HistoryResult failure(HistoryFault fault) const;
    HistoryResult migrate();
    HistoryResult write(const HistoryRun& run, bool unsent);
    HistoryResult readRows(sqlite3_stmt* s, std::vector<HistoryRun>& rows);

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    int schema_ = 0;
};

}  // namespace zor
