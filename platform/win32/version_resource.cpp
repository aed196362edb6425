// The program's own version block on Windows: its version resource
// (zorload.rc), built into every program that links zor_version_data.
#include "platform/version_block.h"

namespace zor {

// Not a copy: a block that stands for the running program's file, which
// queryVersionValue reads anew whenever the version texts are asked for, as
// they want.
const VersionBlock* programVersionBlock() {
    static const VersionValue ownFile{nullptr, nullptr, 0};
    static const VersionBlock block{&ownFile, 1};
    return &block;
}

}  // namespace zor
