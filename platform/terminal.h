#pragma once
// Whether a standard stream goes to a terminal (progress bars redraw in place
// only there).

namespace zor {

bool stderrIsTerminal();

// Every text the programs print is UTF-8. Tells the console so for as long
// as the program runs, and gives it back its own setting at exit (a Windows
// console would otherwise show "è" as two characters of its OEM code page).
// Terminals here take UTF-8 as it is: nothing to do.
void useUtf8Console();

}  // namespace zor
