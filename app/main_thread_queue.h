#pragma once
// Hands work from a worker thread to the thread that pumps this queue: the
// transfer worker reaches the user interface only through it (the command
// line and the tests; the windows use their toolkit's own hand-over).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zor {

class MainThreadQueue {
  public:
    // From any thread: fn runs on the pumping thread; returns once it has run.
    void invokeAndWait(std::function<void()> fn);
    // From any thread: fn runs on the pumping thread later; returns at once.
    void post(std::function<void()> fn);
    // On the pumping thread: runs handed-over work, in order, until done()
    // holds (checked before waiting and after every piece of work).
    void runUntil(const std::function<bool()>& done);

  private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
};

// Posts fn to a queue every intervalMs, from a thread of its own, from its
// construction until stop(): the pumping thread wakes up (and redraws) also
// while no other work comes.
class QueueTicker {
  public:
    QueueTicker(MainThreadQueue& queue, uint32_t intervalMs, std::function<void()> fn);
    ~QueueTicker();  // stop()
    QueueTicker(const QueueTicker&) = delete;
    QueueTicker& operator=(const QueueTicker&) = delete;

    // Ends the thread and returns once it has ended: nothing more is posted
    // (what was posted before may still wait in the queue). Once; later calls
    // return at once.
    void stop();

  private:
    std::mutex m_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zor
