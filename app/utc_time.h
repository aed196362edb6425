#pragma once
// The time records and the history keep: UTC, to the second.
#include <string>

namespace zor {

// Now as "2024-05-17T09:41:07Z".
std::string utcTimestamp();

}  // namespace zor
