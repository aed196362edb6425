#include "wizard/qt/chart_painter.h"

#include "flash/partition_dump.h"
#include "text/plan_text.h"

namespace zor::qtui {
namespace {

// A horizontal or vertical line from `from` up to, not including, `to`, the
// way GDI's LineTo draws.
void lineTo(QPainter& painter, QPoint from, QPoint to, const QColor& colour) {
    const int dx = (to.x() > from.x()) - (to.x() < from.x());
    const int dy = (to.y() > from.y()) - (to.y() < from.y());
    for (QPoint p = from; p != to; p += QPoint(dx, dy))
        painter.fillRect(p.x(), p.y(), 1, 1, colour);
}

// The palette's colour for an edge's system colour.
const QColor& colourOf(EdgeColour colour, const EdgeColours& edges) {
    switch (colour) {
        case EdgeColour::Highlight:
            return edges.btnHighlight;
        case EdgeColour::DarkShadow:
            return edges.darkShadow;
        case EdgeColour::Shadow:
            return edges.btnShadow;
        case EdgeColour::Light:
            break;
    }
    return edges.light;
}

QPoint toQt(const ChartPoint& p) {
    return QPoint(p.x, p.y);
}

QRect toQt(const ChartRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

EdgeColours edgeColours(const QPalette& palette) {
    return {palette.color(QPalette::Light), palette.color(QPalette::Shadow),
            palette.color(QPalette::Dark), palette.color(QPalette::Midlight)};
}

void drawAllocation(QPainter& painter, const PartitionTable& table, int width, int height,
                    const QFont& font, const EdgeColours& edges) {
    for (const ChartBox& box : chartBoxes(table, width, height)) {
        // The fill rectangle: a 1-pixel black outline around the type colour.
        const QRect fill = toQt(box.fillRect);
        if (fill.width() > 0 && fill.height() > 0) {
            painter.fillRect(fill, Qt::black);
            painter.fillRect(fill.adjusted(1, 1, -1, -1),
                             QColor(box.fill.r, box.fill.g, box.fill.b));
        }
        // Raised outer edge, then the inner edge.
        for (const EdgeStroke& edge : box.edges)
            lineTo(painter, toQt(edge.from), toQt(edge.to), colourOf(edge.colour, edges));

        QFont labelFont = font;
        labelFont.setBold(box.bold);
        painter.setFont(labelFont);
        painter.setPen(Qt::black);
        // As the Windows chart draws it (DrawText with prefix processing): a
        // lone '&' is dropped and the next character underlined, "&&" shows one.
        painter.drawText(toQt(box.labelRect),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic,
                         QString::fromStdString(chartLabelText(box)));
    }
}

}  // namespace zor::qtui
