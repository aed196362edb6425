#pragma once
// The program's version texts, read from a version block the same way the
// Windows version resource is read: first translation, then the string table
// named after it. Nothing is cached; every call queries the block again.
#include <string>

#include "platform/version_block.h"

namespace zor {

// The string stored under key in the block's first translation, up to its
// terminating NUL (or the end of the value). defaultValue when block is null,
// when the block has no translation of at least 4 bytes, or when the string
// table of that translation has no such key.
std::string getVersionString(const VersionBlock* block, const std::string& key,
                             const std::string& defaultValue);

// Same, on the block built into this program. Defined in zor_version_data,
// so only programs that link that library may call it; zor_app itself never
// does, which lets tests query blocks of their own making.
std::string getVersionString(const std::string& key, const std::string& defaultValue);

// The caption of the main window and of the shell's message boxes:
// FileDescription, "-" when missing.
std::string applicationTitle(const VersionBlock* block);
// Same, of the block built into this program (zor_version_data, as above).
std::string applicationTitle();

// The placeholder for a string the block lacks.
extern const char* const VERSION_NOT_SET;

}  // namespace zor
