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
    NoServer,     // this build cannot reach a server's history (no client library)
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

// How the runs bound for a server stand: how many still wait in the
// bench's outbox, and why the last try to send them failed.
struct SendState {
    size_t waiting = 0;
    HistoryResult why;
};

class HistoryStore {
  public:
    virtual ~HistoryStore() = default;
    // Keeps run, whole or not at all; a run whose id the store holds is
    // left as it was (result.added false).
    virtual HistoryResult store(const HistoryRun& run) = 0;
    // The runs that match, oldest first unless the filter says otherwise.
    virtual HistoryResult query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) = 0;

    // A store that passes runs on to a server: sends those that wait, and
    // says how many still do. Others have none.
    virtual SendState sendPending() { return SendState(); }
    // Asked from another thread: a call waiting for a server gives up at
    // once, and no new one waits; the runs wait for the next program.
    virtual void stopWaiting() {}
};

}  // namespace zor

namespace zor {

// The bench's own store at path (a SQLite file, sqlite_history.h), opened
// and made as SqliteHistory::open does; null with why in result when it
// cannot be, or when this build has none (HistoryFault::Unavailable).
std::unique_ptr<HistoryStore> openLocalHistory(const std::string& path, bool makeFolders,
                                               HistoryResult& result);

}  // namespace zor

namespace zor {

// The store a program's runs go to. A path: the bench's file, as
// openLocalHistory. A server's address (isServerHistory): the bench's file
// at localPath as the outbox, from which sendPending() passes each run on
// to the server (OutboxHistory, outbox_history.h); NoServer when this build
// has no client for it.
std::unique_ptr<HistoryStore> openRunHistory(const std::string& name, const std::string& localPath,
                                             bool makeFolders, HistoryResult& result);
// The server's own store at url, to read from; NoServer as above.
std::unique_ptr<HistoryStore> openServerHistory(const std::string& url, HistoryResult& result);

}  // namespace zor
