#pragma once
// The update file that zorsim --write-sample writes. It suits the default
// chronometer (defaultPartitions()): a newer MILO for block 0, a newer program
// for blocks 1..3 and two data releases of one block each, every component's
// data starting with the descriptor the chronometer reads.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zor::sim {

std::vector<uint8_t> sampleUpdateFile();

// One component of an update file made for the simulated chronometer.
struct SamplePart {
    uint8_t type;
    uint16_t posn;
    uint8_t blks;
    size_t dataBlocks;  // data blocks sent for it
    const char* version;
};
// An update file of parts, their data drawn from seed on (one seed a part).
std::vector<uint8_t> updateFileOf(const std::vector<SamplePart>& parts, uint32_t seed);

}  // namespace zor::sim
