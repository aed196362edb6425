#include "wizard/qt/chart_painter.h"

#include "app/encoding.h"
#include "flash/partition_dump.h"

namespace zor::qtui {
namespace {

// A horizontal or vertical line from `from` up to, not including, `to`, the
// way GDI's LineTo draws; `from` moves on to `to`.
void lineTo(QPainter& painter, QPoint& from, QPoint to, const QColor& colour) {
    const int dx = (to.x() > from.x()) - (to.x() < from.x());
    const int dy = (to.y() > from.y()) - (to.y() < from.y());
    for (QPoint p = from; p != to; p += QPoint(dx, dy))
        painter.fillRect(p.x(), p.y(), 1, 1, colour);
    from = to;
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
    const int h = height;
    for (const ChartBox& box : chartBoxes(table, width, height)) {
        // The fill rectangle: a 1-pixel black outline around the type colour.
        const QRect fill = toQt(box.fillRect);
        if (fill.width() > 0 && fill.height() > 0) {
            painter.fillRect(fill, Qt::black);
            painter.fillRect(fill.adjusted(1, 1, -1, -1),
                             QColor(box.fill.r, box.fill.g, box.fill.b));
        }
        // Raised outer edge, then the inner edge.
        QPoint at(box.x1 + 1, 4);
        lineTo(painter, at, {box.x0 - 1, 4}, edges.btnHighlight);
        lineTo(painter, at, {box.x0 - 1, h - 4}, edges.btnHighlight);
        lineTo(painter, at, {box.x1 + 1, h - 4}, edges.darkShadow);
        lineTo(painter, at, {box.x1 + 1, 4}, edges.darkShadow);
        at = {box.x0, h - 5};
        lineTo(painter, at, {box.x1, h - 5}, edges.btnShadow);
        lineTo(painter, at, {box.x1, 5}, edges.btnShadow);
        lineTo(painter, at, {box.x0, 5}, edges.light);
        lineTo(painter, at, {box.x0, h - 5}, edges.light);

        QFont labelFont = font;
        labelFont.setBold(box.bold);
        painter.setFont(labelFont);
        painter.setPen(Qt::black);
        // As the Windows chart draws it (DrawText with prefix processing): a
        // lone '&' is dropped and the next character underlined, "&&" shows one.
        painter.drawText(toQt(box.labelRect),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic,
                         QString::fromStdString(cp1252ToUtf8(box.label)));
    }
}

}  // namespace zor::qtui
