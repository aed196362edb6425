#include "flash/partition_table.h"

#include <gtest/gtest.h>

#include <random>

#include "flash/table_text.h"

namespace zor {
namespace {

using test::layout;

// MILO 0+1, FREE 1+2, PGM 3+2, FREE 5+3: the chronometer layout used below.
PartitionTable miloAndProgram() {
    PartitionTable t;
    resetTable(t);
    EXPECT_TRUE(addPartition(t, PT_MILO, 0, "Milo", nullptr, 0, 1));
    EXPECT_TRUE(addPartition(t, PT_PGM, 3, "Prog", nullptr, 0, 2));
    return t;
}

TEST(PartitionTable, ResetIsOneFreeRun) {
    PartitionTable t;
    resetTable(t);
    EXPECT_EQ(layout(t), "9:0+8");
    EXPECT_EQ(t.entries[0].name, "");
    EXPECT_FALSE(hasChanges(t));
    EXPECT_EQ(std::string(typeNames).size(), 112u);
    EXPECT_EQ(std::string(typeNames + 7 * 15, 7), "0x0f   ");
}

TEST(PartitionTable, AddOnTheWorkedLayout) {
    struct Case {
        const char* what;
        uint8_t type, block, blocks;
        bool ok;
        const char* after;
    };
    const char* base = "8:0+1 9:1+2 0:3+2 9:5+3";
    const Case cases[] = {
        {"three blocks anywhere skip the short run", 1, ANY_BLOCK, 3, true,
         "8:0+1 9:1+2 0:3+2 1:5+3*"},
        {"two blocks anywhere take the first run", 1, ANY_BLOCK, 2, true,
         "8:0+1 1:1+2* 0:3+2 9:5+3"},
        {"four blocks fit nowhere", 1, ANY_BLOCK, 4, false, base},
        {"block 2 has one block left", 1, 2, 2, false, base},
        {"inside a taken partition", 1, 4, 1, false, base},
        {"beyond the last block", 1, 8, 1, false, base},
        {"block 15", 0, 15, 1, false, base},
        {"zero blocks", 1, 5, 0, false, base},
        {"free is never placed", PT_FREE, 5, 1, false, base},
        {"middle of a run splits in three", 2, 6, 1, true, "8:0+1 9:1+2 0:3+2 9:5+1 2:6+1* 9:7+1"},
        {"end of a run", 1, 7, 1, true, "8:0+1 9:1+2 0:3+2 9:5+2 1:7+1*"},
    };
    for (const Case& c : cases) {
        PartitionTable t = miloAndProgram();
        ASSERT_EQ(layout(t), base);
        EXPECT_EQ(addPartition(t, c.type, c.block, " \tName\r\n", nullptr, 1, c.blocks), c.ok)
            << c.what;
        EXPECT_EQ(layout(t), c.ok ? c.after : base) << c.what;
    }
}

TEST(PartitionTable, AddTrimsNameAndKeepsComponent) {
    PartitionTable t;
    resetTable(t);
    Segmento seg;
    ASSERT_TRUE(
        addPartition(t, PT_DATAREL, 2, std::string("\0 Lingua VERS 1 \x01", 17), &seg, 1, 1));
    EXPECT_EQ(layout(t), "9:0+2 1:2+1* 9:3+5");
    EXPECT_EQ(t.entries[1].name, "Lingua VERS 1");
    EXPECT_EQ(t.entries[1].component, &seg);
}

TEST(PartitionTable, SplitPiecesKeepTheRunsChangedFlag) {
    PartitionTable t;
    resetTable(t);
    t.entries[0].changed = 1;
    ASSERT_TRUE(addPartition(t, PT_PGM, 3, "P", nullptr, 0, 2));
    EXPECT_EQ(layout(t), "9:0+3* 0:3+2 9:5+3*");
}

TEST(PartitionTable, ReleaseMergesNeighbours) {
    struct Case {
        const char* before;  // built through makeTable
        std::initializer_list<test::Row> rows;
        uint8_t index;
        bool ok;
        const char* after;
    };
    const Case cases[] = {
        {"between two runs",
         {{8, 1, "M"}, {9, 2, ""}, {0, 2, "P"}, {9, 3, ""}},
         2,
         true,
         "8:0+1 9:1+7"},
        {"first entry", {{8, 1, "M"}, {9, 7, ""}}, 0, true, "9:0+8"},
        {"no free neighbour",
         {{8, 1, "M"}, {0, 2, "P"}, {1, 5, "D"}},
         1,
         true,
         "8:0+1 9:1+2 1:3+5"},
        {"index equal to count", {{8, 1, "M"}, {9, 7, ""}}, 2, false, "8:0+1 9:1+7"},
        {"free entry itself", {{8, 1, "M"}, {9, 7, ""}}, 1, true, "8:0+1 9:1+7"},
    };
    for (const Case& c : cases) {
        PartitionTable t = test::makeTable(c.rows);
        EXPECT_EQ(releaseEntry(t, c.index), c.ok) << c.before;
        EXPECT_EQ(layout(t), c.after) << c.before;
        for (int i = 0; i < t.count; ++i) {
            if (t.entries[i].type == PT_FREE) {
                EXPECT_EQ(t.entries[i].name, "") << c.before;
            }
        }
    }
}

TEST(PartitionTable, MergedRunTakesTheLowerFlag) {
    PartitionTable t = test::makeTable({{8, 1, "M"}, {9, 2, ""}, {0, 2, "P"}, {9, 3, ""}});
    t.entries[1].changed = 1;  // below the program
    t.entries[3].changed = 0;
    ASSERT_TRUE(releaseEntry(t, 2));
    EXPECT_EQ(layout(t), "8:0+1 9:1+7*");

    t = test::makeTable({{8, 1, "M"}, {0, 2, "P"}, {9, 5, ""}});
    t.entries[2].changed = 1;  // only above: the released entry's 0 wins
    ASSERT_TRUE(releaseEntry(t, 1));
    EXPECT_EQ(layout(t), "8:0+1 9:1+7");
}

TEST(PartitionTable, InsertUndefinedOpensASlot) {
    PartitionTable t = miloAndProgram();
    insertUndefined(t, 2);
    ASSERT_EQ(t.count, 5);
    EXPECT_EQ(t.entries[2].type, PT_UNDEFINED);
    EXPECT_EQ(t.entries[2].name, "Undefined");
    EXPECT_EQ(t.entries[2].firstBlock, 3);
    EXPECT_EQ(t.entries[2].blockCount, 0);
    EXPECT_EQ(t.entries[3].name, "Prog");
}

// Invariants and exact placement under long random sequences, checked
// against the layout before each operation.
void expectTiled(const PartitionTable& t, const std::string& where) {
    ASSERT_GE(t.count, 1) << where;
    ASSERT_LE(t.count, FLASH_BLOCKS) << where;
    int next = 0;
    for (int i = 0; i < t.count; ++i) {
        const PartitionEntry& e = t.entries[i];
        ASSERT_EQ(e.firstBlock, next) << where;
        ASSERT_GE(e.blockCount, 1) << where;
        if (i > 0) {
            ASSERT_FALSE(e.type == PT_FREE && t.entries[i - 1].type == PT_FREE) << where;
        }
        next += e.blockCount;
    }
    ASSERT_EQ(next, FLASH_BLOCKS) << where;
}

int firstFit(const PartitionTable& t, int blocks) {
    for (int i = 0; i < t.count; ++i) {
        if (t.entries[i].type == PT_FREE && t.entries[i].blockCount >= blocks) {
            return t.entries[i].firstBlock;
        }
    }
    return -1;
}

int freeRoomAt(const PartitionTable& t, int block) {
    for (int i = 0; i < t.count; ++i) {
        const PartitionEntry& e = t.entries[i];
        if (block >= e.firstBlock && block < e.firstBlock + e.blockCount) {
            return e.type == PT_FREE ? e.firstBlock + e.blockCount - block : 0;
        }
    }
    return 0;
}

// The owner type of every block, as one letter per block.
std::string blockMap(const PartitionTable& t) {
    std::string map(FLASH_BLOCKS, '?');
    for (int i = 0; i < t.count; ++i) {
        for (int b = 0; b < t.entries[i].blockCount; ++b) {
            map[t.entries[i].firstBlock + b] = static_cast<char>('a' + t.entries[i].type);
        }
    }
    return map;
}

TEST(PartitionTable, RandomSequencesKeepTheInvariants) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        std::mt19937 rng(seed);
        PartitionTable t;
        resetTable(t);
        for (int op = 0; op < 5000; ++op) {
            const std::string where = "seed " + std::to_string(seed) + " op " + std::to_string(op);
            const PartitionTable before = t;
            std::string expected = blockMap(before);
            bool ok;
            if (rng() % 3 == 0) {
                const uint8_t index = static_cast<uint8_t>(rng() % (t.count + 2));
                ok = releaseEntry(t, index);
                ASSERT_EQ(ok, index < before.count) << where;
                if (ok) {
                    const PartitionEntry& e = before.entries[index];
                    expected.replace(e.firstBlock, e.blockCount, e.blockCount, 'a' + PT_FREE);
                }
            } else {
                const uint8_t type = static_cast<uint8_t>(rng() % 16);
                const uint8_t blocks = static_cast<uint8_t>(rng() % 5);
                const uint8_t block = rng() % 4 == 0 ? ANY_BLOCK : static_cast<uint8_t>(rng() % 9);
                ok = addPartition(t, type, block, "X", nullptr, rng() % 2, blocks);
                int at = -1;
                if (type != PT_FREE && blocks > 0) {
                    at = block == ANY_BLOCK                    ? firstFit(before, blocks)
                         : freeRoomAt(before, block) >= blocks ? block
                                                               : -1;
                }
                ASSERT_EQ(ok, at >= 0) << where;
                if (ok)
                    expected.replace(at, blocks, blocks, static_cast<char>('a' + type));
            }
            expectTiled(t, where);
            ASSERT_EQ(blockMap(t), expected) << where;
            if (!ok) {
                ASSERT_EQ(layout(t), layout(before)) << where;
            }
        }
    }
}

}  // namespace
}  // namespace zor
