#pragma once
// The partition table's invariants, checked after every fuzzed operation.
#include "flash/partition_table.h"
#include "fuzz_target.h"

namespace zor::fuzz {

inline void checkTable(const PartitionTable& t) {
    FUZZ_CHECK(t.count >= 1 && t.count <= FLASH_BLOCKS);
    int next = 0;
    for (int i = 0; i < t.count; ++i) {
        const PartitionEntry& e = t.entries[i];
        FUZZ_CHECK(e.firstBlock == next);
        FUZZ_CHECK(e.blockCount >= 1);
        FUZZ_CHECK(e.type <= 15);
        FUZZ_CHECK(!(i > 0 && e.type == PT_FREE && t.entries[i - 1].type == PT_FREE));
        next += e.blockCount;
    }
    FUZZ_CHECK(next == FLASH_BLOCKS);
}

}  // namespace zor::fuzz
