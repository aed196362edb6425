// What the form paints itself: the panels' bevels, the chart's paint box
// (off screen, through chart_painter), and the colours and backgrounds of the
// labels, check boxes and memos.
#include "wizard/win32/main_form.h"

#include "wizard/win32/chart_painter.h"

namespace zor::win32ui {

using wizard::ControlSpec;
using wizard::Ctl;

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

}  // namespace zor::win32ui
