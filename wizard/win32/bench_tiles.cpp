// The tiles: one child window per bench position, in its state's colour,
// strong enough to be told from across the bench, with the chronometer's
// S/N, its transfer's bar and times, and on a failure what went wrong, what
// to do and "Riprova".
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "text/station_window_text.h"
#include "wizard/win32/bench_window.h"
#include "wizard/win32/wide_text.h"

namespace zor::stationwin {

using win32ui::toUtf16;

namespace {

constexpr int TILE_WIDTH = 236, TILE_HEIGHT = 200, TILE_GAP = 8, PAD = 8;

// Each part's place in a tile at 96 DPI: x, y, width (0: to the right
// edge), height.
struct PartPlace {
    int x, y, width, height;
};
constexpr PartPlace PLACES[TILE_RETRY + 1] = {
    {},
    {PAD, 6, TILE_WIDTH - 2 * PAD - 94, 18},  // name
    {TILE_WIDTH - PAD - 90, 6, 90, 18},       // port
    {PAD, 26, 0, 32},                         // state, two lines
    {PAD, 58, 0, 18},                         // S/N
    {PAD, 78, 0, 14},                         // bar
    {PAD, 96, 0, 18},                         // phase, elapsed, left
    {PAD, 116, 0, 18},                        // failure
    {PAD, 134, 0, 34},                        // what to do
    {PAD, TILE_HEIGHT - PAD - 28, 100, 26},   // Riprova
};

COLORREF colour(const Rgb& c) {
    return RGB(c.r, c.g, c.b);
}

void setText(HWND w, const std::string& text) {
    const std::wstring wide = toUtf16(text);
    std::wstring now(static_cast<size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    now.resize(static_cast<size_t>(::GetWindowTextW(w, now.data(), static_cast<int>(now.size()))));
    if (now != wide)
        ::SetWindowTextW(w, wide.c_str());
}

void showPart(HWND w, bool shown) {
    if ((::IsWindowVisible(w) != 0) != shown)
        ::ShowWindow(w, shown ? SW_SHOWNA : SW_HIDE);
}

}  // namespace

BenchWindow::Tile BenchWindow::makeTile(size_t index) {
    Tile t;
    const int id = FIRST_TILE_ID + static_cast<int>(index);
    t.frame = ::CreateWindowExW(WS_EX_CONTROLPARENT, toUtf16(BENCH_TILE_CLASS).c_str(), L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_CLIPCHILDREN, 0, 0,
                                scale(TILE_WIDTH), scale(TILE_HEIGHT), hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, this);
    // In the tab order after the tile before it, the first after "Posti...".
    HWND before = index == 0 ? control(ID_POSITIONS) : tiles_[index - 1].frame;
    ::SetWindowPos(t.frame, before, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (int part = TILE_NAME; part <= TILE_RETRY; ++part) {
        const PartPlace& p = PLACES[part];
        const wchar_t* cls = part == TILE_BAR     ? PROGRESS_CLASSW
                             : part == TILE_RETRY ? L"Button"
                                                  : L"Static";
        DWORD style = WS_CHILD | WS_VISIBLE;
        std::string text;
        if (part == TILE_RETRY) {
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            text = STATION_WINDOW_CAPTIONS.retry;
        } else if (part == TILE_BAR) {
            style |= PBS_SMOOTH;
            text = TILE_BAR_NAME;
        } else {
            style |= SS_NOPREFIX | (part == TILE_PORT ? SS_RIGHT : SS_LEFT);
        }
        const int width = p.width ? p.width : TILE_WIDTH - 2 * PAD;
        HWND w = ::CreateWindowExW(0, cls, toUtf16(text).c_str(), style, scale(p.x), scale(p.y),
                                   scale(width), scale(p.height), t.frame,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(part)), instance_,
                                   nullptr);
        const bool bold = part == TILE_NAME || part == TILE_FAILURE;
        ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_ : font_), FALSE);
        t.parts[part] = w;
    }
    ::SendMessageW(t.parts[TILE_BAR], PBM_SETRANGE32, 0, 100);
    return t;
}

void BenchWindow::setTiles(const std::vector<TileView>& views) {
    while (tiles_.size() > views.size()) {
        ::DestroyWindow(tiles_.back().frame);
        if (tiles_.back().brush)
            ::DeleteObject(tiles_.back().brush);
        tiles_.pop_back();
    }
    while (tiles_.size() < views.size())
        tiles_.push_back(makeTile(tiles_.size()));
    for (size_t i = 0; i < views.size(); ++i)
        drawTile(tiles_[i], views[i]);
    layout();
    keepFocusUsable();
}

void BenchWindow::updateTile(size_t index, const TileView& view) {
    if (index < tiles_.size())
        drawTile(tiles_[index], view);
    keepFocusUsable();
}

void BenchWindow::drawTile(Tile& t, const TileView& v) {
    const bool recoloured =
        !t.brush || !(t.view.background == v.background) || !(t.view.foreground == v.foreground);
    if (!t.brush || !(t.view.background == v.background)) {
        if (t.brush)
            ::DeleteObject(t.brush);
        t.brush = ::CreateSolidBrush(colour(v.background));
    }
    t.view = v;
    setText(t.frame, v.accessibleName);
    setText(t.parts[TILE_NAME], v.name);
    // The port beside the name only when it says something more.
    setText(t.parts[TILE_PORT], v.port == v.name ? std::string() : v.port);
    setText(t.parts[TILE_STATE], v.stateText);
    setText(t.parts[TILE_SERIAL], v.serial);
    std::string times;
    for (const std::string* part : {&v.phase, &v.elapsed, &v.left}) {
        if (!part->empty())
            times += (times.empty() ? "" : "   ") + *part;
    }
    setText(t.parts[TILE_TIMES], times);
    showPart(t.parts[TILE_BAR], v.progressShown);
    ::SendMessageW(t.parts[TILE_BAR], PBM_SETPOS, static_cast<WPARAM>(v.percent), 0);
    // The failure under the bar when the state line does not say it already.
    setText(t.parts[TILE_FAILURE], v.failure == v.stateText ? std::string() : v.failure);
    setText(t.parts[TILE_STEP], v.step);
    showPart(t.parts[TILE_RETRY], !v.failure.empty());
    ::EnableWindow(t.parts[TILE_RETRY], v.retryEnabled);
    if (recoloured)
        ::RedrawWindow(t.frame, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void BenchWindow::placeTiles(int left, int top, int width, int height) {
    if (tiles_.empty())
        return;
    const int gap = scale(TILE_GAP), tileWidth = scale(TILE_WIDTH);
    const int columns = std::max(1, (width + gap) / (tileWidth + gap));
    const int rows = static_cast<int>((tiles_.size() + columns - 1) / columns);
    // More positions than the window holds at full height: the tiles shrink,
    // the last lines of each going first.
    const int tileHeight =
        std::max(scale(90), std::min(scale(TILE_HEIGHT), (height + gap) / rows - gap));
    for (size_t i = 0; i < tiles_.size(); ++i) {
        const int column = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
        ::MoveWindow(tiles_[i].frame, left + column * (tileWidth + gap),
                     top + row * (tileHeight + gap), tileWidth, tileHeight, TRUE);
    }
    // "Riprova" stays on the tile's bottom edge.
    const PartPlace& retry = PLACES[TILE_RETRY];
    for (Tile& t : tiles_) {
        ::MoveWindow(t.parts[TILE_RETRY], scale(retry.x),
                     tileHeight - scale(PAD + retry.height + 2), scale(retry.width),
                     scale(retry.height), TRUE);
    }
}

LRESULT BenchWindow::colourTile(const Tile& t, HDC dc, HWND) {
    ::SetTextColor(dc, colour(t.view.foreground));
    ::SetBkColor(dc, colour(t.view.background));
    return reinterpret_cast<LRESULT>(t.brush);
}

LRESULT CALLBACK BenchWindow::tileProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<BenchWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<BenchWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    const size_t index = static_cast<size_t>(::GetDlgCtrlID(hwnd) - FIRST_TILE_ID);
    if (!self || self->destroyed_ || index >= self->tiles_.size() ||
        self->tiles_[index].frame != hwnd)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    const Tile& tile = self->tiles_[index];
    switch (msg) {
        case WM_ERASEBKGND: {
            RECT r;
            ::GetClientRect(hwnd, &r);
            ::FillRect(reinterpret_cast<HDC>(wParam), &r, tile.brush);
            return 1;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return self->colourTile(tile, reinterpret_cast<HDC>(wParam),
                                    reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            if (LOWORD(wParam) == TILE_RETRY && HIWORD(wParam) == BN_CLICKED && self->core_)
                self->core_->retry(index);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace zor::stationwin
