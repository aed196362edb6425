#include "app/main_thread_queue.h"

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

}  // namespace zor
