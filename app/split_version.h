#pragma once
#include <string>

namespace zor {

// Splits a component text (an update-file Version field or a partition name)
// into its name, "VERS" and "BUILD" parts. The keywords are found in any case;
// the search stops at the first NUL. On return text holds the name part.
//
// The chronometer's own firmware cuts the version one character before the
// end of the text when no BUILD part follows; padded 76-character texts lose
// only padding, an unpadded "X VERS 1.0" yields "1.". Partition matching
// relies on this exact behaviour, so it is kept.
void splitVersion(std::string& text, std::string& version, std::string& build);

// Leading and trailing characters of code 32 or below removed.
std::string trimControls(const std::string& s);

}  // namespace zor
