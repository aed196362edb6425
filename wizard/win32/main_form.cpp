#include "wizard/win32/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <exception>
#include <stdexcept>
#include <vector>

#include "wizard/win32/chart_painter.h"
#include "wizard/win32/resource_ids.h"
#include "wizard/win32/wide_text.h"

namespace zor::win32ui {

using wizard::ControlSpec;
using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

namespace {

// The notebook, its pages, the panels and the chart's paint box.
constexpr wchar_t PANE_CLASS[] = L"ZorloadPane";
// From the transfer worker: run the std::function<void()> at lParam and
// return (SendMessage), or run and delete it (PostMessage).
constexpr UINT WM_ZOR_INVOKE = WM_APP + 1;
constexpr UINT WM_ZOR_POST = WM_APP + 2;

int resourceOf(Ctl picture) {
    switch (picture) {
        case Ctl::imgTop:
            return ZOR_RES_HEADER;
        case Ctl::imgStart:
            return ZOR_RES_START;
        case Ctl::imgPortaCom:
            return ZOR_RES_PORT;
        case Ctl::Image1:
            return ZOR_RES_COMPONENTS;
        default:
            return ZOR_RES_NOSPACE;
    }
}

bool isKeyed(int resource) {
    return resource == ZOR_RES_PORT || resource == ZOR_RES_COMPONENTS ||
           resource == ZOR_RES_NOSPACE;
}

// A bitmap resource at width x height pixels, with the magenta of the keyed
// icons turned into the button face the pages are painted with.
HBITMAP loadPicture(HINSTANCE instance, int resource, int width, int height) {
    auto* source = static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(resource),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!source)
        return nullptr;
    BITMAP bm{};
    ::GetObjectW(source, sizeof bm, &bm);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, source, 0, bm.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(source);
    if (isKeyed(resource)) {
        const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
        const uint32_t faceXrgb = (static_cast<uint32_t>(GetRValue(face)) << 16) |
                                  (static_cast<uint32_t>(GetGValue(face)) << 8) | GetBValue(face);
        for (uint32_t& p : pixels) {
            if ((p & 0xFFFFFFu) == 0xFF00FFu)
                p = faceXrgb;
        }
    }
    HBITMAP picture = ::CreateCompatibleBitmap(screen, width, height);
    HDC dc = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(dc, picture);
    ::SetStretchBltMode(dc, width == bm.bmWidth && height == bm.bmHeight ? COLORONCOLOR : HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchDIBits(dc, 0, 0, width, height, 0, 0, bm.bmWidth, bm.bmHeight, pixels.data(), &info,
                    DIB_RGB_COLORS, SRCCOPY);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return picture;
}

int CALLBACK fontFamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// "MS Sans Serif" where the system has it, else the face of its dialogs.
std::wstring formFontFace() {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    std::wcscpy(wanted.lfFaceName, L"MS Sans Serif");
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, fontFamilyFound, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    if (found)
        return wanted.lfFaceName;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return metrics.lfMessageFont.lfFaceName;
    LOGFONTW gui{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    return gui.lfFaceName;
}

std::wstring windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

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

void showException(HWND owner, const std::exception& e, const std::string& title) {
    ::MessageBoxW(owner, toUtf16(e.what()).c_str(), toUtf16(title).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace

// ---- Construction ---------------------------------------------------------

TfrmZORMain::TfrmZORMain(HINSTANCE instance, wizard::WizardEnvironment env)
    : instance_(instance), thread_(::GetCurrentThreadId()) {
    HDC screen = ::GetDC(nullptr);
    dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    if (dpi_ <= 0)
        dpi_ = 96;
    fontFace_ = formFontFace();

    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = formProc;
    form.hInstance = instance_;
    form.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    form.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));      // IDI_APPLICATION
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    const std::wstring formClass = toUtf16(MAIN_WINDOW_CLASS);
    form.lpszClassName = formClass.c_str();
    ::RegisterClassExW(&form);

    WNDCLASSEXW pane{};
    pane.cbSize = sizeof pane;
    pane.lpfnWndProc = paneProc;
    pane.hInstance = instance_;
    pane.hCursor = form.hCursor;
    pane.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    pane.lpszClassName = PANE_CLASS;
    ::RegisterClassExW(&pane);

    // A fixed-size window with a title bar and the system menu only.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT frame{0, 0, scale(wizard::FORM_WIDTH), scale(wizard::FORM_HEIGHT)};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    const ControlSpec& def = wizard::control(Ctl::Form);
    items_[0].def = &def;
    ::CreateWindowExW(WS_EX_CONTROLPARENT, formClass.c_str(), toUtf16(def.caption).c_str(), style,
                      CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                      frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (!hwnd_)
        throw std::runtime_error("CreateWindowEx TfrmZORMain");
    items_[0].hwnd = hwnd_;

    createControls();
    loadPictures();
    orderSiblings();

    core_ = std::make_unique<wizard::Wizard>(*this, std::move(env));
    chartCore_ = core_.get();
}

TfrmZORMain::~TfrmZORMain() {
    chartCore_ = nullptr;
    // The window goes first: a worker still waiting on it in SendMessage is
    // then released, and the core can join it.
    if (hwnd_ && !destroyed_)
        ::DestroyWindow(hwnd_);
    core_.reset();
    for (Item& item : items_) {
        if (item.backdrop)
            ::DeleteObject(item.backdrop);
    }
    for (HBITMAP picture : pictures_) {
        if (picture)
            ::DeleteObject(picture);
    }
    for (int i = 0; i < fontCount_; ++i)
        ::DeleteObject(fonts_[i]);
}

int TfrmZORMain::scale(int pixels) const {
    return ::MulDiv(pixels, dpi_, 96);
}

HFONT TfrmZORMain::font(int pixels, bool bold) {
    for (int i = 0; i < fontCount_; ++i) {
        if (fontKeys_[i] == std::make_pair(pixels, bold))
            return fonts_[i];
    }
    LOGFONTW lf{};
    // The form's font is 8 points: 11 pixels at 96 DPI, 13 at 120 (the
    // pixel count scaled would round up to 14 and widen every text).
    lf.lfHeight = pixels == wizard::FORM_FONT_PX ? -::MulDiv(8, dpi_, 72) : -scale(pixels);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    std::wcsncpy(lf.lfFaceName, fontFace_.c_str(), LF_FACESIZE - 1);
    HFONT made = ::CreateFontIndirectW(&lf);
    if (fontCount_ < static_cast<int>(fonts_.size())) {
        fontKeys_[fontCount_] = {pixels, bold};
        fonts_[fontCount_++] = made;
    }
    return made;
}

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

void TfrmZORMain::loadPictures() {
    for (Item& item : items_) {
        if (!item.def || item.def->kind != Kind::Picture || !item.hwnd)
            continue;
        const int index = static_cast<int>(item.def->id);
        pictures_[index] =
            loadPicture(instance_, resourceOf(item.def->id), item.bounds.right - item.bounds.left,
                        item.bounds.bottom - item.bounds.top);
        if (pictures_[index])
            ::SendMessageW(item.hwnd, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(pictures_[index]));
    }
    // Labels written on a picture take their background from it, so that
    // they look transparent and still repaint cleanly when their text changes.
    for (Item& label : items_) {
        if (!label.def || (label.def->kind != Kind::Label && label.def->kind != Kind::CheckBox))
            continue;
        for (const Item& picture : items_) {
            if (!picture.def || picture.def->kind != Kind::Picture ||
                picture.def->parent != label.def->parent || picture.def->page != label.def->page)
                continue;
            RECT overlap;
            const HBITMAP bitmap = pictures_[static_cast<int>(picture.def->id)];
            if (bitmap && ::IntersectRect(&overlap, &label.bounds, &picture.bounds)) {
                label.backdrop = ::CreatePatternBrush(bitmap);
                label.backdropOrigin = {picture.bounds.left - label.bounds.left,
                                        picture.bounds.top - label.bounds.top};
                break;
            }
        }
    }
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

bool TfrmZORMain::construct() {
    return core_->construct();
}

void TfrmZORMain::show() {
    RECT window, work;
    ::GetWindowRect(hwnd_, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
    ::SetForegroundWindow(hwnd_);
    if (HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE))
        ::SetFocus(first);
}

// ---- Message loop and keyboard -----------------------------------------------

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
        const bool onButton = focused > 0 && items_[focused].def->kind == Kind::Button;
        clickButton(onButton ? static_cast<Ctl>(focused) : Ctl::btnAvanti);
        return true;
    }
    if (msg.wParam == VK_ESCAPE) {
        clickButton(Ctl::btnAnnulla);
        return true;
    }
    return false;
}

void TfrmZORMain::clickButton(Ctl button) {
    HWND w = window(button);
    if (w && ::IsWindowVisible(w) && ::IsWindowEnabled(w))
        onCommand(controlId(button), BN_CLICKED);
}

int TfrmZORMain::indexOf(HWND control) const {
    if (!control)
        return -1;
    const int index = ::GetDlgCtrlID(control) - FIRST_CONTROL_ID;
    if (index <= 0 || index >= wizard::CONTROL_COUNT || items_[index].hwnd != control)
        return control == hwnd_ ? 0 : -1;
    return index;
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

// ---- Window procedures -----------------------------------------------------

LRESULT CALLBACK TfrmZORMain::formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TfrmZORMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        form = static_cast<TfrmZORMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->hwnd_ = hwnd;
    }
    if (!form)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        form->destroyed_ = true;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    // An exception must not unwind through the system's frames: it is shown,
    // and the window goes on.
    try {
        return form->handleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        showException(hwnd, e, form->core_ ? form->core_->applicationTitle() : "Zorload");
    }
    return 0;
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

void TfrmZORMain::paintPane(HWND pane) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(pane, &ps);
    RECT client;
    ::GetClientRect(pane, &client);
    const int index = indexOf(pane);
    if (index == static_cast<int>(Ctl::pbSelLang)) {
        // Off screen, so a repaint after every planner run does not flicker.
        HDC buffer = ::CreateCompatibleDC(dc);
        HBITMAP bitmap = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = ::SelectObject(buffer, bitmap);
        ::FillRect(buffer, &client, ::GetSysColorBrush(COLOR_BTNFACE));
        if (chartCore_)
            drawAllocation(buffer, chartCore_->chartTable(), client.right, client.bottom,
                           font(wizard::FORM_FONT_PX, false), font(wizard::FORM_FONT_PX, true));
        ::BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
        ::SelectObject(buffer, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(buffer);
    } else if (index > 0) {
        // A panel's bevels, outer then inner: lowered is shadow above and
        // left, highlight below and right; raised the other way round.
        const ControlSpec& def = *items_[index].def;
        RECT ring = client;
        for (wizard::Bevel bevel : {def.outerBevel, def.innerBevel}) {
            if (bevel == wizard::Bevel::None)
                continue;
            const bool lowered = bevel == wizard::Bevel::Lowered;
            HBRUSH topLeft = ::GetSysColorBrush(lowered ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT);
            HBRUSH bottomRight = ::GetSysColorBrush(lowered ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW);
            RECT edge{ring.left, ring.top, ring.right - 1, ring.top + 1};
            ::FillRect(dc, &edge, topLeft);
            edge = {ring.left, ring.top, ring.left + 1, ring.bottom - 1};
            ::FillRect(dc, &edge, topLeft);
            edge = {ring.left, ring.bottom - 1, ring.right, ring.bottom};
            ::FillRect(dc, &edge, bottomRight);
            edge = {ring.right - 1, ring.top, ring.right, ring.bottom};
            ::FillRect(dc, &edge, bottomRight);
            ::InflateRect(&ring, -1, -1);
        }
    }
    ::EndPaint(pane, &ps);
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
            return MAKELRESULT(controlId(Ctl::btnAvanti), DC_HASDEFID);
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
        clickButton(Ctl::btnAnnulla);
        return;
    }
    if (id == IDOK) {
        clickButton(Ctl::btnAvanti);
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
        // The check box (a state image), the selection and the focus are the
        // row's state; anything else (text, item data) is not.
        const UINT stateBits = LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED;
        const bool state =
            (change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & stateBits);
        const int row = change.iItem;
        const bool checked =
            row >= 0 && ListView_GetCheckState(header.hwndFrom, static_cast<UINT>(row)) != 0;
        core_->lvSelLangChange(
            row, checked,
            state ? wizard::Wizard::ListChange::State : wizard::Wizard::ListChange::Text);
    }
}

LRESULT TfrmZORMain::colourStatic(HDC dc, HWND control) {
    const int index = indexOf(control);
    const Item* item = index > 0 ? &items_[index] : nullptr;
    if (item && item->def->disabledLook)
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    if (item && item->backdrop) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetBrushOrgEx(dc, item->backdropOrigin.x, item->backdropOrigin.y, nullptr);
        return reinterpret_cast<LRESULT>(item->backdrop);
    }
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void TfrmZORMain::WMShowInstance(WPARAM wParam) {
    if (wParam == 2 || destroyed_)
        return;
    // Not shown yet: the command line's boxes are still up, nothing to raise.
    if (!::IsWindowVisible(hwnd_))
        return;
    ::ShowWindow(hwnd_, SW_MINIMIZE);
    ::ShowWindow(hwnd_, SW_RESTORE);
    HWND front = ::GetLastActivePopup(hwnd_);
    if (front && ::IsWindowVisible(front) && ::IsWindowEnabled(front))
        ::SetForegroundWindow(front);
}

// ---- WizardView --------------------------------------------------------------

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
        ::SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(std::clamp(value, 0, 100)), 0);
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
    // "description\0pattern\0" for each filter, closed by one more NUL.
    std::wstring filters;
    for (const wizard::FileFilter& f : request.filters) {
        filters += toUtf16(f.description);
        filters += L'\0';
        filters += toUtf16(f.pattern);
        filters += L'\0';
    }
    filters += L'\0';
    const std::wstring title = toUtf16(request.title);
    const std::wstring directory = toUtf16(request.initialDirectory);
    std::vector<wchar_t> path(32768, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    dialog.lpstrTitle = title.c_str();
    // The chosen file must exist; no read-only box. The process's current
    // folder stays where it was: a relative name from the command line still
    // means what it meant.
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameW(&dialog))
        return false;
    chosenPath = toUtf8(path.data());
    return true;
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
