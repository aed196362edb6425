#pragma once
// Stores runs without holding up the bench: the store is opened and written
// on a thread of its own, so a slow disk, or another program's write that
// keeps the database busy, never delays a chronometer or the station's
// table. A store that fails is given up: the runs after it are dropped, and
// the first failure is kept for the front end to say once.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "history/history_store.h"

namespace zor {

class HistoryRecorder {
  public:
    // openStore runs on the recorder's thread at the first run; it returns
    // the store, or null with why in its result.
    using Opener = std::function<std::unique_ptr<HistoryStore>(HistoryResult&)>;
    explicit HistoryRecorder(Opener openStore);
    // Stores what is queued, then ends the thread.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Queues run; returns at once.
    void add(HistoryRun run);
    // Waits until every run queued has been stored or dropped.
    void flush();
    // The first failure, once, and only once: later calls give nothing.
    std::optional<HistoryResult> takeFailure();
    // Runs stored so far (new to the store or not).
    size_t stored() const;

  private:
    void work();

    Opener open_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<HistoryRun> queue_;
    bool busy_ = false, ending_ = false, failed_ = false, failureTaken_ = false;
    HistoryResult failure_;
    size_t stored_ = 0;
    std::thread thread_;
};

}  // namespace zor
