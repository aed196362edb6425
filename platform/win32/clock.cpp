#include "platform/clock.h"

#include <windows.h>

namespace zor {
namespace {

// The tick count wraps after 49.7 days; callers compare unsigned differences.
class SystemClock : public Clock {
  public:
    uint32_t tickMs() override { return ::GetTickCount(); }
    void sleepMs(uint32_t ms) override { ::Sleep(ms); }
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace zor
