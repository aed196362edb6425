#pragma once
// The update file that zorsim --write-sample writes. It suits the default
// chronometer (defaultPartitions()): a newer MILO for block 0, a newer program
// for blocks 1..3 and two data releases of one block each, every component's
// data starting with the descriptor the chronometer reads.
#include <cstdint>
#include <vector>

namespace zor::sim {

std::vector<uint8_t> sampleUpdateFile();

}  // namespace zor::sim
