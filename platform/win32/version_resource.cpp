// The program's own version block on Windows: its version resource
// (zorload.rc), built into every program that links zor_version_data.
#include <windows.h>
#include <winver.h>

#include <vector>

#include "platform/file.h"
#include "platform/version_block.h"
#include "platform/win32/text.h"

namespace zor {

// Read from the program's file on every call, as the version texts want;
// the block stays valid until the next call.
const VersionBlock* programVersionBlock() {
    static std::vector<uint8_t> buffer;
    static VersionValue whole;
    static VersionBlock block;
    const std::wstring wide = win32::toUtf16(programPath());
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0)
        return nullptr;
    // One byte more than asked for, zeroed: a string value at the very end
    // of the block still finds a NUL.
    buffer.assign(size + 1, 0);
    if (!::GetFileVersionInfoW(wide.c_str(), 0, size, buffer.data()))
        return nullptr;
    whole = VersionValue{nullptr, buffer.data(), size};
    block = VersionBlock{&whole, 1};
    return &block;
}

}  // namespace zor
