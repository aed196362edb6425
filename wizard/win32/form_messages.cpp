// The form's messages: the loop, the keys the form answers itself, the
// window procedures of the form and of its panes, and every user action
// handed to the core's handlers. Which button a key presses, what a second
// start's message does and which list changes count come from the core's
// window rules.
#include "wizard/win32/main_form.h"

#include <commctrl.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "platform/single_instance.h"
#include "text/wizard_text.h"
#include "wizard/win32/wide_text.h"
#include "wizard/window_rules.h"

namespace zor::win32ui {

using wizard::Ctl;
using wizard::FormKey;

namespace {

std::wstring windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// A row of the component list as the list view keeps it: the check box is
// the state image, 2 when ticked (1 the empty box).
wizard::RowState rowState(UINT state) {
    wizard::RowState row;
    row.checked = (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    row.selected = (state & LVIS_SELECTED) != 0;
    row.focused = (state & LVIS_FOCUSED) != 0;
    return row;
}

}  // namespace

int TfrmZORMain::run() {
    MSG msg{};
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
}

void TfrmZORMain::dispatch(MSG& msg) {
    if (handleKey(msg))
        return;
    if (hwnd_ && !destroyed_ && ::IsDialogMessageW(hwnd_, &msg))
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

bool TfrmZORMain::handleKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || destroyed_ || !core_)
        return false;
    if (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd))
        return false;
    if (msg.wParam == VK_RETURN) {
        // The focused button, else the default one. The dialog manager would
        // take the default button even with another button focused, since
        // this is no dialog box and the focus moves no default frame.
        const int focused = indexOf(::GetFocus());
        clickButton(
            wizard::keyTarget(FormKey::Enter, focused > 0 ? static_cast<Ctl>(focused) : Ctl::Form));
        return true;
    }
    if (msg.wParam == VK_ESCAPE) {
        clickButton(wizard::keyTarget(FormKey::Escape, Ctl::Form));
        return true;
    }
    return false;
}

void TfrmZORMain::clickButton(Ctl button) {
    HWND w = window(button);
    if (w && ::IsWindowVisible(w) && ::IsWindowEnabled(w))
        onCommand(controlId(button), BN_CLICKED);
}

int TfrmZORMain::selectedRow(HWND list) const {
    return static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                           MAKELPARAM(LVNI_SELECTED, 0)));
}

void TfrmZORMain::keepFocusUsable() {
    // A control that is hidden or disabled keeps the focus otherwise, and the
    // keyboard goes nowhere.
    if (destroyed_ || ::GetActiveWindow() != hwnd_)
        return;
    HWND focus = ::GetFocus();
    if (focus && focus != hwnd_ && !::IsChild(hwnd_, focus))
        return;
    if (focus && focus != hwnd_ && ::IsWindowVisible(focus) && ::IsWindowEnabled(focus))
        return;
    // The form itself then: Enter still reaches the default button, Tab the
    // first control, and no button the user did not choose holds the focus.
    ::SetFocus(hwnd_);
}

std::string TfrmZORMain::exceptionTitle() const {
    return core_ ? core_->applicationTitle() : WIZARD_TITLE;
}

LRESULT CALLBACK TfrmZORMain::paneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TfrmZORMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        form = static_cast<TfrmZORMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    if (form && !form->destroyed_) {
        switch (msg) {
            // The controls inside report to the form, like direct children.
            case WM_COMMAND:
            case WM_NOTIFY:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
                return ::SendMessageW(form->hwnd_, msg, wParam, lParam);
            case WM_ERASEBKGND:
                if (form->indexOf(hwnd) == static_cast<int>(Ctl::pbSelLang))
                    return 1;  // painted whole, off screen
                break;
            case WM_PAINT:
                try {
                    form->paintPane(hwnd);
                } catch (const std::exception&) {
                    ::ValidateRect(hwnd, nullptr);
                }
                return 0;
            default:
                break;
        }
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT TfrmZORMain::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            onNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case DM_GETDEFID:
            // Asked by the dialog manager; Enter itself is handled in handleKey.
            return MAKELRESULT(controlId(wizard::defaultButton()), DC_HASDEFID);
        case WM_NEXTDLGCTL: {
            // The dialog manager's focus moves (arrows, accelerators of labels).
            HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                         : ::GetNextDlgTabItem(hwnd_, ::GetFocus(),
                                                               wParam != 0 ? TRUE : FALSE);
            if (target) {
                ::SetFocus(target);
                if (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                    ::SendMessageW(target, EM_SETSEL, 0, -1);
            }
            return 0;
        }
        case WM_SHOWINSTANCE:
            WMShowInstance(wParam);
            return 0;
        case WM_ZOR_INVOKE:
            (*reinterpret_cast<std::function<void()>*>(lParam))();
            return 0;
        case WM_ZOR_POST: {
            std::unique_ptr<std::function<void()>> fn(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*fn)();
            return 0;
        }
        case WM_SETCURSOR:
            if (busy_ > 0) {
                ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // Like a dialog box: the focus comes back to the control that had
            // it, after a message box, the file dialog or another program.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus))
                    savedFocus_ = focus;
            } else if (!HIWORD(wParam)) {
                if (savedFocus_ && ::IsChild(hwnd_, savedFocus_) &&
                    ::IsWindowVisible(savedFocus_) && ::IsWindowEnabled(savedFocus_)) {
                    ::SetFocus(savedFocus_);
                } else {
                    keepFocusUsable();
                }
                return 0;
            }
            break;
        case WM_CLOSE:
            // Cancel, Fine, the close box and Alt+F4 all come here.
            if (core_) {
                if (!core_->FormCloseQuery())
                    return 0;
                core_->FormClose();
            }
            if (HWND clip = window(Ctl::anmAggiornamento))
                ::SendMessageW(clip, ACM_STOP, 0, 0);
            ::DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TfrmZORMain::onCommand(int id, int code) {
    if (!core_)
        return;
    if (id == IDCANCEL) {  // Esc through the dialog manager
        clickButton(wizard::keyTarget(FormKey::Escape, Ctl::Form));
        return;
    }
    if (id == IDOK) {
        clickButton(wizard::keyTarget(FormKey::Enter, Ctl::Form));
        return;
    }
    const int index = id - FIRST_CONTROL_ID;
    if (index <= 0 || index >= wizard::CONTROL_COUNT)
        return;
    const Ctl control = static_cast<Ctl>(index);
    if (code == BN_CLICKED) {
        switch (control) {
            case Ctl::btnAvanti:
                core_->btnAvantiClick();
                break;
            case Ctl::btnIndietro:
                core_->btnIndietroClick();
                break;
            case Ctl::btnAnnulla:
                core_->btnAnnullaClick();
                break;
            case Ctl::btnAltro:
                core_->btnAltroClick();
                break;
            case Ctl::btnSfoglia:
                core_->btnSfogliaClick();
                break;
            default:
                break;
        }
    } else if (code == EN_CHANGE && control == Ctl::FileName && quiet_ == 0) {
        core_->fileNameOnChange(toUtf8(windowText(window(Ctl::FileName))));
    }
}

void TfrmZORMain::onNotify(const NMHDR& header) {
    if (!core_ || quiet_ > 0)
        return;
    const int index = indexOf(header.hwndFrom);
    if (index == static_cast<int>(Ctl::lwPorte)) {
        if (header.code == LVN_ITEMCHANGED)
            core_->lwPorteOnchange(selectedRow(header.hwndFrom));
        else if (header.code == NM_DBLCLK)
            core_->lwPorteDblClick();
    } else if (index == static_cast<int>(Ctl::lvSelLang) && header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        // A change that is no change of the state bits (text, item data)
        // leaves the row's state as it was.
        const wizard::RowState after = rowState(change.uNewState);
        const wizard::RowState before =
            (change.uChanged & LVIF_STATE) ? rowState(change.uOldState) : after;
        const int row = change.iItem;
        const bool checked =
            row >= 0 && ListView_GetCheckState(header.hwndFrom, static_cast<UINT>(row)) != 0;
        core_->lvSelLangChange(row, checked, wizard::listChange(before, after));
    }
}

void TfrmZORMain::WMShowInstance(WPARAM wParam) {
    if (destroyed_)
        return;
    // Not shown yet, the command line's boxes are still up: the rule leaves
    // it as it is, as it leaves wParam 2.
    const bool shown = ::IsWindowVisible(hwnd_) != FALSE;
    if (wizard::showInstanceAction(static_cast<uint32_t>(wParam), shown) !=
        wizard::ShowInstanceAction::BringToFront)
        return;
    ::ShowWindow(hwnd_, SW_MINIMIZE);
    ::ShowWindow(hwnd_, SW_RESTORE);
    HWND front = ::GetLastActivePopup(hwnd_);
    if (front && ::IsWindowVisible(front) && ::IsWindowEnabled(front))
        ::SetForegroundWindow(front);
}

}  // namespace zor::win32ui
