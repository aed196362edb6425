#include "wizard/win32/chart_painter.h"

#include "flash/partition_dump.h"
#include "text/plan_text.h"
#include "wizard/win32/wide_text.h"

namespace zor::win32ui {
namespace {

// A solid 1-pixel pen in a system colour, selected for as long as it lives.
class SystemPen {
  public:
    SystemPen(HDC dc, int colour) : dc_(dc), pen_(::CreatePen(PS_SOLID, 1, ::GetSysColor(colour))) {
        old_ = ::SelectObject(dc_, pen_);
    }
    ~SystemPen() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(pen_);
    }
    SystemPen(const SystemPen&) = delete;
    SystemPen& operator=(const SystemPen&) = delete;

  private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

// The system colour GDI draws an edge stroke of the chart in.
int systemColour(EdgeColour colour) {
    switch (colour) {
        case EdgeColour::Highlight:
            return COLOR_BTNHIGHLIGHT;
        case EdgeColour::DarkShadow:
            return COLOR_3DDKSHADOW;
        case EdgeColour::Shadow:
            return COLOR_BTNSHADOW;
        case EdgeColour::Light:
            break;
    }
    return COLOR_3DLIGHT;
}

}  // namespace

void drawAllocation(HDC dc, const PartitionTable& table, int width, int height, HFONT regular,
                    HFONT bold) {
    const int savedDc = ::SaveDC(dc);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    for (const ChartBox& box : chartBoxes(table, width, height)) {
        // The fill rectangle: GDI's Rectangle leaves out the right and bottom
        // edges and outlines in the pen's colour.
        HBRUSH fill = ::CreateSolidBrush(RGB(box.fill.r, box.fill.g, box.fill.b));
        HGDIOBJ oldBrush = ::SelectObject(dc, fill);
        HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
        ::Rectangle(dc, box.fillRect.left, box.fillRect.top, box.fillRect.right,
                    box.fillRect.bottom);
        ::SelectObject(dc, oldPen);
        ::SelectObject(dc, oldBrush);
        ::DeleteObject(fill);

        // The raised outer edge, then the inner edge; LineTo stops before
        // its end, as a stroke does.
        for (const EdgeStroke& stroke : box.edges) {
            SystemPen pen(dc, systemColour(stroke.colour));
            ::MoveToEx(dc, stroke.from.x, stroke.from.y, nullptr);
            ::LineTo(dc, stroke.to.x, stroke.to.y);
        }

        ::SelectObject(dc, box.bold ? bold : regular);
        std::wstring label = toUtf16(chartLabelText(box));
        RECT r{box.labelRect.left, box.labelRect.top, box.labelRect.right, box.labelRect.bottom};
        // Prefix processing stays on (no DT_NOPREFIX): a lone '&' in a name is
        // dropped and underlines the next character, "&&" shows one '&'.
        ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &r,
                    DT_CENTER | DT_WORDBREAK);
    }
    ::RestoreDC(dc, savedDc);
}

}  // namespace zor::win32ui
