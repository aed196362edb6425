#pragma once
// The wizard's texts are UTF-8; the W entry points of Windows take UTF-16.
#include <string>

#include "platform/win32/text.h"

namespace zor::win32ui {

using win32::toUtf16;
using win32::toUtf8;

// A text for an edit control: every line end becomes CR LF.
std::wstring editText(const std::string& utf8);

}  // namespace zor::win32ui
