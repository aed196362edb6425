#pragma once
// The chronometer's flash: 8 blocks of 64 KiB and the partition table that
// divides them. A component written from a block becomes a partition, taking
// the place of every partition it overlaps; an erased block takes its
// partition with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/component_image.h"

namespace zor::sim {

struct SimPartition {
    uint8_t type;
    uint8_t firstBlock;
    uint8_t blockCount;
    std::string name;
};

// MILO 0+1, PGM 1+3, DATAREL 4+1, FREE 5+1, DATAREL 6+1, FREE 7+1.
std::vector<SimPartition> defaultPartitions();

class SimFlash {
  public:
    static constexpr uint8_t BLOCKS = 8;
    static constexpr uint8_t TYPE_PGM = 0;
    static constexpr uint8_t TYPE_FREE = 9;

    // The blocks hold these partitions (FREE entries are ignored); a table the
    // flash could not hold is trimmed rather than trusted.
    explicit SimFlash(const std::vector<SimPartition>& wanted);

    // The table tiling blocks 0..7, free runs as FREE entries.
    std::vector<SimPartition> partitions() const;
    // The listing as 'B' sends it, free runs included when listFree.
    std::vector<std::string> listingLines(bool listFree) const;
    // What was last written to a block (its share of a component); empty after an erase.
    const std::vector<uint8_t>& bytes(uint8_t block) const { return blocks_.at(block).bytes; }
    bool erased(uint8_t block) const { return blocks_.at(block).erased; }

    // The descriptor at the start of received data, or, without one, a PGM
    // partition "Senza descrittore" over the blocks the data fills.
    static ComponentDescriptor describe(const std::vector<uint8_t>& data);
    enum class Fit { Fits, BadBlock, TooLong };
    // Whether size bytes of a component so described can go from block on.
    static Fit fit(uint8_t block, const ComponentDescriptor& d, size_t size);
    // Writes a component that fits from block on.
    void write(uint8_t block, const ComponentDescriptor& d, const std::vector<uint8_t>& data);
    void erase(uint8_t block);

  private:
    struct Block {
        bool erased = true;
        std::vector<uint8_t> bytes;
    };

    void removeOverlapping(uint8_t first, uint8_t count);

    std::vector<SimPartition> table_;  // no FREE entries, ascending firstBlock
    std::vector<Block> blocks_;
};

}  // namespace zor::sim
