#include "flash/partition_dump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/encoding.h"
#include "app/split_version.h"

namespace zor {

namespace {

// The log and the old C formatting both end a name at its first NUL.
std::string cString(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

int entryCount(const PartitionTable& table) {
    return std::min<int>(table.count, FLASH_BLOCKS);
}

}  // namespace

const std::array<Rgb, 16> typeColours = {{
    {0, 255, 0},      // PGM
    {255, 255, 0},    // DATAREL
    {255, 255, 255},  // 2
    {255, 255, 255},  // 3
    {255, 255, 255},  // 4
    {255, 255, 255},  // 5
    {255, 255, 255},  // 6
    {255, 255, 255},  // 7
    {255, 0, 0},      // MILO
    {0, 255, 255},    // FREE
    {128, 128, 128},  // 10
    {128, 128, 128},  // 11
    {128, 128, 128},  // 12
    {128, 128, 128},  // 13
    {128, 128, 128},  // 14
    {128, 128, 128},  // 15
}};

std::string formatPartitionTable(const PartitionTable& table) {
    std::string out =
        "Partition table contents:\r\n"
        "Pos Type       From Len Name\r\n"
        "--- ---------- ---- --- ----\r\n";
    for (int i = 0; i < entryCount(table); ++i) {
        const PartitionEntry& e = table.entries[i];
        char typeName[8];
        std::memcpy(typeName, typeNames + 7 * (e.type & 0x0F), 7);
        typeName[7] = '\0';
        char line[64];
        std::snprintf(line, sizeof line, "%2d: %2.2X=%s %3d  %2d  ", i, e.type, typeName,
                      e.firstBlock, e.blockCount);
        out += line;
        out += logSafeText(cString(e.name));
        out += "\r\n";
    }
    return out;
}

std::vector<ChartBox> chartBoxes(const PartitionTable& table, int width, int height) {
    const int w = width - 5;
    std::vector<ChartBox> boxes;
    boxes.reserve(entryCount(table));
    for (int i = 0; i < entryCount(table); ++i) {
        const PartitionEntry& e = table.entries[i];
        ChartBox box;
        box.x0 = e.firstBlock * w / 8 + 5;
        box.x1 = (e.firstBlock + e.blockCount) * w / 8;
        box.y0 = 5;
        box.y1 = height - 5;
        box.fill = typeColours[e.type & 0x0F];
        // A partition the chronometer listed without a name is drawn as free
        // space (an empty label); only named entries show the transfer's work
        // in bold.
        if (e.name.empty()) {
            box.label.clear();
            box.bold = false;
        } else {
            std::string name = e.name, vers, build;
            splitVersion(name, vers, build);
            box.label = name + " " + vers;
            box.bold = e.changed != 0;
        }
        box.fillRect = {box.x0 + 1, 6, box.x1 - 1, height - 6};
        box.labelRect = {box.x0 + 1, 11, box.x1 - 1, height - 6};
        const int x0 = box.x0, x1 = box.x1, h = height;
        using E = EdgeColour;
        box.edges = {{
            {{x1 + 1, 4}, {x0 - 1, 4}, E::Highlight},
            {{x0 - 1, 4}, {x0 - 1, h - 4}, E::Highlight},
            {{x0 - 1, h - 4}, {x1 + 1, h - 4}, E::DarkShadow},
            {{x1 + 1, h - 4}, {x1 + 1, 4}, E::DarkShadow},
            {{x0, h - 5}, {x1, h - 5}, E::Shadow},
            {{x1, h - 5}, {x1, 5}, E::Shadow},
            {{x1, 5}, {x0, 5}, E::Light},
            {{x0, 5}, {x0, h - 5}, E::Light},
        }};
        boxes.push_back(std::move(box));
    }
    return boxes;
}

}  // namespace zor
