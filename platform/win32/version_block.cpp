// Version blocks on Windows: a table made by a test, a whole version resource
// in memory, or the running program's own resource, read from its file at
// each use (see version_resource.cpp); resources are read through
// VerQueryValueA.
#include "platform/version_block.h"

#include <windows.h>
#include <winver.h>

#include <vector>

#include "platform/file.h"
#include "platform/win32/text.h"

namespace zor {

namespace {

// A block whose only value has no path holds a whole version resource, or,
// without data, stands for the program's own file.
bool isResource(const VersionBlock& block) {
    return block.count == 1 && block.values[0].path == nullptr;
}

// The running program's version information as the system returns it for
// its file, with one zeroed byte more than asked for: a string value at the
// very end of the block still finds a NUL.
bool readOwnResource(std::vector<uint8_t>& buffer) {
    buffer.clear();
    const std::wstring wide = win32::toUtf16(programPath());
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0)
        return false;
    buffer.assign(size + 1, 0);
    if (!::GetFileVersionInfoW(wide.c_str(), 0, size, buffer.data())) {
        buffer.clear();
        return false;
    }
    return true;
}

bool queryResource(const void* resource, const std::string& path, const uint8_t*& data,
                   size_t& size) {
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(resource, path.c_str(), &value, &length))
        return false;
    data = static_cast<const uint8_t*>(value);
    size = length;
    return true;
}

}  // namespace

bool queryVersionValue(const VersionBlock& block, const std::string& path, const uint8_t*& data,
                       size_t& size) {
    if (isResource(block) && block.values[0].data == nullptr) {
        // A version text looks up the translation first and then its string:
        // the translation reads the file anew, the string uses that read. So
        // each text reads the file once, and nothing outlives the next text
        // (the value found stays valid until then).
        thread_local std::vector<uint8_t> buffer;
        if ((path == "\\VarFileInfo\\Translation" || buffer.empty()) && !readOwnResource(buffer))
            return false;
        return queryResource(buffer.data(), path, data, size);
    }
    if (isResource(block))
        return queryResource(block.values[0].data, path, data, size);
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
