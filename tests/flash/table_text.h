#pragma once
// Partition tables as text for test expectations. layout() prints
// "type:first+count" per entry, "*" when changed, names left out. table()
// builds one from "type+count[*][=name]" items separated by ';', in block order.
#include <sstream>
#include <string>

#include "flash/partition_table.h"

namespace zor::test {

inline std::string layout(const PartitionTable& t) {
    std::string s;
    for (int i = 0; i < t.count; ++i) {
        const PartitionEntry& e = t.entries[i];
        s += (i ? " " : "") + std::to_string(e.type) + ':' + std::to_string(e.firstBlock) + '+' +
             std::to_string(e.blockCount) + (e.changed ? "*" : "");
    }
    return s;
}

inline PartitionTable table(const std::string& text) {
    PartitionTable t;
    std::istringstream in(text);
    std::string item;
    int block = 0;
    while (std::getline(in, item, ';')) {
        PartitionEntry& e = t.entries[t.count++];
        const size_t eq = item.find('=');
        e.name = eq == std::string::npos ? "" : item.substr(eq + 1);
        e.type = static_cast<uint8_t>(std::stoi(item));
        e.blockCount = static_cast<uint8_t>(std::stoi(item.substr(item.find('+') + 1)));
        e.changed = item.find('*') < eq;
        e.firstBlock = static_cast<uint8_t>(block);
        block += e.blockCount;
    }
    return t;
}

}  // namespace zor::test
