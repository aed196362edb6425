#include "flash/partition_table.h"

#include <gtest/gtest.h>

#include <random>

#include "flash/table_text.h"

namespace zor {
namespace {

using test::layout;
using test::table;

constexpr int REL = -1;  // a releaseEntry case; otherwise the type to add

TEST(PartitionTable, Operations) {
    struct Case {
        const char* what;
        const char* before;
        int type;  // REL: release entry `at`
        uint8_t at, blocks;
        bool ok;
        const char* after;
    };
    const char* worked = "8+1;9+2;0+2;9+3";  // MILO 0+1, FREE 1+2, PGM 3+2, FREE 5+3
    const Case cases[] = {
        {"milo on reset table", "9+8", PT_MILO, 0, 1, true, "8:0+1* 9:1+7"},
        {"program inside a run", "8+1;9+7", PT_PGM, 3, 2, true, "8:0+1 9:1+2 0:3+2* 9:5+3"},
        {"any block skips the short run", worked, 1, ANY_BLOCK, 3, true,
         "8:0+1 9:1+2 0:3+2 1:5+3*"},
        {"any block, first fit", worked, 1, ANY_BLOCK, 2, true, "8:0+1 1:1+2* 0:3+2 9:5+3"},
        {"fits nowhere", worked, 1, ANY_BLOCK, 4, false, ""},
        {"one block left from block 2", worked, 1, 2, 2, false, ""},
        {"inside a taken partition", worked, 1, 4, 1, false, ""},
        {"block 8", worked, 1, 8, 1, false, ""},
        {"zero blocks", worked, 1, 5, 0, false, ""},
        {"free is never placed", worked, PT_FREE, 5, 1, false, ""},
        {"split in three keeps the flag", "9+8*", 2, 6, 1, true, "9:0+6* 2:6+1* 9:7+1*"},
        {"end of a run", worked, 1, 7, 1, true, "8:0+1 9:1+2 0:3+2 9:5+2 1:7+1*"},
        {"release between runs", "8+1;9+2;0+2=P;9+3", REL, 2, 0, true, "8:0+1 9:1+7"},
        {"merge keeps the lower flag", "8+1;9+2*;0+2;9+3", REL, 2, 0, true, "8:0+1 9:1+7*"},
        {"released flag wins above", "8+1;0+2;9+5*", REL, 1, 0, true, "8:0+1 9:1+7"},
        {"no free neighbour", "8+1;0+2=P;1+5=D", REL, 1, 0, true, "8:0+1 9:1+2 1:3+5"},
        {"index equal to count", worked, REL, 4, 0, false, ""},
    };
    for (const Case& c : cases) {
        PartitionTable t = table(c.before);
        const std::string before = layout(t);
        const bool ok = c.type == REL ? releaseEntry(t, c.at)
                                      : addPartition(t, static_cast<uint8_t>(c.type), c.at,
                                                     "\t Nome\r\n", nullptr, 1, c.blocks);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(layout(t), c.ok ? c.after : before) << c.what;
        int named = 0;
        for (int i = 0; i < t.count; ++i) {
            named += t.entries[i].name == "Nome";
            EXPECT_TRUE(t.entries[i].type != PT_FREE || t.entries[i].name.empty()) << c.what;
        }
        EXPECT_EQ(named, c.ok && c.type != REL) << c.what;
    }
}

// Long random sequences checked against a block-by-block model: one letter
// per block for its owner's type ('j' is FREE).
std::string blockMap(const PartitionTable& t) {
    std::string map;
    for (int i = 0; i < t.count; ++i)
        map.append(t.entries[i].blockCount, 'a' + t.entries[i].type);
    return map;
}

TEST(PartitionTable, RandomSequencesKeepTheInvariants) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        std::mt19937 rng(seed);
        PartitionTable t = table("9+8");
        for (int op = 0; op < 5000; ++op) {
            const std::string where = "seed " + std::to_string(seed) + " op " + std::to_string(op);
            const std::string before = layout(t);
            std::string expected = blockMap(t);
            bool ok, expectOk;
            if (rng() % 3 == 0) {
                const uint8_t index = static_cast<uint8_t>(rng() % (t.count + 2));
                expectOk = index < t.count;
                if (expectOk) {
                    const PartitionEntry& e = t.entries[index];
                    expected.replace(e.firstBlock, e.blockCount, e.blockCount, 'a' + PT_FREE);
                }
                ok = releaseEntry(t, index);
            } else {
                const uint8_t type = static_cast<uint8_t>(rng() % 16), n = rng() % 5;
                const uint8_t block = rng() % 4 == 0 ? ANY_BLOCK : static_cast<uint8_t>(rng() % 9);
                const std::string room(n, 'a' + PT_FREE);
                // Runs never touch, so the first n free blocks in a row start the lowest run.
                const size_t at = block == ANY_BLOCK ? expected.find(room) : block;
                expectOk = type != PT_FREE && n > 0 && at != std::string::npos &&
                           at + n <= FLASH_BLOCKS && expected.compare(at, n, room) == 0;
                if (expectOk)
                    expected.replace(at, n, n, static_cast<char>('a' + type));
                ok = addPartition(t, type, block, "X", nullptr, rng() % 2, n);
            }
            ASSERT_EQ(ok, expectOk) << where;
            ASSERT_EQ(blockMap(t), expected) << where;
            if (!ok) {
                ASSERT_EQ(layout(t), before) << where;
            }
            int next = 0;
            for (int i = 0; i < t.count; ++i) {
                ASSERT_EQ(t.entries[i].firstBlock, next) << where;
                ASSERT_GE(t.entries[i].blockCount, 1) << where;
                ASSERT_FALSE(i > 0 && t.entries[i].type == PT_FREE &&
                             t.entries[i - 1].type == PT_FREE)
                    << where;
                next += t.entries[i].blockCount;
            }
            ASSERT_EQ(next, FLASH_BLOCKS) << where;
        }
    }
}

}  // namespace
}  // namespace zor
