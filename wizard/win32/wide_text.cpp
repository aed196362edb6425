#include "wizard/win32/wide_text.h"

#include <commdlg.h>

#include <algorithm>

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

bool runFileDialog(HWND owner, const FileDialog& d, std::string& chosen) {
    // "description\0pattern\0" for each filter, closed by one more NUL.
    std::wstring filters;
    for (const auto& [description, pattern] : d.filters) {
        filters += toUtf16(description);
        filters += L'\0';
        filters += toUtf16(pattern);
        filters += L'\0';
    }
    filters += L'\0';
    const std::wstring title = toUtf16(d.title);
    const std::wstring directory = toUtf16(d.initialDirectory);
    const std::wstring extension = toUtf16(d.defaultExtension);
    std::vector<wchar_t> path(32768, L'\0');
    const std::wstring proposed = toUtf16(d.proposedName);
    std::copy(proposed.begin(), proposed.begin() + long(std::min(proposed.size(), path.size() - 1)),
              path.begin());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // Opened: the file must exist; no read-only box either way.
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (d.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(d.save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog)))
        return false;
    chosen = toUtf8(path.data());
    return true;
}

}  // namespace zor::win32ui
