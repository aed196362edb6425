#include "platform/version_block.h"

namespace zor {

bool queryVersionValue(const VersionBlock& block, const std::string& path, const uint8_t*& data,
                       size_t& size) {
    for (size_t i = 0; i < block.count; ++i) {
        if (path == block.values[i].path) {
            data = block.values[i].data;
            size = block.values[i].size;
            return true;
        }
    }
    return false;
}

}  // namespace zor
