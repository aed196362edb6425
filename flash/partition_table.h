#pragma once
// The chronometer's flash: 8 blocks, each belonging to exactly one partition.
// A PartitionTable always tiles blocks 0..7 with entries of at least one
// block, in ascending order, and never holds two neighbouring FREE entries.
#include <array>
#include <cstdint>
#include <string>

#include "updatefile/segment.h"

namespace zor {

constexpr uint8_t FLASH_BLOCKS = 8;
constexpr uint8_t ANY_BLOCK = 0xFF;

constexpr uint8_t PT_PGM = 0;
constexpr uint8_t PT_DATAREL = 1;
constexpr uint8_t PT_MILO = 8;
constexpr uint8_t PT_FREE = 9;
constexpr uint8_t PT_UNDEFINED = 15;

// Seven characters per type code, blank padded.
extern const char typeNames[];

struct PartitionEntry {
    uint8_t type = PT_FREE;
    uint8_t firstBlock = 0;
    uint8_t blockCount = 0;
    uint8_t changed = 0;                  // the transfer writes (0, 1, 8) or erases (9) this entry
    const Segmento* component = nullptr;  // into the component table; none for device/free entries
    std::string name;
};

struct PartitionTable {
    std::array<PartitionEntry, FLASH_BLOCKS> entries;
    uint8_t count = 0;
};

// One FREE entry over all 8 blocks.
void resetTable(PartitionTable& table);

// Places a partition at firstBlock (or, with ANY_BLOCK, first fit from block
// 0). The name is stored trimmed of codes 0..32 at both ends. False, with the
// table unchanged, for FREE, zero blocks, or no room.
bool addPartition(PartitionTable& table, uint8_t type, uint8_t firstBlock, const std::string& name,
                  const Segmento* component, uint8_t changed, uint8_t blockCount);

// Places the request exactly at its firstBlock inside the FREE run holding it.
bool placeAt(PartitionTable& table, const PartitionEntry& request);

// Opens slot index for placeAt (internal, exposed for tests).
void insertUndefined(PartitionTable& table, uint8_t index);

// Turns the entry into free space and merges free neighbours. False when the
// index is at or beyond count.
bool releaseEntry(PartitionTable& table, uint8_t index);

bool hasChanges(const PartitionTable& table);

}  // namespace zor
