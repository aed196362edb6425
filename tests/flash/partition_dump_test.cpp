#include "flash/partition_dump.h"

#include <gtest/gtest.h>

#include "flash/table_text.h"

namespace zor {
namespace {

const std::string header =
    "Partition table contents:\r\nPos Type       From Len Name\r\n--- ---------- ---- --- ----\r\n";

TEST(PartitionDump, ResetTable) {
    PartitionTable t;
    resetTable(t);
    EXPECT_EQ(formatPartitionTable(t), header + " 0: 09=FREE      0   8  \r\n");
}

TEST(PartitionDump, OtherTypesPrintUpperCaseCodes) {
    const PartitionTable t = test::makeTable(
        {{5, 1, "Cinque"}, {10, 2, "Dieci VERS 1"}, {PT_FREE, 4, ""}, {15, 1, "Z"}});
    EXPECT_EQ(formatPartitionTable(t), header +
                                           " 0: 05=0x05      0   1  Cinque\r\n"
                                           " 1: 0A=0x0a      1   2  Dieci VERS 1\r\n"
                                           " 2: 09=FREE      3   4  \r\n"
                                           " 3: 0F=0x0f      7   1  Z\r\n");
}

TEST(PartitionChart, FreeTableIsOneRegularBox) {
    PartitionTable t;
    resetTable(t);
    t.entries[0].changed = 1;  // a free run to erase is still not bold
    const std::vector<ChartBox> boxes = chartBoxes(t, 433, 73);
    ASSERT_EQ(boxes.size(), 1u);
    const ChartBox& b = boxes[0];
    EXPECT_EQ(b.x0, 5);
    EXPECT_EQ(b.x1, 428);
    EXPECT_EQ(b.y0, 5);
    EXPECT_EQ(b.y1, 68);
    EXPECT_EQ(b.label, "Spazio libero");
    EXPECT_FALSE(b.bold);
    EXPECT_EQ((std::array<int, 3>{b.fill.r, b.fill.g, b.fill.b}),
              (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(b.fillRect.left, 6);
    EXPECT_EQ(b.fillRect.top, 6);
    EXPECT_EQ(b.fillRect.right, 427);
    EXPECT_EQ(b.fillRect.bottom, 67);
    EXPECT_EQ(b.labelRect.top, 11);
}

TEST(PartitionChart, LabelsColoursAndExtents) {
    PartitionTable t = test::makeTable({{PT_MILO, 1, "Milo VERS 1 BUILD 2"},
                                        {PT_DATAREL, 1, "Lingua VERS 2 BUILD 7"},
                                        {PT_DATAREL, 1, "Dati gara VERS 1.0"},
                                        {5, 1, ""},
                                        {12, 1, "caff\xe8 VERS 3 BUILD 1"},
                                        {PT_FREE, 3, ""}});
    t.entries[1].changed = 1;
    t.entries[3].changed = 1;
    struct Expect {
        int x0, x1;
        const char* label;
        bool bold;
        Rgb fill;
    };
    const Expect expected[] = {
        {5, 53, "Milo 1", false, {255, 0, 0}},
        {58, 107, "Lingua 2", true, {255, 255, 0}},
        {112, 160, "Dati gara 1.", false, {255, 255, 0}},
        {165, 214, "Spazio libero", false, {255, 255, 255}},
        {219, 267, "caff\xe8 3", false, {128, 128, 128}},
        {272, 428, "Spazio libero", false, {0, 255, 255}},
    };
    const std::vector<ChartBox> boxes = chartBoxes(t, 433, 73);
    ASSERT_EQ(boxes.size(), 6u);
    for (size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i].x0, expected[i].x0);
        EXPECT_EQ(boxes[i].x1, expected[i].x1);
        EXPECT_EQ(boxes[i].label, expected[i].label);
        EXPECT_EQ(boxes[i].bold, expected[i].bold);
        EXPECT_EQ(boxes[i].fill.r, expected[i].fill.r);
        EXPECT_EQ(boxes[i].fill.g, expected[i].fill.g);
        EXPECT_EQ(boxes[i].fill.b, expected[i].fill.b);
    }
}

}  // namespace
}  // namespace zor
