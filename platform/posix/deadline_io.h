#pragma once
// Waiting on a descriptor under a deadline: the serial port's reads and
// writes, the one-instance socket's connect, send and receive.
#include <chrono>

namespace zor::posix {

// The steady-clock moment a wait (or a whole exchange) must be over by.
class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(Clock::duration within) : at_(Clock::now() + within) {}

    // The time left as a poll() timeout: rounded up, since poll(0) would spin
    // through the last partial millisecond; 0 once the deadline has passed;
    // at most 60 s (pollUntil comes back for the rest).
    int msLeft() const;

  private:
    Clock::time_point at_;
};

// Polls fd for events until it is ready or the deadline passes; EINTR is
// retried. 1: ready, or an error or hang-up the next call will report
// (revents, when given, tells which); 0: the deadline passed first; -1: poll()
// failed, errno tells why.
int pollUntil(int fd, short events, const Deadline& deadline, short* revents = nullptr);

}  // namespace zor::posix
