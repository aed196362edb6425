#pragma once
// Shares of a whole in percent, as the progress displays show them.
#include <algorithm>

namespace zor {

// A share as a bar or a figure shows it: within 0..100, whatever the
// transfer computed (its shares are passed on unclamped).
constexpr int clampPercent(int percent) {
    return std::clamp(percent, 0, 100);
}

// The time the rest of a whole needs when it goes at the pace of the part
// done: percent (1..100) of it took elapsed. elapsed * (100 - percent) /
// percent, in elapsed's own type: an integer type divides as integers do.
template <typename T>
constexpr T timeLeftAtPace(T elapsed, int percent) {
    return elapsed * (100 - percent) / percent;
}

}  // namespace zor
