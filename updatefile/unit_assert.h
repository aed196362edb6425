#pragma once
// Internal preconditions. A failed one names the source unit and the failed
// expression on stderr and aborts: it is a programming error, never a user
// error, so it is not reported through the UI sink.

namespace zor {

[[noreturn]] void assertionFailed(const char* unit, const char* expression, const char* file,
                                  int line);

// A program without a console (the Windows wizard) also shows the failure
// before the abort: reporter gets "Assertion failed: <expression>, unit <unit>
// (<file>:<line>)", on whatever thread failed, and returns when the user has
// seen it. Null: stderr only.
using AssertionReporter = void (*)(const char* text);
void setAssertionReporter(AssertionReporter reporter);

}  // namespace zor

// ZOR_ASSERT("GestFile", x == 0) reports the expression as written.
#define ZOR_ASSERT(unit, cond) \
    ((cond) ? static_cast<void>(0) : ::zor::assertionFailed(unit, #cond, __FILE__, __LINE__))

// As ZOR_ASSERT, with the reported expression text given explicitly.
#define ZOR_ASSERT_TEXT(unit, cond, text) \
    ((cond) ? static_cast<void>(0) : ::zor::assertionFailed(unit, text, __FILE__, __LINE__))
