// TfrmZORMain as the core's WizardView: boxes and sounds, the busy cursor,
// pages, captions, visibility and focus of the controls, the lists' rows, the
// bars, the clip, the file dialog, and calls from the transfer worker run on
// the window's thread.
#include "wizard/win32/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "app/percent.h"
#include "wizard/win32/wide_text.h"

namespace zor::win32ui {

using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

void TfrmZORMain::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    const UINT style = icon == BoxIcon::Information   ? MB_ICONINFORMATION
                       : icon == BoxIcon::Exclamation ? MB_ICONEXCLAMATION
                                                      : MB_ICONERROR;
    // Before the window is shown (the command line's boxes) the box stands
    // alone.
    HWND owner = !destroyed_ && ::IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
    ::MessageBoxW(owner, toUtf16(text).c_str(), toUtf16(caption).c_str(), MB_OK | style);
}

void TfrmZORMain::beep() {
    ::MessageBeep(MB_ICONEXCLAMATION);
}

void TfrmZORMain::setBusy(bool on) {
    if (on) {
        if (busy_++ == 0)
            savedCursor_ = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
    } else if (busy_ > 0 && --busy_ == 0) {
        ::SetCursor(savedCursor_ ? savedCursor_ : ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
    }
}

void TfrmZORMain::processPendingEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // For the loop that owns it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        dispatch(msg);
    }
}

void TfrmZORMain::showPage(Page page) {
    for (int i = 0; i < wizard::PAGE_COUNT; ++i) {
        if (i != static_cast<int>(page) && pages_[i])
            ::ShowWindow(pages_[i], SW_HIDE);
    }
    ::ShowWindow(pages_[static_cast<int>(page)], SW_SHOWNA);
    keepFocusUsable();
}

void TfrmZORMain::setVisible(Ctl control, bool visible) {
    HWND w = window(control);
    if (!w || destroyed_)
        return;
    ::ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
    if (!visible)
        keepFocusUsable();
}

void TfrmZORMain::setEnabled(Ctl control, bool enabled) {
    HWND w = window(control);
    if (!w || destroyed_)
        return;
    ::EnableWindow(w, enabled ? TRUE : FALSE);
    if (!enabled)
        keepFocusUsable();
}

void TfrmZORMain::setCaption(Ctl control, const std::string& text) {
    HWND w = window(control);
    if (!w || destroyed_)
        return;
    const Kind kind = items_[static_cast<int>(control)].def->kind;
    if (kind == Kind::Edit || kind == Kind::Memo) {
        // The core made this change itself: no change event back.
        ++quiet_;
        ::SetWindowTextW(w, editText(text).c_str());
        --quiet_;
        return;
    }
    ::SetWindowTextW(w, toUtf16(text).c_str());
}

void TfrmZORMain::setChecked(Ctl control, bool checked) {
    if (HWND w = window(control))
        ::SendMessageW(w, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TfrmZORMain::isChecked(Ctl control) {
    HWND w = window(control);
    return w && ::SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmZORMain::setFocus(Ctl control) {
    HWND w = window(control);
    if (w && !destroyed_)
        ::SetFocus(w);
}

void TfrmZORMain::clearPortRows() {
    HWND list = window(Ctl::lwPorte);
    if (!list || destroyed_)
        return;
    ++quiet_;
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    --quiet_;
}

void TfrmZORMain::addPortRow(const wizard::PortListRow& row) {
    HWND list = window(Ctl::lwPorte);
    if (!list || destroyed_)
        return;
    ++quiet_;
    std::wstring port = toUtf16(row.port);
    std::wstring status = toUtf16(row.status);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = port.data();
    const int at =
        static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item.iItem = at;
    item.iSubItem = 1;
    item.pszText = status.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
    --quiet_;
}

void TfrmZORMain::focusPortRow(int row, bool select) {
    HWND list = window(Ctl::lwPorte);
    if (!list || destroyed_ || row < 0 ||
        row >= static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) {
        return;
    }
    ++quiet_;
    LVITEMW state{};
    if (select) {
        state.stateMask = LVIS_SELECTED;  // every row: none selected
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(&state));
    }
    // The focus mark alone leaves the selection as it is.
    state.stateMask = select ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_FOCUSED;
    state.state = state.stateMask;
    ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    ::SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    --quiet_;
}

void TfrmZORMain::setComponentRows(const std::vector<wizard::ComponentListRow>& rows) {
    HWND list = window(Ctl::lvSelLang);
    if (!list || destroyed_)
        return;
    ++quiet_;
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring name = toUtf16(rows[i].name);
        std::wstring version = toUtf16(rows[i].version);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = name.data();
        item.lParam = rows[i].slot;
        const int at = static_cast<int>(
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        item.mask = LVIF_TEXT;
        item.iItem = at;
        item.iSubItem = 1;
        item.pszText = version.data();
        ::SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
        ListView_SetCheckState(list, at, FALSE);
    }
    // The first row holds the focus mark, so that Space ticks it as soon as
    // the list has the keyboard.
    if (!rows.empty()) {
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    --quiet_;
}

void TfrmZORMain::setBar(Ctl bar, int value) {
    if (HWND w = window(bar))
        ::SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(clampPercent(value)), 0);
}

void TfrmZORMain::repaintChart() {
    if (HWND w = window(Ctl::pbSelLang))
        ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TfrmZORMain::setAnimationPlaying(bool playing) {
    HWND clip = window(Ctl::anmAggiornamento);
    if (!clip || destroyed_ || playing == animating_)
        return;
    animating_ = playing;
    if (playing) {
        // From the first frame to the last, over and over.
        ::SendMessageW(clip, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    } else {
        ::SendMessageW(clip, ACM_STOP, 0, 0);
    }
}

void TfrmZORMain::informationSound() {
    ::MessageBeep(MB_ICONASTERISK);
}

bool TfrmZORMain::openFileDialog(const wizard::FileDialogRequest& request,
                                 std::string& chosenPath) {
    win32ui::FileDialog dialog;
    dialog.title = request.title;
    for (const wizard::FileFilter& f : request.filters)
        dialog.filters.emplace_back(f.description, f.pattern);
    dialog.initialDirectory = request.initialDirectory;
    return win32ui::runFileDialog(hwnd_, dialog, chosenPath);
}

void TfrmZORMain::closeWindow() {
    if (!destroyed_)
        ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TfrmZORMain::invokeAndWait(std::function<void()> fn) {
    if (::GetCurrentThreadId() == thread_) {
        fn();
        return;
    }
    // Blocks until the window's thread has run it; a window already gone
    // runs nothing and returns at once.
    ::SendMessageW(hwnd_, WM_ZOR_INVOKE, 0, reinterpret_cast<LPARAM>(&fn));
}

void TfrmZORMain::post(std::function<void()> fn) {
    auto* heap = new std::function<void()>(std::move(fn));
    if (!::PostMessageW(hwnd_, WM_ZOR_POST, 0, reinterpret_cast<LPARAM>(heap)))
        delete heap;
}

}  // namespace zor::win32ui
