#include "platform/terminal.h"

#include <windows.h>

namespace zor {

// Only a console redraws a line on '\r'; a pipe or a file has no console mode.
bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace zor
