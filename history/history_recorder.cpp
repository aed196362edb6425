#include "history/history_recorder.h"

namespace zor {

HistoryRecorder::HistoryRecorder(Opener openStore, std::chrono::milliseconds retry)
    : open_(std::move(openStore)), retry_(retry) {
    thread_ = std::thread([this] { work(); });
}

HistoryRecorder::~HistoryRecorder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        if (store_)
            store_->stopWaiting();
    }
    wake_.notify_all();
    thread_.join();
}

void HistoryRecorder::add(HistoryRun run) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(run));
    }
    wake_.notify_all();
}

void HistoryRecorder::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

bool HistoryRecorder::flushFor(std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, most, [this] { return queue_.empty() && !busy_; });
}

SendState HistoryRecorder::sendState() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

std::optional<HistoryResult> HistoryRecorder::takeFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failed_ || failureTaken_)
        return std::nullopt;
    failureTaken_ = true;
    return failure_;
}

size_t HistoryRecorder::stored() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stored_;
}

// With the lock held on entry and on return; busy_ is set by the caller.
void HistoryRecorder::send(std::unique_lock<std::mutex>& lock) {
    HistoryStore* store = store_.get();
    lock.unlock();
    const SendState state = store->sendPending();
    lock.lock();
    sent_ = state;
}

void HistoryRecorder::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const bool woken =
            wake_.wait_for(lock, retry_, [this] { return ending_ || !queue_.empty(); });
        if (!woken) {
            // Runs still waiting for the server: try it again.
            if (store_ && !failed_ && sent_.waiting > 0) {
                busy_ = true;
                send(lock);
                busy_ = false;
                if (queue_.empty())
                    idle_.notify_all();
            }
            continue;
        }
        if (queue_.empty())
            return;
        HistoryRun run = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const bool giveUp = failed_;
        lock.unlock();
        HistoryResult result;
        std::unique_ptr<HistoryStore> opened;
        if (!giveUp && !store_)
            opened = open_(result);
        lock.lock();
        if (opened)
            store_ = std::move(opened);
        HistoryStore* store = giveUp ? nullptr : store_.get();
        lock.unlock();
        if (store)
            result = store->store(run);
        lock.lock();
        if (!giveUp && result)
            ++stored_;
        if (!giveUp && !result) {
            failed_ = true;
            failure_ = result;
        }
        // Every run queued is kept: now the server's turn, unless the
        // program is ending.
        if (store_ && !failed_ && queue_.empty() && !ending_)
            send(lock);
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
}

}  // namespace zor
