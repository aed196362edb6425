#include "updatefile/unit_assert.h"

#include <cstdio>
#include <cstdlib>

namespace zor {

void assertionFailed(const char* unit, const char* expression, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s, unit %s (%s:%d)\n", expression, unit, file, line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace zor
