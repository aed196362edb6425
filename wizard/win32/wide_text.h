#pragma once
// The wizard's texts are UTF-8; the W entry points of Windows take UTF-16.
#include <string>

namespace zor::win32ui {

std::wstring toUtf16(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);

// A text for an edit control: every line end becomes CR LF.
std::wstring editText(const std::string& utf8);

}  // namespace zor::win32ui
