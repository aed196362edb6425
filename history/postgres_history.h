#pragma once
// The service centre's history: a PostgreSQL database that every bench of
// the centre writes to, with the same runs table as the bench's own file.
// Its layout is versioned in a table of its own and brought up to date,
// one bench at a time, when a bench connects. Every call waits at most a
// few seconds for a server that does not answer, and gives up at once when
// the program asks it to stop (stopWaiting), so a server that is down or
// far away never holds up a chronometer or the program's exit.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"

struct pg_conn;

namespace zor {

class PostgresHistory : public HistoryStore {
  public:
    // Connects to the server at url (postgresql://... or postgres://...).
    // stop, when given, is looked at while waiting for the server: set, the
    // call gives up. Null with why in result when it cannot connect.
    static std::unique_ptr<PostgresHistory> open(const std::string& url, HistoryResult& result,
                                                 const std::atomic<bool>* stop = nullptr);
    ~PostgresHistory() override;
    PostgresHistory(const PostgresHistory&) = delete;
    PostgresHistory& operator=(const PostgresHistory&) = delete;

    HistoryResult store(const HistoryRun& run) override;
    HistoryResult query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) override;

    // False once the connection is lost: a new one must be opened.
    bool connected() const;

    static int latestSchema();
    int schemaVersion() const { return schema_; }

    // How long a bench waits for a server to answer a connection, seconds.
    static constexpr int CONNECT_TIMEOUT_S = 3;
    // How long a statement may wait for the server, milliseconds.
    static constexpr int ANSWER_TIMEOUT_MS = 5000;

  private:
    PostgresHistory(pg_conn* conn, const std::atomic<bool>* stop) : conn_(conn), stop_(stop) {}
    HistoryResult failure(HistoryFault fault, const std::string& why = std::string()) const;
    HistoryResult migrate();

    pg_conn* conn_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    int schema_ = 0;
};

}  // namespace zor
