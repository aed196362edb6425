#pragma once
// Update files, the chronometer and the session log speak Windows-1252; people
// read UTF-8. Convert only where a person reads the text.
#include <string>

namespace zor {

std::string cp1252ToUtf8(const std::string& text);

}  // namespace zor
