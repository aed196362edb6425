#pragma once
// Whether a standard stream goes to a terminal (progress bars redraw in place
// only there).

namespace zor {

bool stderrIsTerminal();

}  // namespace zor
