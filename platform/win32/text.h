#pragma once
// Our texts and paths are UTF-8. The W entry points of the system take
// UTF-16; texts from its ANSI entry points (messages) are in the user's ANSI
// code page.
#include <string>

namespace zor::win32 {

// From the ANSI code page (CP_ACP) to UTF-8; the text unchanged when the
// system cannot convert it.
std::string ansiToUtf8(const std::string& text);

// UTF-8 to UTF-16 and back; empty when the system cannot convert.
std::wstring toUtf16(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);

}  // namespace zor::win32
