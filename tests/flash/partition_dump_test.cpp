#include "flash/partition_dump.h"

#include <gtest/gtest.h>

#include "flash/table_text.h"

namespace zor {
namespace {

TEST(PartitionDump, ExactText) {
    const std::string header =
        "Partition table contents:\r\nPos Type       From Len Name\r\n"
        "--- ---------- ---- --- ----\r\n";
    PartitionTable reset;
    resetTable(reset);
    EXPECT_EQ(formatPartitionTable(reset), header + " 0: 09=FREE      0   8  \r\n");
    EXPECT_EQ(formatPartitionTable(test::table("5+1=Cinque;10+2=Dieci VERS 1;9+4;15+1")),
              header +
                  " 0: 05=0x05      0   1  Cinque\r\n 1: 0A=0x0a      1   2  Dieci VERS 1\r\n"
                  " 2: 09=FREE      3   4  \r\n 3: 0F=0x0f      7   1  \r\n");
}

TEST(PartitionChart, BoxesOnTheFormsPaintBox) {
    struct Expect {
        int x0, x1;
        const char* label;  // empty: free space
        bool bold;
        Rgb fill;
    };
    const struct {
        const char* table;
        std::vector<Expect> boxes;
    } cases[] = {
        {"9+8*", {{5, 428, "", false, {0, 255, 255}}}},
        {"8+1=Milo VERS 1 BUILD 2;1+1*=Lingua VERS 2 BUILD 7;1+1=Lingua VERS 2 BUILD 7;"
         "5+1*;12+1*=Dati gara VERS 1.0;0+2=caff\xe8 VERS 3 BUILD 1;9+1",
         {{5, 53, "Milo 1", false, {255, 0, 0}},
          {58, 107, "Lingua 2", true, {255, 255, 0}},
          {112, 160, "Lingua 2", false, {255, 255, 0}},
          {165, 214, "", false, {255, 255, 255}},
          {219, 267, "Dati gara 1.", true, {128, 128, 128}},
          {272, 374, "caff\xe8 3", false, {0, 255, 0}},
          {379, 428, "", false, {0, 255, 255}}}},
    };
    for (const auto& c : cases) {
        const std::vector<ChartBox> boxes = chartBoxes(test::table(c.table), 433, 73);
        ASSERT_EQ(boxes.size(), c.boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            const ChartBox& b = boxes[i];
            const Expect& e = c.boxes[i];
            SCOPED_TRACE(e.label);
            EXPECT_EQ(std::vector<int>({b.x0, b.x1, b.y0, b.y1, b.fill.r, b.fill.g, b.fill.b}),
                      std::vector<int>({e.x0, e.x1, 5, 68, e.fill.r, e.fill.g, e.fill.b}));
            EXPECT_EQ(b.label, e.label);
            EXPECT_EQ(b.bold, e.bold);
        }
    }
}

}  // namespace
}  // namespace zor
