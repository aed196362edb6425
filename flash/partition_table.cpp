#include "flash/partition_table.h"

#include "app/split_version.h"

namespace zor {

const char typeNames[] =
    "PGM    DATAREL0x02   0x03   0x04   0x05   0x06   0x07   "
    "MILO   FREE   0x0a   0x0b   0x0c   0x0d   0x0e   0x0f   ";
static_assert(sizeof(typeNames) == 16 * 7 + 1, "seven characters per type code");

namespace {

PartitionEntry freeEntry(uint8_t firstBlock, uint8_t blockCount, uint8_t changed) {
    PartitionEntry e;
    e.type = PT_FREE;
    e.firstBlock = firstBlock;
    e.blockCount = blockCount;
    e.changed = changed;
    return e;
}

}  // namespace

void resetTable(PartitionTable& table) {
    table.entries[0] = freeEntry(0, FLASH_BLOCKS, 0);
    table.count = 1;
}

void insertUndefined(PartitionTable& table, uint8_t index) {
    // A tiled table never needs a ninth slot; refuse rather than write past
    // the array if a malformed table gets here.
    if (table.count >= FLASH_BLOCKS || index >= table.count)
        return;
    for (int k = table.count; k > index; --k)
        table.entries[k] = table.entries[k - 1];
    PartitionEntry& e = table.entries[index];
    e.type = PT_UNDEFINED;
    e.firstBlock = table.entries[index + 1].firstBlock;
    e.blockCount = 0;
    e.changed = 0;
    e.component = nullptr;
    e.name = "Undefined";
    ++table.count;
}

bool placeAt(PartitionTable& table, const PartitionEntry& request) {
    if (request.type == PT_FREE || request.blockCount == 0)
        return false;

    // The free run that would hold the requested block is the last FREE entry
    // starting at or below it; a non-free entry in between means the block is
    // taken, which the length check below catches.
    int i = table.count - 1;
    while (i >= 0 && !(table.entries[i].type == PT_FREE &&
                       table.entries[i].firstBlock <= request.firstBlock)) {
        --i;
    }
    if (i < 0)
        return false;

    const int offset = int(request.firstBlock) - int(table.entries[i].firstBlock);
    if (int(table.entries[i].blockCount) - offset < int(request.blockCount))
        return false;
    const int splits =
        (offset > 0 ? 1 : 0) +
        (int(request.blockCount) < int(table.entries[i].blockCount) - offset ? 1 : 0);
    if (table.count + splits > FLASH_BLOCKS)
        return false;  // only a malformed table gets here

    if (offset > 0) {
        const PartitionEntry run = table.entries[i];
        insertUndefined(table, static_cast<uint8_t>(i));
        table.entries[i] = freeEntry(run.firstBlock, static_cast<uint8_t>(offset), run.changed);
        PartitionEntry& rest = table.entries[i + 1];
        rest.firstBlock = static_cast<uint8_t>(rest.firstBlock + offset);
        rest.blockCount = static_cast<uint8_t>(rest.blockCount - offset);
        ++i;
    }
    if (request.blockCount < table.entries[i].blockCount) {
        insertUndefined(table, static_cast<uint8_t>(i));
        PartitionEntry& rest = table.entries[i + 1];
        rest.firstBlock = static_cast<uint8_t>(rest.firstBlock + request.blockCount);
        rest.blockCount = static_cast<uint8_t>(rest.blockCount - request.blockCount);
    }
    table.entries[i] = request;
    return true;
}

bool addPartition(PartitionTable& table, uint8_t type, uint8_t firstBlock, const std::string& name,
                  const Segmento* component, uint8_t changed, uint8_t blockCount) {
    PartitionEntry request;
    request.type = type;
    request.firstBlock = firstBlock;
    request.blockCount = blockCount;
    request.changed = changed;
    request.component = component;
    request.name = trimControls(name);

    if (firstBlock != ANY_BLOCK)
        return placeAt(table, request);
    for (uint8_t b = 0; b < FLASH_BLOCKS; ++b) {
        request.firstBlock = b;
        if (placeAt(table, request))
            return true;
    }
    return false;
}

bool releaseEntry(PartitionTable& table, uint8_t index) {
    if (index >= table.count)
        return false;
    PartitionEntry& e = table.entries[index];
    e.type = PT_FREE;
    e.changed = 0;
    e.component = nullptr;
    e.name.clear();

    int i = 0;
    while (i < table.count - 1) {
        if (table.entries[i].type == PT_FREE && table.entries[i + 1].type == PT_FREE) {
            table.entries[i].blockCount =
                static_cast<uint8_t>(table.entries[i].blockCount + table.entries[i + 1].blockCount);
            for (int k = i + 1; k < table.count - 1; ++k)
                table.entries[k] = table.entries[k + 1];
            --table.count;
            i = 0;
        } else {
            ++i;
        }
    }
    return true;
}

bool hasChanges(const PartitionTable& table) {
    for (int i = 0; i < table.count && i < FLASH_BLOCKS; ++i) {
        if (table.entries[i].changed != 0)
            return true;
    }
    return false;
}

}  // namespace zor
