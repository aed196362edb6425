#include "sim/component_image.h"

#include <cstring>

#include "updatefile/segment.h"

namespace zor::sim {

namespace {
const char MAGIC[4] = {'Z', 'C', 'M', 'P'};
}

std::vector<uint8_t> encodeDescriptor(const ComponentDescriptor& d) {
    std::vector<uint8_t> out(DESCRIPTOR_SIZE, 0);
    std::memcpy(out.data(), MAGIC, sizeof MAGIC);
    out[4] = d.type;
    out[5] = d.blockCount;
    for (size_t i = 0; i < DESCRIPTOR_NAME_SIZE; ++i) {
        out[8 + i] = i < d.name.size() ? static_cast<uint8_t>(d.name[i]) : ' ';
    }
    return out;
}

bool parseDescriptor(const uint8_t* data, size_t size, ComponentDescriptor& d) {
    if (size < DESCRIPTOR_SIZE || std::memcmp(data, MAGIC, sizeof MAGIC) != 0) {
        return false;
    }
    d.type = data[4];
    d.blockCount = data[5];
    std::string name(reinterpret_cast<const char*>(data + 8), DESCRIPTOR_NAME_SIZE);
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') {
        name.pop_back();
    }
    d.name = name;
    return true;
}

std::vector<uint8_t> componentBlocks(const ComponentDescriptor& d, size_t dataBlocks,
                                     uint32_t seed) {
    if (dataBlocks == 0) {
        dataBlocks = 1;
    }
    std::vector<uint8_t> out(dataBlocks * BLOCK_SIZE);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    std::vector<uint8_t> desc = encodeDescriptor(d);
    std::memcpy(out.data() + 1, desc.data(), desc.size());
    return out;
}

}  // namespace zor::sim
