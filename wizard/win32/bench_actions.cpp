// What the bench window's buttons do beyond handing a click to the core:
// the file dialogs, the file typed by hand, the clipboard and the CSV file.
#include <windows.h>

#include <commdlg.h>

#include <cstring>
#include <vector>

#include "platform/file.h"
#include "text/cli_text.h"
#include "text/station_window_text.h"
#include "text/wizard_text.h"
#include "wizard/win32/bench_window.h"
#include "wizard/win32/wide_text.h"

namespace zor::stationwin {

using win32ui::toUtf16;
using win32ui::toUtf8;

namespace {

std::wstring fieldText(HWND w) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void BenchWindow::openFile(const std::string& path, bool startNow) {
    ++quiet_;
    ::SetWindowTextW(control(ID_FILE), toUtf16(path).c_str());
    --quiet_;
    fileTyped_ = false;
    if (path.empty() || !core_->loadFile(path))
        return;
    if (startNow) {
        ++quiet_;
        ::CheckRadioButton(hwnd_, ID_ALL, ID_CHOSEN, ID_ALL);
        --quiet_;
        mode_ = SelectionMode::All;
        core_->setSelectionMode(mode_);
        core_->start();
    }
}

void BenchWindow::browse() {
    win32ui::FileDialog dialog;
    dialog.title = OPEN_DIALOG_TITLE;
    dialog.filters = {
        {UPD_FILTER_NAME, "*.upd"}, {BIN_FILTER_NAME, "*.bin"}, {ALL_FILES_FILTER_NAME, "*.*"}};
    std::string chosen;
    if (win32ui::runFileDialog(hwnd_, dialog, chosen))
        openFile(chosen, false);
}

bool BenchWindow::loadTypedFile() {
    if (!fileEnabled_)
        return false;
    fileTyped_ = false;
    const std::string path = toUtf8(fieldText(control(ID_FILE)));
    return !path.empty() && core_->loadFile(path);
}

void BenchWindow::start() {
    // A file name typed since the last load is what the technician means.
    if (fileTyped_ && !loadTypedFile())
        return;
    core_->start();
}

void BenchWindow::copySession() {
    // The list as text with CR LF line ends, for a spreadsheet or a mail.
    const std::wstring text = win32ui::editText(core_->sessionText());
    // Another program may hold the clipboard for a moment (a clipboard
    // manager reading what was just copied): asked again for up to half a
    // second before giving up.
    bool open = false;
    for (int tries = 0; tries < 25 && !(open = ::OpenClipboard(hwnd_) != 0); ++tries)
        ::Sleep(20);
    if (!open)
        return;
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
        ::GlobalUnlock(memory);
        if (!::SetClipboardData(CF_UNICODETEXT, memory))
            ::GlobalFree(memory);
    }
    ::CloseClipboard();
}

void BenchWindow::saveSession() {
    win32ui::FileDialog dialog;
    dialog.save = true;
    dialog.title = SAVE_CSV_DIALOG_TITLE;
    dialog.filters = {{CSV_FILTER_NAME, "*.csv"}, {ALL_FILES_FILTER_NAME, "*.*"}};
    dialog.proposedName = SESSION_CSV_FILE_NAME;
    dialog.defaultExtension = "csv";
    std::string chosen;
    if (!win32ui::runFileDialog(hwnd_, dialog, chosen))
        return;
    FileProblem problem;
    if (!writeWholeFile(chosen, core_->sessionCsv(), false, problem)) {
        messageBox({sessionCsvFailedText(chosen, fileProblemText(problem)), STATION_WINDOW_TITLE,
                    BoxIcon::Error, true});
    }
}

}  // namespace zor::stationwin
