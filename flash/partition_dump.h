#pragma once
// Two views of a partition table: the fixed-column text dump written to the
// session log, and the geometry of the bar chart of the 8 flash blocks.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/partition_table.h"

namespace zor {

// "Partition table contents:\r\nPos Type       From Len Name\r\n"
// "--- ---------- ---- --- ----\r\n", then per entry
// "%2d: %2.2X=%s %3d  %2d  %s\r\n" with index, type code, the 7 characters of
// typeNames for the low 4 bits of the type, first block, block count and name.
// Names are copied byte for byte (Windows-1252), up to a NUL if any.
std::string formatPartitionTable(const PartitionTable& table);

struct Rgb {
    uint8_t r, g, b;
};

// Fill colour by type code (low 4 bits): PGM lime, DATAREL yellow, 2-7 white,
// MILO red, FREE aqua, 10-15 grey.
extern const std::array<Rgb, 16> typeColours;

// Toolkit-style rectangle: right and bottom edges exclusive.
struct ChartRect {
    int left, top, right, bottom;
};

struct ChartPoint {
    int x, y;
};

// The system colours of a raised 3-D edge.
enum class EdgeColour { Highlight, DarkShadow, Shadow, Light };

// A solid 1-pixel line from `from` up to, not including, `to`, the way GDI's
// LineTo draws it; always horizontal or vertical.
struct EdgeStroke {
    ChartPoint from, to;
    EdgeColour colour;
};

// One box of the allocation chart, in paint-box pixels. Contract for the
// painter, for a paint box of height H (boxes in table order):
//  1. fillRect = (x0 + 1, 6)-(x1 - 1, H - 6): outline black 1 px, inside fill.
//  2. the edges, in order. The outer raised edge: Highlight from (x1 + 1, 4)
//     to (x0 - 1, 4) to (x0 - 1, H - 4); then DarkShadow on to (x1 + 1, H - 4)
//     and to (x1 + 1, 4). The inner edge: Shadow from (x0, H - 5) to
//     (x1, H - 5) to (x1, 5); then Light on to (x0, 5) and to (x0, H - 5).
//  3. the label in words (an empty one names free space) in labelRect =
//     (x0 + 1, 11)-(x1 - 1, H - 6), no background, centred horizontally,
//     word-wrapped, from the top; bold when bold is set, regular otherwise;
//     the paint box's font, black.
// Nothing else is painted. y0 = 5 and y1 = H - 5 are the inner edge rows.
struct ChartBox {
    int x0, x1, y0, y1;
    Rgb fill;
    std::string label;  // Windows-1252 bytes, as in the table; empty: free space
    bool bold;
    ChartRect fillRect;
    ChartRect labelRect;
    std::array<EdgeStroke, 8> edges;
};

// One box per entry: x0 = firstBlock * W / 8 + 5, x1 = (firstBlock +
// blockCount) * W / 8 with W = width - 5 (integer division), so a full table
// spans 5 .. width - 5 with 5 pixels between neighbours. The label is the
// name part, a blank and the VERS part of the name, or empty when the name is
// (free space, which the window words); bold when the entry is changed and
// has a name.
std::vector<ChartBox> chartBoxes(const PartitionTable& table, int width, int height);

}  // namespace zor
