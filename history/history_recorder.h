#pragma once
// Stores runs without holding up the bench: the store is opened and written
// on a thread of its own, so a slow disk, or another program's write that
// keeps the database busy, never delays a chronometer or the station's
// table. A store that fails is given up: the runs after it are dropped, and
// the first failure is kept for the front end to say once.
//
// A store that passes runs on to a server (outbox_history.h) is asked to
// send them once the runs queued are kept, and again every retry interval
// while some wait: a server that comes back gets them without a new run.
#include <chrono>
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
    explicit HistoryRecorder(Opener openStore,
                             std::chrono::milliseconds retry = std::chrono::seconds(30));
    // Stores what is queued, then ends the thread; a send to a server that
    // is under way gives up, and what it had not sent waits in the outbox.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Queues run; returns at once.
    void add(HistoryRun run);
    // Waits until every run queued has been stored or dropped.
    void flush();
    // As flush(), waiting at most for; false when runs were still being
    // kept or sent then.
    bool flushFor(std::chrono::milliseconds most);
    // The runs bound for a server: how many wait, and why, after the last
    // try.
    SendState sendState() const;
    // The first failure, once, and only once: later calls give nothing.
    std::optional<HistoryResult> takeFailure();
    // Runs stored so far (new to the store or not).
    size_t stored() const;

  private:
    void work();
    void send(std::unique_lock<std::mutex>& lock);

    Opener open_;
    std::chrono::milliseconds retry_;
    std::unique_ptr<HistoryStore> store_;  // made and used on the thread; stopWaiting() from others
    SendState sent_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<HistoryRun> queue_;
    bool busy_ = false, ending_ = false, failed_ = false, failureTaken_ = false;
    HistoryResult failure_;
    size_t stored_ = 0;
    std::thread thread_;
};

}  // namespace zor
