#pragma once
// Millisecond tick count and sleep, behind one interface so that the long
// protocol waits (the chronometer's flash work, a connection check that gets
// no answer at any speed) can run on a virtual clock.
#include <cstdint>

namespace zor {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; wraps at 2^32 like the Win32 tick
    // count, so callers compare with unsigned differences.
    virtual uint32_t tickMs() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// steady_clock milliseconds and a real sleep.
Clock& systemClock();

// A clock that only moves when told to. sleepMs advances it at once; code that
// polls a port on it must advance it on every empty read (see SimPort).
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint32_t start = 0) : now_(start) {}
    uint32_t tickMs() override { return now_; }
    void sleepMs(uint32_t ms) override { now_ += ms; }
    void advance(uint32_t ms) { now_ += ms; }

  private:
    uint32_t now_;
};

}  // namespace zor
