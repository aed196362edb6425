#pragma once
// Where the history of runs is kept. The bench has a local store (SQLite);
// others (a server's database, a message broker) take the same runs through
// the same calls. A run carries its own id, so a store that is handed a run
// it has already leaves it as it is.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "history/history_run.h"
#include "platform/file.h"

namespace zor {

// Why the history did not do what it was asked.
enum class HistoryFault {
    None,
    PathRefused,  // the path failed the rules for files the program writes: problem says why
    CannotOpen,   // the store would not open: message is the database's
    NewerSchema,  // the store was made by a newer program (schemaVersion says which)
    CannotWrite,  // a run was not stored: message is the database's
    CannotRead,   // a query failed: message is the database's
    Unavailable,  // this build has no store
};

struct HistoryResult {
    HistoryFault fault = HistoryFault::None;
    std::string message;  // the database's own text, never the program's
    FileProblem problem;  // for PathRefused
    int schemaVersion = 0;
    bool added = false;  // store(): the run was new to the store

    bool ok() const { return fault == HistoryFault::None; }
    explicit operator bool() const { return ok(); }
};

// Which runs a query returns. Times are UTC texts as HistoryRun::time has
// them, and compare as texts.
struct HistoryFilter {
    std::string serial;       // empty: every chronometer
    std::string bench;        // empty: every bench
    std::string since;        // empty: from the first; else time >= since
    std::string until;        // empty: to the last; else time <= until
    bool failedOnly = false;  // code != 0
    bool doneOnly = false;    // meaning done, not a dry run
    bool newestFirst = false;
    size_t limit = 0;  // 0: every run that matches
};

class HistoryStore {
  public:
    virtual ~HistoryStore() = default;
    // Keeps run, whole or not at all; a run whose id the store holds is
    // left as it was (result.added false).
    virtual HistoryResult store(const HistoryRun& run) = 0;
    // The runs that match, oldest first unless the filter says otherwise.
    virtual HistoryResult query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) = 0;
};

}  // namespace zor

namespace zor {

// The bench's own store at path (a SQLite file, sqlite_history.h), opened
// and made as SqliteHistory::open does; null with why in result when it
// cannot be, or when this build has none (HistoryFault::Unavailable).
std::unique_ptr<HistoryStore> openLocalHistory(const std::string& path, bool makeFolders,
                                               HistoryResult& result);

}  // namespace zor
