#pragma once
// The allocation chart of the component page, painted with GDI: the boxes of
// chartBoxes() with the system colours of three-dimensional edges.
#include <windows.h>

#include "flash/partition_table.h"

namespace zor::win32ui {

// Paints table on dc over a paint box of width x height pixels, with the
// paint box's font in its regular and bold weights. Paints only the boxes;
// the caller fills the background.
void drawAllocation(HDC dc, const PartitionTable& table, int width, int height, HFONT regular,
                    HFONT bold);

}  // namespace zor::win32ui
