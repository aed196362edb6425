#include "platform/posix/deadline_io.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace zor::posix {

int Deadline::msLeft() const {
    using namespace std::chrono;
    const auto left = at_ - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = duration_cast<milliseconds>(left + milliseconds(1) - nanoseconds(1)).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

int pollUntil(int fd, short events, const Deadline& deadline, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, deadline.msLeft());
        if (n > 0) {
            if (revents)
                *revents = p.revents;
            return 1;
        }
        if (n < 0 && errno != EINTR)
            return -1;
        // A timeout rounded up ends at or after the deadline: only the 60 s
        // cap can bring poll() back early.
        if (n == 0 && deadline.msLeft() == 0)
            return 0;
    }
}

}  // namespace zor::posix
