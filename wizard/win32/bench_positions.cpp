// "Posti...": the bench's positions as a list the technician edits before a
// session, one row per place on the bench with the port its cable goes to.
// The rows change only here; "Salva" hands them to the core, which checks
// them, writes the user's positions file and redraws the tiles, or shows a
// box saying what is wrong and keeps the dialog open.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "text/station_window_text.h"
#include "wizard/win32/bench_window.h"
#include "wizard/win32/wide_text.h"

namespace zor::stationwin {

using win32ui::toUtf16;
using win32ui::toUtf8;

namespace {

constexpr int WIDTH = 470, HEIGHT = 312;  // the client area at 96 DPI

// Each control's place at 96 DPI, in the tab order: x, y, width, height.
// The port's height is its list's, dropped.
struct Place {
    int id, x, y, width, height;
};
constexpr Place PLACES[] = {
    {ID_POSITIONS_LIST, 10, 10, 330, 218},   {ID_POSITIONS_NAME_LABEL, 10, 244, 70, 20},
    {ID_POSITIONS_NAME, 80, 240, 260, 23},   {ID_POSITIONS_PORT_LABEL, 10, 278, 70, 20},
    {ID_POSITIONS_PORT, 80, 274, 260, 220},  {ID_POSITIONS_ADD, 350, 10, 110, 28},
    {ID_POSITIONS_REMOVE, 350, 44, 110, 28}, {ID_POSITIONS_UP, 350, 88, 110, 28},
    {ID_POSITIONS_DOWN, 350, 122, 110, 28},  {ID_POSITIONS_SAVE, 350, 240, 110, 28},
    {IDCANCEL, 350, 274, 110, 28},
};

std::wstring textOf(HWND w) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

class PositionsEditor {
  public:
    PositionsEditor(StationWindowCore& core, HFONT font, int dpi)
        : core_(core), font_(font), dpi_(dpi), rows_(core.positions()) {}

    static INT_PTR CALLBACK proc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_INITDIALOG)
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<PositionsEditor*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        if (!self)
            return FALSE;
        try {
            return self->handle(dialog, msg, wParam, lParam);
        } catch (const std::exception& e) {
            ::MessageBoxW(dialog, toUtf16(e.what()).c_str(), toUtf16(STATION_WINDOW_TITLE).c_str(),
                          MB_OK | MB_ICONERROR);
        }
        return TRUE;
    }

  private:
    int scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
    HWND item(int id) const { return ::GetDlgItem(dialog_, id); }
    int selected() const {
        return static_cast<int>(::SendMessageW(item(ID_POSITIONS_LIST), LVM_GETNEXTITEM,
                                               static_cast<WPARAM>(-1), LVNI_SELECTED));
    }

    INT_PTR handle(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
        switch (msg) {
            case WM_INITDIALOG:
                dialog_ = dialog;
                create();
                fill(rows_.empty() ? -1 : 0);
                ::SetFocus(item(ID_POSITIONS_LIST));
                return FALSE;  // the focus is set
            case WM_COMMAND:
                command(LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            case WM_NOTIFY: {
                const auto& n = *reinterpret_cast<const NMLISTVIEW*>(lParam);
                if (!quiet_ && n.hdr.idFrom == ID_POSITIONS_LIST && n.hdr.code == LVN_ITEMCHANGED &&
                    (n.uChanged & LVIF_STATE) && ((n.uNewState ^ n.uOldState) & LVIS_SELECTED))
                    showSelected();
                return TRUE;
            }
            default:
                return FALSE;
        }
    }

    void create() {
        const PositionsEditorCaptions& c = POSITIONS_EDITOR_CAPTIONS;
        ::SetWindowTextW(dialog_, toUtf16(c.title).c_str());
        RECT frame{0, 0, scale(WIDTH), scale(HEIGHT)};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(dialog_, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(::GetWindowLongW(dialog_, GWL_EXSTYLE)));
        // Over the middle of the bench window.
        RECT owner;
        ::GetWindowRect(::GetWindow(dialog_, GW_OWNER), &owner);
        const int w = frame.right - frame.left, h = frame.bottom - frame.top;
        ::SetWindowPos(dialog_, nullptr, (owner.left + owner.right - w) / 2,
                       (owner.top + owner.bottom - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);

        const DWORD button = WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
        for (const Place& p : PLACES) {
            const wchar_t* cls = L"Button";
            const char* text = "";
            DWORD style = button, exStyle = 0;
            switch (p.id) {
                case ID_POSITIONS_LIST:
                    cls = WC_LISTVIEWW;
                    text = c.title;
                    style = WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                            LVS_NOSORTHEADER;
                    exStyle = WS_EX_CLIENTEDGE;
                    break;
                case ID_POSITIONS_NAME_LABEL:
                case ID_POSITIONS_PORT_LABEL:
                    cls = L"Static";
                    text = p.id == ID_POSITIONS_NAME_LABEL ? c.name : c.port;
                    style = SS_LEFT;
                    break;
                case ID_POSITIONS_NAME:
                    cls = L"Edit";
                    style = WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
                    exStyle = WS_EX_CLIENTEDGE;
                    break;
                case ID_POSITIONS_PORT:
                    cls = L"ComboBox";
                    style = WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
                    break;
                case ID_POSITIONS_ADD:
                    text = c.add;
                    break;
                case ID_POSITIONS_REMOVE:
                    text = c.remove;
                    break;
                case ID_POSITIONS_UP:
                    text = c.up;
                    break;
                case ID_POSITIONS_DOWN:
                    text = c.down;
                    break;
                case ID_POSITIONS_SAVE:
                    text = c.save;
                    style = WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON;
                    break;
                default:
                    text = c.cancel;
                    break;
            }
            HWND w = ::CreateWindowExW(exStyle, cls, toUtf16(text).c_str(),
                                       WS_CHILD | WS_VISIBLE | style, scale(p.x), scale(p.y),
                                       scale(p.width), scale(p.height), dialog_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)),
                                       ::GetModuleHandleW(nullptr), nullptr);
            ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        }
        ::SendMessageW(dialog_, DM_SETDEFID, ID_POSITIONS_SAVE, 0);

        HWND list = item(ID_POSITIONS_LIST);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
        const char* headings[2] = {c.name, c.port};
        for (int i = 0; i < 2; ++i) {
            std::wstring heading = toUtf16(headings[i]);
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.cx = scale(i == 0 ? 150 : 170);
            col.pszText = heading.data();
            ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
        }
        for (const std::string& port : core_.portChoices()) {
            ::SendMessageW(item(ID_POSITIONS_PORT), CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(toUtf16(port).c_str()));
        }
    }

    void setCell(int row, int column, const std::string& text) {
        std::wstring wide = toUtf16(text);
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = wide.data();
        ::SendMessageW(item(ID_POSITIONS_LIST), LVM_SETITEMTEXTW, row,
                       reinterpret_cast<LPARAM>(&cell));
    }

    // The rows afresh, with select the one selected (-1: none).
    void fill(int select) {
        HWND list = item(ID_POSITIONS_LIST);
        ++quiet_;
        ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        for (size_t i = 0; i < rows_.size(); ++i) {
            LVITEMW row{};
            row.mask = LVIF_TEXT;
            row.iItem = static_cast<int>(i);
            std::wstring name = toUtf16(rows_[i].name);
            row.pszText = name.data();
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
            setCell(static_cast<int>(i), 1, rows_[i].port);
        }
        if (select >= 0) {
            ListView_SetItemState(list, select, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ::SendMessageW(list, LVM_ENSUREVISIBLE, select, FALSE);
        }
        --quiet_;
        showSelected();
    }

    // The fields and buttons for the row selected.
    void showSelected() {
        const int at = selected(), count = static_cast<int>(rows_.size());
        ++quiet_;
        ::SetWindowTextW(item(ID_POSITIONS_NAME), at >= 0 ? toUtf16(rows_[at].name).c_str() : L"");
        ::SetWindowTextW(item(ID_POSITIONS_PORT), at >= 0 ? toUtf16(rows_[at].port).c_str() : L"");
        --quiet_;
        ::EnableWindow(item(ID_POSITIONS_NAME), at >= 0);
        ::EnableWindow(item(ID_POSITIONS_PORT), at >= 0);
        ::EnableWindow(item(ID_POSITIONS_REMOVE), at >= 0);
        ::EnableWindow(item(ID_POSITIONS_UP), at > 0);
        ::EnableWindow(item(ID_POSITIONS_DOWN), at >= 0 && at < count - 1);
        // "Su" on the first row, say, goes grey under the keyboard: the
        // keyboard goes to the list.
        HWND focus = ::GetFocus();
        if (focus && !::IsWindowEnabled(focus))
            ::SendMessageW(dialog_, WM_NEXTDLGCTL,
                           reinterpret_cast<WPARAM>(item(ID_POSITIONS_LIST)), TRUE);
    }

    void command(int id, int code) {
        const int at = selected();
        if (quiet_)
            return;
        if (id == ID_POSITIONS_NAME && code == EN_CHANGE && at >= 0) {
            rows_[at].name = toUtf8(textOf(item(id)));
            setCell(at, 0, rows_[at].name);
        } else if (id == ID_POSITIONS_PORT && (code == CBN_EDITCHANGE || code == CBN_SELCHANGE) &&
                   at >= 0) {
            // On a choice from the list the field still shows the old text.
            HWND combo = item(id);
            const LRESULT choice = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
            std::wstring text = textOf(combo);
            if (code == CBN_SELCHANGE && choice >= 0) {
                text.assign(static_cast<size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, choice, 0)),
                            L'\0');
                ::SendMessageW(combo, CB_GETLBTEXT, choice, reinterpret_cast<LPARAM>(text.data()));
            }
            rows_[at].port = toUtf8(text);
            setCell(at, 1, rows_[at].port);
        } else if (code != BN_CLICKED) {
            return;
        } else if (id == ID_POSITIONS_ADD) {
            add();
        } else if (id == ID_POSITIONS_REMOVE && at >= 0) {
            rows_.erase(rows_.begin() + at);
            fill(std::min(at, static_cast<int>(rows_.size()) - 1));
        } else if ((id == ID_POSITIONS_UP && at > 0) || (id == ID_POSITIONS_DOWN && at >= 0 &&
                                                         at + 1 < static_cast<int>(rows_.size()))) {
            const int to = id == ID_POSITIONS_UP ? at - 1 : at + 1;
            std::swap(rows_[at], rows_[to]);
            fill(to);
        } else if (id == ID_POSITIONS_SAVE) {
            // A refusal is the core's box; the rows stay for the technician
            // to put right.
            if (core_.savePositions(rows_))
                ::EndDialog(dialog_, IDOK);
        } else if (id == IDCANCEL) {
            ::EndDialog(dialog_, IDCANCEL);
        }
    }

    // A new last row: the next free "Posto n", on the first port offered
    // that no row has yet; its name ready to be typed over.
    void add() {
        const auto taken = [this](auto field, const std::string& value) {
            return std::any_of(rows_.begin(), rows_.end(),
                               [&](const BenchPosition& p) { return p.*field == value; });
        };
        BenchPosition p;
        for (size_t n = rows_.size() + 1; p.name.empty() || taken(&BenchPosition::name, p.name);
             ++n)
            p.name = newPositionName(n);
        for (const std::string& port : core_.portChoices()) {
            if (!taken(&BenchPosition::port, port)) {
                p.port = port;
                break;
            }
        }
        rows_.push_back(p);
        fill(static_cast<int>(rows_.size()) - 1);
        ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(ID_POSITIONS_NAME)),
                       TRUE);
    }

    StationWindowCore& core_;
    HFONT font_;
    int dpi_;
    std::vector<BenchPosition> rows_;
    HWND dialog_ = nullptr;
    int quiet_ = 0;  // our own changes to the fields raise no edits
};

}  // namespace

void BenchWindow::editPositions() {
    if (!core_->canEditPositions())
        return;
    // A template without controls: the editor makes its own, in pixels and
    // the window's font; the dialog manager gives it Tab, Alt+letter, Enter
    // for "Salva" and Esc for "Annulla".
    struct alignas(4) {
        DLGTEMPLATE dialog;
        WORD menu, cls, title;
    } templ{};
    templ.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    templ.dialog.cx = 100;
    templ.dialog.cy = 100;
    PositionsEditor editor(*core_, font_, dpi_);
    // The window is no dialog: the keyboard comes back where it was by hand.
    HWND focus = ::GetFocus();
    ::DialogBoxIndirectParamW(instance_, &templ.dialog, hwnd_, PositionsEditor::proc,
                              reinterpret_cast<LPARAM>(&editor));
    if (focus && ::IsWindow(focus) && ::IsChild(hwnd_, focus))
        ::SetFocus(focus);
    keepFocusUsable();
}

}  // namespace zor::stationwin
