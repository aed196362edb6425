#include "updatefile/unit_assert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace zor {

namespace {
std::atomic<AssertionReporter> reporter_{nullptr};
}

void setAssertionReporter(AssertionReporter reporter) {
    reporter_.store(reporter);
}

void assertionFailed(const char* unit, const char* expression, const char* file, int line) {
    char text[1024];
    std::snprintf(text, sizeof text, "Assertion failed: %s, unit %s (%s:%d)", expression, unit,
                  file, line);
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    if (const AssertionReporter report = reporter_.load())
        report(text);
    std::abort();
}

}  // namespace zor
