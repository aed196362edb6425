// The form's child windows, made from the form table: one Win32 control per
// entry, inside its notebook page or panel, with its font, its columns or
// its range, and stacked so that Tab and the labels' accelerators follow the
// form's tab order.
#include "wizard/win32/main_form.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "wizard/win32/resource_ids.h"
#include "wizard/win32/wide_text.h"

namespace zor::win32ui {

using wizard::ControlSpec;
using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

namespace {

bool isContainer(Kind kind) {
    return kind == Kind::Notebook || kind == Kind::Panel;
}

// The controls of one parent (one page of the notebook), top of the Z-order
// first. The dialog manager walks the Z-order for Tab, and moves a label's
// accelerator on to the next tab stop after the label; so the tab stops come
// first in their tab order, each right after the labels that name it. The
// other controls follow with later ones over earlier ones (labels over the
// pictures they are written on).
std::vector<const ControlSpec*> zOrder(Ctl parent, Page page) {
    std::vector<const ControlSpec*> siblings;
    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind != Kind::Form && def.parent == parent &&
            (parent != Ctl::Pagine || def.page == page))
            siblings.push_back(&def);
    }
    std::vector<const ControlSpec*> stops;
    std::copy_if(siblings.begin(), siblings.end(), std::back_inserter(stops),
                 [](const ControlSpec* def) { return def->tabOrder >= 0; });
    std::stable_sort(stops.begin(), stops.end(), [](const ControlSpec* a, const ControlSpec* b) {
        return a->tabOrder < b->tabOrder;
    });
    std::vector<const ControlSpec*> order;
    for (const ControlSpec* stop : stops) {
        for (const ControlSpec* def : siblings) {
            if (def->kind == Kind::Label && def->buddy == stop->id)
                order.push_back(def);
        }
        order.push_back(stop);
    }
    for (auto it = siblings.rbegin(); it != siblings.rend(); ++it) {
        if (std::find(order.begin(), order.end(), *it) == order.end())
            order.push_back(*it);
    }
    return order;
}

}  // namespace

void TfrmZORMain::createControls() {
    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind == Kind::Form)
            continue;
        HWND parent = def.parent == Ctl::Form     ? hwnd_
                      : def.parent == Ctl::Pagine ? pages_[static_cast<int>(def.page)]
                                                  : window(def.parent);
        RECT r{scale(def.left), scale(def.top), scale(def.left + def.width),
               scale(def.top + def.height)};
        Item& item = items_[static_cast<int>(def.id)];
        item.def = &def;
        item.hwnd = createControl(def, parent, r);
        if (def.width == 0 && item.hwnd) {
            // Sized to its caption, like an auto-sized label.
            HDC dc = ::GetDC(item.hwnd);
            HGDIOBJ old = ::SelectObject(
                dc, reinterpret_cast<HFONT>(::SendMessageW(item.hwnd, WM_GETFONT, 0, 0)));
            const std::wstring caption = toUtf16(def.caption);
            RECT text{0, 0, 0, 0};
            ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                        DT_CALCRECT | DT_SINGLELINE);
            ::SelectObject(dc, old);
            ::ReleaseDC(item.hwnd, dc);
            r.right = r.left + text.right;
            r.bottom = r.top + text.bottom;
            ::SetWindowPos(item.hwnd, nullptr, 0, 0, text.right, text.bottom,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        item.bounds = r;
    }
}

HWND TfrmZORMain::createControl(const ControlSpec& def, HWND parent, const RECT& r) {
    std::wstring caption = toUtf16(def.caption);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (def.hidden ? 0 : WS_VISIBLE);
    DWORD exStyle = 0;
    const wchar_t* windowClass = L"STATIC";
    if (def.tabOrder >= 0 && !isContainer(def.kind))
        style |= WS_TABSTOP;
    switch (def.kind) {
        case Kind::Picture:
            style |= SS_BITMAP;
            break;
        case Kind::Bevel:
            style |= SS_ETCHEDHORZ;
            break;
        case Kind::Label:
            style |= def.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
            if (def.disabledLook)
                style |= WS_DISABLED;
            break;
        case Kind::Notebook:
        case Kind::Panel:
            windowClass = PANE_CLASS;
            style |= WS_CLIPCHILDREN;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case Kind::PaintBox:
            windowClass = PANE_CLASS;
            break;
        case Kind::Button:
            windowClass = L"BUTTON";
            style |= def.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case Kind::CheckBox:
            windowClass = L"BUTTON";
            style |= BS_AUTOCHECKBOX;
            break;
        case Kind::Edit:
            windowClass = L"EDIT";
            style |= ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case Kind::Memo:
            // Read-only, borderless, on the button face (WM_CTLCOLORSTATIC).
            windowClass = L"EDIT";
            style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL;
            if (def.id == Ctl::memPg2Help)
                caption = editText(wizard::helpText());
            break;
        case Kind::ListView:
            windowClass = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
            exStyle |= WS_EX_CLIENTEDGE;
            caption.clear();
            break;
        case Kind::ProgressBar:
            windowClass = PROGRESS_CLASSW;
            break;
        case Kind::Animation:
            windowClass = ANIMATE_CLASSW;
            style |= ACS_CENTER | ACS_TRANSPARENT;
            break;
        case Kind::Form:
            return nullptr;
    }
    HWND w = ::CreateWindowExW(exStyle, windowClass, caption.c_str(), style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(def.id))),
                               instance_, this);
    if (!w)
        return nullptr;
    ::SendMessageW(
        w, WM_SETFONT,
        reinterpret_cast<WPARAM>(font(def.fontPx ? def.fontPx : wizard::FORM_FONT_PX, def.bold)),
        FALSE);

    switch (def.kind) {
        case Kind::Notebook:
            for (int i = 0; i < wizard::PAGE_COUNT; ++i) {
                pages_[i] = ::CreateWindowExW(
                    WS_EX_CONTROLPARENT, PANE_CLASS,
                    toUtf16(wizard::pageName(static_cast<Page>(i))).c_str(),
                    WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (i == 0 ? WS_VISIBLE : 0), 0, 0,
                    r.right - r.left, r.bottom - r.top, w,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(FIRST_PAGE_ID + i)), instance_,
                    this);
            }
            break;
        case Kind::Edit:
            ::SendMessageW(w, EM_LIMITTEXT, static_cast<WPARAM>(def.maxLength), 0);
            break;
        case Kind::ListView: {
            const bool components = def.id == Ctl::lvSelLang;
            ::SendMessageW(w, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                           LVS_EX_FULLROWSELECT | (components ? LVS_EX_CHECKBOXES : 0));
            const wizard::Column* columns =
                components ? wizard::COMPONENT_COLUMNS : wizard::PORT_COLUMNS;
            RECT client;
            ::GetClientRect(w, &client);
            for (int i = 0; i < 2; ++i) {
                std::wstring text = toUtf16(columns[i].caption);
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
                column.pszText = text.data();
                // Width 0 fills what the columns before it leave.
                column.cx = columns[i].width ? scale(columns[i].width)
                                             : client.right - scale(columns[0].width);
                column.iSubItem = i;
                ::SendMessageW(w, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
            }
            break;
        }
        case Kind::ProgressBar:
            ::SendMessageW(w, PBM_SETRANGE32, 0, 100);
            ::SendMessageW(w, PBM_SETPOS, 0, 0);
            break;
        case Kind::Animation:
            ::SendMessageW(w, ACM_OPENW, reinterpret_cast<WPARAM>(instance_),
                           reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(ZOR_RES_TRANSFER_CLIP)));
            break;
        default:
            break;
    }
    return w;
}

void TfrmZORMain::orderSiblings() {
    auto order = [this](Ctl parent, Page page) {
        HWND after = HWND_TOP;
        for (const ControlSpec* def : zOrder(parent, page)) {
            HWND w = window(def->id);
            if (!w)
                continue;
            ::SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = w;
        }
    };
    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind == Kind::Form || def.kind == Kind::Panel)
            order(def.id, Page::Pres);
    }
    for (int i = 0; i < wizard::PAGE_COUNT; ++i)
        order(Ctl::Pagine, static_cast<Page>(i));
}

}  // namespace zor::win32ui
