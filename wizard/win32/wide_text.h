#pragma once
// The wizard's texts are UTF-8; the W entry points of Windows take UTF-16.
#include <windows.h>

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

}  // namespace zor::win32ui
