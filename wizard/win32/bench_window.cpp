// The bench window's life: its classes, its controls and where they go as
// the window is sized, the messages it answers and what the core asks of it.
// The tiles are in bench_tiles.cpp, the buttons' work in bench_actions.cpp.
#include "wizard/win32/bench_window.h"

#include <commctrl.h>

#include <cwchar>
#include <exception>
#include <stdexcept>

#include "text/station_window_text.h"
#include "wizard/win32/resource_ids.h"
#include "wizard/win32/wide_text.h"

namespace zor::stationwin {

using win32ui::toUtf16;
using win32ui::toUtf8;

namespace {

constexpr int WINDOW_WIDTH = 1000, WINDOW_HEIGHT = 720;
constexpr int MARGIN = 10, GAP = 8;
constexpr int BUTTON_WIDTH = 120, BUTTON_HEIGHT = 28;
constexpr int SELECTION_HEIGHT = 112, SESSION_HEIGHT = 150;

// What a screen reader says for a list: the caption that names it, without
// the underlined letter's mark.
std::string withoutMnemonic(const char* caption) {
    std::string text;
    for (const char* c = caption; *c; ++c) {
        if (*c != '&')
            text += *c;
    }
    return text;
}

void setText(HWND w, const std::string& text) {
    const std::wstring wide = toUtf16(text);
    std::wstring now(static_cast<size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    now.resize(static_cast<size_t>(::GetWindowTextW(w, now.data(), static_cast<int>(now.size()))));
    // Unchanged texts are left alone: four times a second would flicker.
    if (now != wide)
        ::SetWindowTextW(w, wide.c_str());
}

}  // namespace

std::string BenchWindow::exceptionTitle() const {
    return STATION_WINDOW_TITLE;
}

BenchWindow::BenchWindow(HINSTANCE instance, SerialDeviceOpener& devices, Clock& clock,
                         std::vector<BenchPosition> positions)
    : instance_(instance) {
    HDC screen = ::GetDC(nullptr);
    dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    if (dpi_ <= 0)
        dpi_ = 96;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW face{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        face = metrics.lfMessageFont;
    else
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
    font_ = ::CreateFontIndirectW(&face);
    face.lfWeight = FW_BOLD;
    bold_ = ::CreateFontIndirectW(&face);

    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.lpfnWndProc = win32ui::objectWindowProc<BenchWindow>;
    window.hInstance = instance_;
    window.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(ZOR_RES_ICON));
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    const std::wstring windowClass = toUtf16(BENCH_WINDOW_CLASS);
    window.lpszClassName = windowClass.c_str();
    ::RegisterClassExW(&window);

    WNDCLASSEXW tile = window;
    tile.lpfnWndProc = tileProc;
    tile.hIcon = nullptr;
    tile.hbrBackground = nullptr;  // each tile paints its state's colour
    const std::wstring tileClass = toUtf16(BENCH_TILE_CLASS);
    tile.lpszClassName = tileClass.c_str();
    ::RegisterClassExW(&tile);

    // Not clipping its children: the group box paints only its frame, and
    // the window's own background shows through inside it.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, scale(WINDOW_WIDTH), scale(WINDOW_HEIGHT)};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    ::CreateWindowExW(WS_EX_CONTROLPARENT, windowClass.c_str(),
                      toUtf16(STATION_WINDOW_TITLE).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                      instance_, this);
    if (!hwnd_)
        throw std::runtime_error("CreateWindowEx " + std::string(BENCH_WINDOW_CLASS));
    createControls();

    core_ = std::make_unique<StationWindowCore>(
        *this, clock, engineStations(devices, clock),
        [this](std::function<void()> fn) { post(std::move(fn)); }, std::move(positions));
    core_->show();
    layout();
    ::SetTimer(hwnd_, TICK_TIMER, 250, nullptr);
}

BenchWindow::~BenchWindow() {
    // The station ends first: its ports may still queue work, which then
    // finds no core and is dropped with the queue.
    core_.reset();
    if (hwnd_ && !destroyed_)
        ::DestroyWindow(hwnd_);
    for (Tile& t : tiles_) {
        if (t.brush)
            ::DeleteObject(t.brush);
    }
    ::DeleteObject(font_);
    ::DeleteObject(bold_);
}

HWND BenchWindow::make(const wchar_t* cls, const std::string& text, DWORD style, int id,
                       DWORD exStyle) {
    HWND w = ::CreateWindowExW(
        exStyle, cls, toUtf16(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (id >= ID_FILE_LABEL && id <= ID_POSITIONS)
        controls_[id - ID_FILE_LABEL] = w;
    return w;
}

// Created in the tab order; the tiles go between "Ferma" and the totals.
void BenchWindow::createControls() {
    const StationWindowCaptions& c = STATION_WINDOW_CAPTIONS;
    make(L"Static", c.file, SS_LEFT, ID_FILE_LABEL);
    make(L"Edit", "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, ID_FILE, WS_EX_CLIENTEDGE);
    make(L"Button", c.browse, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, ID_BROWSE);
    make(L"Static", "", SS_LEFT | SS_NOPREFIX, ID_FILE_INFO);
    make(L"Button", c.selection, BS_GROUPBOX, ID_SELECTION);
    make(L"Button", c.all, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, ID_ALL);
    make(L"Button", c.outdated, BS_AUTORADIOBUTTON, ID_OUTDATED);
    make(L"Button", c.chosen, BS_AUTORADIOBUTTON, ID_CHOSEN);
    ::SendMessageW(control(ID_ALL), BM_SETCHECK, BST_CHECKED, 0);
    HWND components = make(
        WC_LISTVIEWW, withoutMnemonic(c.chosen),
        WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
        ID_COMPONENTS, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(components, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = scale(400);
    ::SendMessageW(components, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    make(L"Button", c.start, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, ID_START);
    make(L"Button", c.stop, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, ID_STOP);
    make(L"Button", POSITIONS_EDITOR_CAPTIONS.button, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
         ID_POSITIONS);
    make(L"Static", "", SS_LEFT | SS_NOPREFIX, ID_TOTALS);
    make(L"Static", "", SS_LEFT | SS_NOPREFIX, ID_STATUS);
    make(L"Static", c.session, SS_LEFT, ID_SESSION_LABEL);
    HWND session = make(WC_LISTVIEWW, withoutMnemonic(c.session),
                        WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                        ID_SESSION, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(session, LVS_EX_FULLROWSELECT);
    const int widths[5] = {80, 140, 130, 360, 80};
    for (int i = 0; i < 5; ++i) {
        std::wstring heading = toUtf16(SESSION_COLUMNS[i]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = i == 4 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.cx = scale(widths[i]);
        col.pszText = heading.data();
        ::SendMessageW(session, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
    make(L"Button", c.copy, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, ID_COPY);
    make(L"Button", c.saveCsv, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, ID_SAVE_CSV);
}

void BenchWindow::layout() {
    RECT client;
    ::GetClientRect(hwnd_, &client);
    const int w = client.right, h = client.bottom;
    const int m = scale(MARGIN), gap = scale(GAP), bw = scale(BUTTON_WIDTH),
              bh = scale(BUTTON_HEIGHT), line = scale(20);
    auto place = [](HWND c, int x, int y, int cw, int ch) {
        ::MoveWindow(c, x, y, cw > 0 ? cw : 1, ch > 0 ? ch : 1, TRUE);
    };
    const int labelWidth = scale(150);
    int y = m;
    place(control(ID_FILE_LABEL), m, y + scale(4), labelWidth, line);
    place(control(ID_FILE), m + labelWidth, y + scale(2), w - 2 * m - labelWidth - bw - gap,
          scale(23));
    place(control(ID_BROWSE), w - m - bw, y, bw, bh);
    y += bh + scale(4);
    place(control(ID_FILE_INFO), m + labelWidth, y, w - 2 * m - labelWidth, line);
    y += line + scale(4);

    const int groupWidth = w - 2 * m - bw - gap;
    place(control(ID_SELECTION), m, y, groupWidth, scale(SELECTION_HEIGHT));
    const int radioWidth = scale(300);
    for (int i = 0; i < 3; ++i)
        place(control(ID_ALL + i), m + scale(12), y + scale(22 + 26 * i), radioWidth, line);
    place(control(ID_COMPONENTS), m + scale(12) + radioWidth + gap, y + scale(20),
          groupWidth - radioWidth - gap - scale(24), scale(SELECTION_HEIGHT - 30));
    place(control(ID_START), w - m - bw, y + scale(6), bw, bh);
    place(control(ID_STOP), w - m - bw, y + scale(6) + bh + gap, bw, bh);
    place(control(ID_POSITIONS), w - m - bw, y + scale(6) + 2 * (bh + gap), bw, bh);
    y += scale(SELECTION_HEIGHT) + gap;

    const int bottom = h - m - scale(SESSION_HEIGHT) - line - 2 * line - scale(10);
    placeTiles(m, y, w - 2 * m, bottom - y);
    y = bottom + scale(4);
    place(control(ID_TOTALS), m, y, w - 2 * m, line);
    y += line;
    place(control(ID_STATUS), m, y, w - 2 * m, line);
    y += line + scale(6);
    place(control(ID_SESSION_LABEL), m, y, w - 2 * m, line);
    y += line;
    place(control(ID_SESSION), m, y, w - 2 * m - bw - gap, h - m - y);
    place(control(ID_COPY), w - m - bw, y, bw, bh);
    place(control(ID_SAVE_CSV), w - m - bw, y + bh + gap, bw, bh);
}

void BenchWindow::show() {
    RECT window, work;
    ::GetWindowRect(hwnd_, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + std::max(0L, (work.right - work.left - width) / 2),
                   work.top + std::max(0L, (work.bottom - work.top - height) / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
    ::SetForegroundWindow(hwnd_);
    if (HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE))
        ::SetFocus(first);
}

int BenchWindow::run() {
    MSG msg{};
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        // Enter in the file name loads what was typed there.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && !destroyed_ &&
            msg.hwnd == control(ID_FILE)) {
            loadTypedFile();
            continue;
        }
        if (!destroyed_ && ::IsDialogMessageW(hwnd_, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// ---- The ports' threads ------------------------------------------------------------

void BenchWindow::post(std::function<void()> fn) {
    bool first;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        first = queue_.empty();
        queue_.push_back(std::move(fn));
    }
    // One wake-up for a queue that was empty; the window takes it all.
    if (first)
        ::PostMessageW(hwnd_, WM_ZOR_QUEUED, 0, 0);
}

void BenchWindow::runQueued() {
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        work.swap(queue_);
    }
    for (auto& fn : work)
        fn();
}

// ---- Messages ---------------------------------------------------------------------

LRESULT BenchWindow::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            onNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // Labels, radio buttons and the file name when read-only or
            // disabled, on the window's face rather than white.
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_ZOR_QUEUED:
            runQueued();
            return 0;
        case WM_TIMER:
            if (wParam == TICK_TIMER && core_)
                core_->tick();
            return 0;
        case WM_SIZE:
            if (core_)
                layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {scale(640), scale(560)};
            return 0;
        }
        case WM_CLOSE:
            // The close box and Alt+F4: refused while a chronometer is written.
            if (core_ && !core_->closeQuery())
                return 0;
            ::KillTimer(hwnd_, TICK_TIMER);
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

void BenchWindow::onCommand(int id, int code) {
    if (!core_ || quiet_ > 0)
        return;
    if (code == EN_CHANGE && id == ID_FILE) {
        fileTyped_ = true;
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
        case ID_BROWSE:
            browse();
            break;
        case ID_ALL:
        case ID_OUTDATED:
        case ID_CHOSEN:
            mode_ = id == ID_ALL        ? SelectionMode::All
                    : id == ID_OUTDATED ? SelectionMode::Outdated
                                        : SelectionMode::Chosen;
            core_->setSelectionMode(mode_);
            break;
        case ID_START:
            start();
            break;
        case ID_STOP:
            core_->stop();
            break;
        case ID_POSITIONS:
            editPositions();
            break;
        case ID_COPY:
            copySession();
            break;
        case ID_SAVE_CSV:
            saveSession();
            break;
        default:
            break;
    }
}

void BenchWindow::onNotify(const NMHDR& header) {
    if (!core_ || quiet_ > 0 || header.idFrom != ID_COMPONENTS || header.code != LVN_ITEMCHANGED)
        return;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    // The check box is the state image: 2 ticked, 1 empty.
    if (change.iItem < 0 || !(change.uChanged & LVIF_STATE) ||
        ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) == 0)
        return;
    const bool checked = (change.uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    core_->setComponentChecked(static_cast<size_t>(change.lParam), checked);
}

void BenchWindow::keepFocusUsable() {
    // A control just disabled or hidden (the Riprova of a tile whose
    // chronometer runs again) would keep the keyboard otherwise.
    HWND focus = ::GetFocus();
    if (!focus || !::IsChild(hwnd_, focus) ||
        (::IsWindowEnabled(focus) && ::IsWindowVisible(focus)))
        return;
    if (HWND next = ::GetNextDlgTabItem(hwnd_, focus, FALSE))
        ::SetFocus(next);
    else
        ::SetFocus(hwnd_);
}

// ---- What the core asks ---------------------------------------------------------------

void BenchWindow::setTotals(const std::string& text) {
    setText(control(ID_TOTALS), text);
}

void BenchWindow::addSessionRow(const SessionRow& row) {
    HWND list = control(ID_SESSION);
    const int at = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", row.seconds);
    const std::string cells[5] = {row.time, row.position, row.serial, row.result, seconds};
    for (int c = 0; c < 5; ++c) {
        std::wstring text = toUtf16(cells[c]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = at;
        item.iSubItem = c;
        item.pszText = text.data();
        ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, at,
                       reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(list, LVM_ENSUREVISIBLE, at, FALSE);
}

void BenchWindow::setControls(const ControlsView& c) {
    fileEnabled_ = c.fileEnabled;
    for (int id : {ID_FILE_LABEL, ID_FILE, ID_BROWSE, ID_ALL, ID_OUTDATED, ID_CHOSEN})
        ::EnableWindow(control(id), c.fileEnabled);
    ::EnableWindow(control(ID_COMPONENTS), c.fileEnabled && mode_ == SelectionMode::Chosen);
    ::EnableWindow(control(ID_START), c.startEnabled);
    ::EnableWindow(control(ID_STOP), c.stopEnabled);
    ::EnableWindow(control(ID_POSITIONS), c.positionsEnabled);
    setText(control(ID_FILE_INFO), c.fileInfo);
    setText(control(ID_STATUS), c.status);
    keepFocusUsable();
}

void BenchWindow::setComponents(const std::vector<ComponentRow>& rows) {
    HWND list = control(ID_COMPONENTS);
    ++quiet_;
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring text = toUtf16(rows[i].name);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        item.lParam = static_cast<LPARAM>(rows[i].slot);
        const int at = static_cast<int>(
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        ListView_SetCheckState(list, at, rows[i].checked);
    }
    // The first row holds the focus mark: Space ticks it as soon as the
    // list has the keyboard.
    if (!rows.empty()) {
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    --quiet_;
}

void BenchWindow::messageBox(const BoxRequest& box) {
    if (box.beep)
        ::MessageBeep(MB_ICONEXCLAMATION);
    const UINT icon = box.icon == BoxIcon::Information   ? MB_ICONINFORMATION
                      : box.icon == BoxIcon::Exclamation ? MB_ICONEXCLAMATION
                                                         : MB_ICONERROR;
    // Over the positions editor while it is open: a box owned by the window
    // beneath would enable that window again when it closes.
    ::MessageBoxW(destroyed_ ? nullptr : ::GetLastActivePopup(hwnd_), toUtf16(box.text).c_str(),
                  toUtf16(box.caption).c_str(), MB_OK | icon);
}

}  // namespace zor::stationwin
