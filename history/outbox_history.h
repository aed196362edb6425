#pragma once
// A centre's history seen from one bench: every run is kept first in the
// bench's own file, marked unsent, and passed on to the centre's server
// when sendPending() is called; the server's answer takes it off the
// outbox. A server that is down leaves the runs in the outbox until a
// later call finds it up. Each run carries its id, and the server keeps
// a run once whatever it is sent, so none is lost and none kept twice.
#include <atomic>
#include <memory>
#include <string>

#include "history/postgres_history.h"
#include "history/sqlite_history.h"

namespace zor {

class OutboxHistory : public HistoryStore {
  public:
    OutboxHistory(std::unique_ptr<SqliteHistory> local, std::string url);

    // Keeps run in the bench's file, unsent; nothing waits for the server.
    HistoryResult store(const HistoryRun& run) override;
    // The bench's own runs.
    HistoryResult query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) override;
    // Connects when not connected, then sends the outbox oldest first; a
    // run the server refuses stays, the others go on.
    SendState sendPending() override;
    void stopWaiting() override { stop_ = true; }

  private:
    std::unique_ptr<SqliteHistory> local_;
    std::unique_ptr<PostgresHistory> server_;
    std::string url_;
    std::atomic<bool> stop_{false};
};

}  // namespace zor
