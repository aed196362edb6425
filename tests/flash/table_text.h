#pragma once
// Compact text of a partition table for test expectations: one
// "type:first+count" per entry, "*" when changed, names left out.
#include <string>

#include "flash/partition_table.h"

namespace zor::test {

inline std::string layout(const PartitionTable& t) {
    std::string s;
    for (int i = 0; i < t.count; ++i) {
        const PartitionEntry& e = t.entries[i];
        if (i)
            s += ' ';
        s += std::to_string(e.type) + ':' + std::to_string(e.firstBlock) + '+' +
             std::to_string(e.blockCount) + (e.changed ? "*" : "");
    }
    return s;
}

// Builds a table from (type, count, name) rows, in block order.
struct Row {
    uint8_t type, blocks;
    const char* name;
};
inline PartitionTable makeTable(std::initializer_list<Row> rows) {
    PartitionTable t;
    resetTable(t);
    uint8_t b = 0;
    for (const Row& r : rows) {
        if (r.type != PT_FREE)
            addPartition(t, r.type, b, r.name, nullptr, 0, r.blocks);
        b = static_cast<uint8_t>(b + r.blocks);
    }
    return t;
}

}  // namespace zor::test
