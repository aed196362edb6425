#pragma once
// How the simulated chronometer learns what it has been sent.
//
// The host sends only the data blocks of a component ('E', bytes 1..259 of
// each 260-byte block), never the update file's header, and 'C' names only the
// first flash block. The partition's type, length and name must therefore come
// from the data itself: like a real firmware image, a component begins with a
// descriptor, here at the very start of what the chronometer receives (bytes
// 1.. of the first data block in the update file; byte 0 of every block is
// never sent):
//
//   offset 0   4 bytes  "ZCMP"
//   offset 4   1 byte   partition type (PGM 0, DATAREL 1, MILO 8, ...), 0..15
//   offset 5   1 byte   length in flash blocks, 1..8
//   offset 6   2 bytes  0
//   offset 8  76 bytes  component text (Windows-1252, blank or NUL padded),
//                       the name the chronometer lists for the partition
//
// Data without a descriptor is still stored; the chronometer then lists it as
// a PGM partition named "Senza descrittore" covering the blocks the data
// fills.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::sim {

constexpr size_t DESCRIPTOR_SIZE = 84;
constexpr size_t DESCRIPTOR_NAME_SIZE = 76;
constexpr size_t SENT_BYTES_PER_BLOCK = 259;  // of each data block of BLOCK_SIZE bytes
constexpr size_t FLASH_BLOCK_BYTES = 65536;   // one of the chronometer's 8 blocks

struct ComponentDescriptor {
    uint8_t type = 0;
    uint8_t blockCount = 1;
    std::string name;  // cut to DESCRIPTOR_NAME_SIZE characters
};

// The DESCRIPTOR_SIZE descriptor bytes.
std::vector<uint8_t> encodeDescriptor(const ComponentDescriptor& d);

// Reads a descriptor from the start of received data; false when the data
// does not begin with one. The name comes back without trailing blanks/NULs.
bool parseDescriptor(const uint8_t* data, size_t size, ComponentDescriptor& d);

// dataBlocks (at least 1) blocks of BLOCK_SIZE bytes as they belong in an update
// file: the descriptor from byte 1 of block 0, a reproducible pattern that
// differs with seed elsewhere.
std::vector<uint8_t> componentBlocks(const ComponentDescriptor& d, size_t dataBlocks,
                                     uint32_t seed);

}  // namespace zor::sim
