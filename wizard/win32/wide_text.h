#pragma once
// The wizard's texts are UTF-8; the W entry points of Windows take UTF-16.
#include <windows.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/text.h"

namespace zor::win32ui {

using win32::toUtf16;
using win32::toUtf8;

// A text for an edit control: every line end becomes CR LF.
std::wstring editText(const std::string& utf8);

// The system's file dialog: to open an existing file, or to save one (asking
// before one is overwritten). The process's current folder stays where it
// was, so a relative name from the command line still means what it meant.
struct FileDialog {
    bool save = false;
    std::string title;
    std::vector<std::pair<std::string, std::string>> filters;  // description, pattern
    std::string initialDirectory;                              // empty: the system's choice
    std::string proposedName;                                  // save: the name offered
    std::string defaultExtension;                              // save: added when none is typed
};
// False when the user cancelled; path is UTF-8.
bool runFileDialog(HWND owner, const FileDialog& dialog, std::string& path);

// The window procedure of a window an object of W keeps, the object having
// passed itself as CreateWindowExW's last parameter: it is found in the
// window's user data from WM_NCCREATE on (and given the handle, hwnd_), let
// go at WM_NCDESTROY (destroyed_ set) and handed every message between
// (handleMessage). An exception must not unwind through the system's
// frames: it is shown in a box titled W::exceptionTitle(), and the window
// goes on.
template <typename W>
LRESULT CALLBACK objectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<W*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<W*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        self->destroyed_ = true;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    try {
        return self->handleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        ::MessageBoxW(hwnd, toUtf16(e.what()).c_str(), toUtf16(self->exceptionTitle()).c_str(),
                      MB_OK | MB_ICONERROR);
    }
    return 0;
}

}  // namespace zor::win32ui
