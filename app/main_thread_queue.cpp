#include "app/main_thread_queue.h"

#include <chrono>

namespace zor {

void MainThreadQueue::invokeAndWait(std::function<void()> fn) {
    std::unique_lock<std::mutex> lock(m_);
    bool done = false;
    tasks_.push_back([&] {
        fn();
        std::lock_guard<std::mutex> g(m_);
        done = true;
        cv_.notify_all();
    });
    cv_.notify_all();
    cv_.wait(lock, [&] { return done; });
}

void MainThreadQueue::post(std::function<void()> fn) {
    std::lock_guard<std::mutex> g(m_);
    tasks_.push_back(std::move(fn));
    cv_.notify_all();
}

void MainThreadQueue::runUntil(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        lock.unlock();
        if (done())
            return;
        lock.lock();
        cv_.wait(lock, [&] { return !tasks_.empty(); });
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

QueueTicker::QueueTicker(MainThreadQueue& queue, uint32_t intervalMs, std::function<void()> fn) {
    thread_ = std::thread([this, &queue, intervalMs, fn = std::move(fn)] {
        std::unique_lock<std::mutex> lock(m_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(intervalMs),
                               [this] { return stopping_; })) {
            queue.post(fn);
        }
    });
}

QueueTicker::~QueueTicker() {
    stop();
}

void QueueTicker::stop() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

}  // namespace zor
