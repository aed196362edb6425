#pragma once
#include <string>

namespace zor {

// Splits a component text (an update-file Version field or a partition name)
// into its name, "VERS" and "BUILD" parts. The keywords are found in any case;
// the search stops at the first NUL. On return text holds the name part.
//
// Without a BUILD part the version still ends one character before the end
// of the text: a padded 76-character text loses only padding, an unpadded
// "X VERS 1.0" yields "1.". The planner's matching of data releases (a padded
// file text against a trimmed partition name) depends on exactly this cut, so
// it must not be "fixed".
void splitVersion(std::string& text, std::string& version, std::string& build);

// Leading and trailing characters of code 32 or below removed.
std::string trimControls(const std::string& s);

}  // namespace zor
