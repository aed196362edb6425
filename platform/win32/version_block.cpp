// Version blocks on Windows: a table made by a test, or the program's own
// version resource as the system returns it (see version_resource.cpp), read
// through VerQueryValueA.
#include "platform/version_block.h"

#include <windows.h>
#include <winver.h>

namespace zor {

namespace {

// A block whose only value has no path holds a whole version resource.
bool isResource(const VersionBlock& block) {
    return block.count == 1 && block.values[0].path == nullptr;
}

}  // namespace

bool queryVersionValue(const VersionBlock& block, const std::string& path, const uint8_t*& data,
                       size_t& size) {
    if (isResource(block)) {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(block.values[0].data, path.c_str(), &value, &length))
            return false;
        data = static_cast<const uint8_t*>(value);
        size = length;
        return true;
    }
    for (size_t i = 0; i < block.count; ++i) {
        if (block.values[i].path != nullptr && path == block.values[i].path) {
            data = block.values[i].data;
            size = block.values[i].size;
            return true;
        }
    }
    return false;
}

}  // namespace zor
