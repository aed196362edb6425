#pragma once
// Update files, the chronometer and the session log speak Windows-1252; people
// read UTF-8. Convert only where a person reads the text.
#include <string>

namespace zor {

std::string cp1252ToUtf8(const std::string& text);

// A text from outside (the chronometer, an update file) as the session log
// may hold it: every control code (CR, LF and tab included) and every byte
// Windows-1252 leaves unassigned becomes '?'. It can then neither start a
// line of its own in the log nor carry an escape sequence to the terminal of
// whoever reads the log; the log's own line ends and tabs are added around it.
std::string logSafeText(const std::string& cp1252);

}  // namespace zor
