#pragma once
// The allocation chart of the component page, painted with Qt: the boxes of
// chartBoxes() with the three-dimensional edges of the window's palette.
#include <QFont>
#include <QPainter>
#include <QPalette>

#include "flash/partition_table.h"

namespace zor::qtui {

// Edge colours by their Windows names, taken from the palette.
struct EdgeColours {
    QColor btnHighlight;  // COLOR_BTNHIGHLIGHT
    QColor darkShadow;    // COLOR_3DDKSHADOW
    QColor btnShadow;     // COLOR_BTNSHADOW
    QColor light;         // COLOR_3DLIGHT
};
EdgeColours edgeColours(const QPalette& palette);

// Paints table on a paint box of width x height pixels, following the
// chartBoxes() contract pixel for pixel: lines include their first point and
// stop before their last, rectangles exclude their right and bottom edges.
void drawAllocation(QPainter& painter, const PartitionTable& table, int width, int height,
                    const QFont& font, const EdgeColours& edges);

}  // namespace zor::qtui
