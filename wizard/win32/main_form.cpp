// TfrmZORMain's life: the window classes, the form and its controls made,
// the fonts and the scale of the screen, the window shown, and everything
// released again. The other parts live beside it: form_controls.cpp (the
// controls from the form table), form_pictures.cpp, form_painting.cpp,
// form_messages.cpp (window procedures, keys, the core's handlers) and
// form_view.cpp (what the core asks of the window).
#include "wizard/win32/main_form.h"

#include <cwchar>
#include <stdexcept>

#include "platform/single_instance.h"
#include "wizard/win32/resource_ids.h"
#include "wizard/win32/wide_text.h"

namespace zor::win32ui {

using wizard::ControlSpec;
using wizard::Ctl;

namespace {

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

}  // namespace

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
    form.lpfnWndProc = win32ui::objectWindowProc<TfrmZORMain>;
    form.hInstance = instance_;
    form.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    form.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(ZOR_RES_ICON));
    form.hIconSm = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(ZOR_RES_ICON),
                                                   IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
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

int TfrmZORMain::indexOf(HWND control) const {
    if (!control)
        return -1;
    const int index = ::GetDlgCtrlID(control) - FIRST_CONTROL_ID;
    if (index <= 0 || index >= wizard::CONTROL_COUNT || items_[index].hwnd != control)
        return control == hwnd_ ? 0 : -1;
    return index;
}

}  // namespace zor::win32ui
