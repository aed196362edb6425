#pragma once
// Update files, the chronometer and the session log speak Windows-1252; people
// read UTF-8. Convert only where a person reads the text.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zor {

std::string cp1252ToUtf8(const std::string& text);

// A text from outside (the chronometer, an update file) as the session log
// may hold it: every control code (CR, LF and tab included) and every byte
// Windows-1252 leaves unassigned becomes '?'. It can then neither start a
// line of its own in the log nor carry an escape sequence to the terminal of
// whoever reads the log; the log's own line ends and tabs are added around it.
std::string logSafeText(const std::string& cp1252);
// A line of the program's own (UTF-8) as the session log holds it: the
// Latin-1 letters as they are, any other character and every control code
// as '?'.
std::string utf8LogText(const std::string& utf8);

// Names the system hands over are bytes, not text: a POSIX file or device
// name may hold any byte but '/' and NUL, so an adapter's by-id name need not
// be UTF-8 at all. Decodes the well-formed UTF-8 sequence that starts at
// text[at]: returns its length (1 to 4) and sets codePoint; returns 0 when no
// well-formed sequence starts there (a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate, beyond U+10FFFF, at >= size).
size_t decodeUtf8(const std::string& text, size_t at, uint32_t& codePoint);

// UTF-8 text in the columns of a terminal, one column a character: the
// characters of utf8, counted as the bytes that start one (every byte but a
// continuation byte 10xxxxxx).
size_t utf8Chars(const std::string& utf8);

// Where the character that follows the first chars characters of utf8
// starts; utf8.size() when it has no more.
size_t utf8CharStart(const std::string& utf8, size_t chars);

}  // namespace zor
