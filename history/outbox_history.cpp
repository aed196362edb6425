#include "history/outbox_history.h"

#include "history/history_path.h"

namespace zor {

OutboxHistory::OutboxHistory(std::unique_ptr<SqliteHistory> local, std::string url)
    : local_(std::move(local)), url_(std::move(url)) {}

HistoryResult OutboxHistory::store(const HistoryRun& run) {
    return local_->storeUnsent(run);
}

HistoryResult OutboxHistory::query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) {
    return local_->query(filter, rows);
}

SendState OutboxHistory::sendPending() {
    SendState state;
    std::vector<HistoryRun> runs;
    state.why = local_->unsent(0, runs);
    state.waiting = runs.size();
    if (!state.why || runs.empty() || stop_)
        return state;
    if (server_ && !server_->connected())
        server_.reset();
    if (!server_) {
        server_ = PostgresHistory::open(url_, state.why, &stop_);
        if (!server_)
            return state;
    }
    for (const HistoryRun& run : runs) {
        const HistoryResult sent = server_->store(run);
        if (!sent) {
            state.why = sent;
            // Gone: the rest wait for the server to answer again. Refused
            // (the server cannot take this run): the others still go.
            if (!server_->connected() || stop_) {
                server_.reset();
                break;
            }
            continue;
        }
        // On the server, new or already there: off the outbox. A failure
        // here leaves it to be sent again, which the server ignores.
        if (local_->markSent(run.runId))
            --state.waiting;
    }
    return state;
}

std::unique_ptr<HistoryStore> openRunHistory(const std::string& name, const std::string& localPath,
                                             bool makeFolders, HistoryResult& result) {
    if (!isServerHistory(name))
        return openLocalHistory(name, makeFolders, result);
    std::unique_ptr<SqliteHistory> local = SqliteHistory::open(localPath, makeFolders, result);
    if (!local)
        return nullptr;
    return std::make_unique<OutboxHistory>(std::move(local), name);
}

std::unique_ptr<HistoryStore> openServerHistory(const std::string& url, HistoryResult& result) {
    return PostgresHistory::open(url, result);
}

}  // namespace zor
