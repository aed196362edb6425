#include "platform/system_error.h"

#include <windows.h>

#include <string>

#include "platform/win32/text.h"

namespace zor {

// The system message table in the user's default language (0x0400). The text
// comes in the ANSI code page and ends with CR LF; our texts are UTF-8.
std::string systemErrorText(int code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        static_cast<DWORD>(code), 0x0400, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr)
        text.assign(buffer, length);
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return win32::ansiToUtf8(text);
}

int lastSystemError() {
    return static_cast<int>(::GetLastError());
}

}  // namespace zor
