#include "app/main_thread_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zor {
namespace {

// Runs on the pumping thread everything posted so far.
void drain(MainThreadQueue& queue) {
    bool drained = false;
    queue.post([&drained] { drained = true; });
    queue.runUntil([&drained] { return drained; });
}

// The display a ticker redraws goes away after stop(): once stop() has
// returned, no tick may be posted any more.
TEST(QueueTicker, PostsUntilStoppedAndNeverAfter) {
    MainThreadQueue queue;
    int ticks = 0;
    QueueTicker ticker(queue, 1, [&ticks] { ++ticks; });
    queue.runUntil([&ticks] { return ticks >= 3; });
    ticker.stop();
    drain(queue);
    const int stopped = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    drain(queue);
    EXPECT_EQ(ticks, stopped);
    ticker.stop();  // again: returns at once
}

}  // namespace
}  // namespace zor
