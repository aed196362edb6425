#pragma once
#include <string>

namespace zor {

// The OS's own text for an error code, in the user's language, without a
// trailing line break; empty where the OS has none for the code (Windows,
// for a code without a message or one that wants inserts).
std::string systemErrorText(int code);

// The calling thread's last OS error code (errno).
int lastSystemError();

}  // namespace zor
