#include "wizard/win32/wide_text.h"

namespace zor::win32ui {

std::wstring editText(const std::string& utf8) {
    std::wstring out;
    for (wchar_t c : toUtf16(utf8)) {
        if (c == L'\n' && (out.empty() || out.back() != L'\r'))
            out += L'\r';
        out += c;
    }
    return out;
}

}  // namespace zor::win32ui
