#include "app/version_info.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zor {

const char* const VERSION_NOT_SET = "<not set>";

std::string getVersionString(const VersionBlock* block, const std::string& key,
                             const std::string& defaultValue) {
    if (block == nullptr)
        return defaultValue;

    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!queryVersionValue(*block, "\\VarFileInfo\\Translation", data, size) || data == nullptr ||
        size < 4) {
        return defaultValue;
    }
    // The translation is a 16-bit language then a 16-bit code page, both
    // little-endian as the resource compiler stores them.
    const unsigned language = data[0] | (data[1] << 8);
    const unsigned codePage = data[2] | (data[3] << 8);
    char table[9];
    std::snprintf(table, sizeof table, "%08X", (language << 16) | codePage);

    if (!queryVersionValue(*block, std::string("\\StringFileInfo\\") + table + "\\" + key, data,
                           size)) {
        return defaultValue;
    }
    if (data == nullptr)
        return std::string();
    // A value without its NUL must not be read past its end.
    const void* nul = std::memchr(data, 0, size);
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string applicationTitle(const VersionBlock* block) {
    return getVersionString(block, "FileDescription", "-");
}

}  // namespace zor
