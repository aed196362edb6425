#pragma once
// A second local user for the tests of what the programs trust: nobody
// (65534), as on Debian. The cases run as root, as technicians on a shared
// bench PC do, and skip themselves with a word otherwise.
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace zor::test {

constexpr uid_t OTHER_UID = 65534;

// Runs a shell command as nobody (util-linux's setpriv); true when it
// succeeded.
inline bool asOtherUser(const std::string& command) {
    const std::string quoted = "'" + command + "'";
    const std::string line =
        "setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c " + quoted + " 2>&1";
    return std::system(line.c_str()) == 0;
}

}  // namespace zor::test

#define ZOR_SKIP_UNLESS_ROOT()                                                           \
    do {                                                                                 \
        if (::geteuid() != 0)                                                            \
            GTEST_SKIP() << "needs root: the second user's files are planted as nobody"; \
    } while (0)
