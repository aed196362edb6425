#include "platform/terminal.h"

#include <windows.h>

#include <cstdlib>

namespace zor {

// Only a console redraws a line on '\r'; a pipe or a file has no console mode.
bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

namespace {
UINT consoleCodePage = 0;
void restoreConsoleCodePage() {
    ::SetConsoleOutputCP(consoleCodePage);
}
}  // namespace

void useUtf8Console() {
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);
}

}  // namespace zor
