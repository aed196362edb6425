#include "sim/sim_flash.h"

#include <algorithm>

namespace zor::sim {

std::vector<SimPartition> defaultPartitions() {
    return {
        {8, 0, 1, "Boot VERS 1.00 BUILD 12"},
        {0, 1, 3, "Programma base VERS 2.10 BUILD 35"},
        {1, 4, 1, "Lingua italiano VERS 1.2 BUILD 4"},
        {SimFlash::TYPE_FREE, 5, 1, ""},
        {1, 6, 1, "Tabelle gare VERS 1.0 BUILD 2"},
        {SimFlash::TYPE_FREE, 7, 1, ""},
    };
}

SimFlash::SimFlash(const std::vector<SimPartition>& wanted) : blocks_(BLOCKS) {
    std::vector<SimPartition> sorted = wanted;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const SimPartition& a, const SimPartition& b) { return a.firstBlock < b.firstBlock; });
    uint8_t nextFree = 0;
    for (const SimPartition& p : sorted) {
        if (p.type == TYPE_FREE || p.blockCount == 0 || p.firstBlock < nextFree ||
            p.firstBlock + p.blockCount > BLOCKS) {
            continue;
        }
        table_.push_back(p);
        nextFree = static_cast<uint8_t>(p.firstBlock + p.blockCount);
        for (uint8_t b = p.firstBlock; b < nextFree; ++b) {
            blocks_[b].erased = false;
        }
        ComponentDescriptor d{p.type, p.blockCount, p.name};
        blocks_[p.firstBlock].bytes = encodeDescriptor(d);
    }
}

std::vector<SimPartition> SimFlash::partitions() const {
    std::vector<SimPartition> out;
    uint8_t block = 0;
    for (const SimPartition& p : table_) {
        if (p.firstBlock > block) {
            out.push_back({TYPE_FREE, block, static_cast<uint8_t>(p.firstBlock - block), ""});
        }
        out.push_back(p);
        block = static_cast<uint8_t>(p.firstBlock + p.blockCount);
    }
    if (block < BLOCKS) {
        out.push_back({TYPE_FREE, block, static_cast<uint8_t>(BLOCKS - block), ""});
    }
    return out;
}

std::vector<std::string> SimFlash::listingLines(bool listFree) const {
    std::vector<std::string> lines{"006 Tabella partizioni flash"};
    int n = 0;
    for (const SimPartition& p : listFree ? partitions() : table_) {
        ++n;
        lines.push_back("006 Flash image " + std::to_string(n) + ": block " +
                        std::to_string(p.firstBlock));
        lines.push_back("006 ID: " + std::to_string((p.type << 4) & 0xFF));
        lines.push_back("006 Nome (" + (p.type == TYPE_FREE ? std::string("Libero") : p.name) +
                        ")");
        lines.push_back("006 Lunghezza (" + std::to_string(p.blockCount) + " blocchi)");
        lines.push_back("006 Stato: valida");
    }
    lines.push_back("005 Fine tabella");
    return lines;
}

ComponentDescriptor SimFlash::describe(const std::vector<uint8_t>& data) {
    ComponentDescriptor d;
    if (parseDescriptor(data.data(), data.size(), d)) {
        d.type &= 0x0F;
    } else {
        d.type = TYPE_PGM;
        d.blockCount = static_cast<uint8_t>(
            std::min<size_t>(BLOCKS, (data.size() + FLASH_BLOCK_BYTES - 1) / FLASH_BLOCK_BYTES));
        d.name = "Senza descrittore";
    }
    return d;
}

SimFlash::Fit SimFlash::fit(uint8_t block, const ComponentDescriptor& d, size_t size) {
    if (block >= BLOCKS || d.blockCount == 0 || block + d.blockCount > BLOCKS ||
        d.type == TYPE_FREE) {
        return Fit::BadBlock;
    }
    if (size > d.blockCount * FLASH_BLOCK_BYTES) {
        return Fit::TooLong;
    }
    return Fit::Fits;
}

void SimFlash::write(uint8_t block, const ComponentDescriptor& d,
                     const std::vector<uint8_t>& data) {
    removeOverlapping(block, d.blockCount);
    SimPartition p{d.type, block, d.blockCount, d.name};
    table_.insert(std::upper_bound(table_.begin(), table_.end(), p,
                                   [](const SimPartition& a, const SimPartition& b) {
                                       return a.firstBlock < b.firstBlock;
                                   }),
                  p);
    for (uint8_t k = 0; k < d.blockCount; ++k) {
        Block& f = blocks_[block + k];
        f.erased = false;
        size_t from = std::min(data.size(), k * FLASH_BLOCK_BYTES);
        size_t to = std::min(data.size(), (k + 1) * FLASH_BLOCK_BYTES);
        f.bytes.assign(data.begin() + from, data.begin() + to);
    }
}

void SimFlash::erase(uint8_t block) {
    blocks_[block] = Block{};
    removeOverlapping(block, 1);
}

void SimFlash::removeOverlapping(uint8_t first, uint8_t count) {
    table_.erase(std::remove_if(table_.begin(), table_.end(),
                                [first, count](const SimPartition& p) {
                                    return p.firstBlock < first + count &&
                                           first < p.firstBlock + p.blockCount;
                                }),
                 table_.end());
}

}  // namespace zor::sim
