#pragma once
// Texts that come from the ANSI entry points of the system (messages, module
// names) are in the user's ANSI code page; ours are UTF-8.
#include <string>

namespace zor::win32 {

// From the ANSI code page (CP_ACP) to UTF-8; the text unchanged when the
// system cannot convert it.
std::string ansiToUtf8(const std::string& text);

}  // namespace zor::win32
