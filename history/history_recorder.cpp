#include "history/history_recorder.h"

namespace zor {

HistoryRecorder::HistoryRecorder(Opener openStore) : open_(std::move(openStore)) {
    thread_ = std::thread([this] { work(); });
}

HistoryRecorder::~HistoryRecorder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
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

void HistoryRecorder::work() {
    std::unique_ptr<HistoryStore> store;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        HistoryRun run = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const bool giveUp = failed_;
        lock.unlock();
        HistoryResult result;
        if (!giveUp && !store)
            store = open_(result);
        if (!giveUp && store)
            result = store->store(run);
        lock.lock();
        if (!giveUp && result)
            ++stored_;
        if (!giveUp && !result) {
            failed_ = true;
            failure_ = result;
        }
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
}

}  // namespace zor
