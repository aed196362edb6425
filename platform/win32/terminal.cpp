#include "platform/terminal.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace zor {

// Only a console redraws a line on '\r'; a pipe or a file has no console mode.
bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool stdoutIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int stderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int stderrRows() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
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

namespace {

// The console runs the handler on a thread of its own.
std::atomic<int> mode{static_cast<int>(InterruptMode::Exit)};
std::atomic<int> pending{0};
char refusalText[512];
DWORD refusalLength = 0;

void writeStderr(const char* text, DWORD size) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, size, &written, nullptr);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    // Ctrl-C and Ctrl-Break as SIGINT, closing the window or the session as a
    // hang-up.
    const bool keyboard = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    const int status = keyboard ? 130 : 129;
    switch (static_cast<InterruptMode>(mode.load())) {
        case InterruptMode::Finish: {
            writeStderr("\r\n", 2);
            writeStderr(refusalText, refusalLength);
            writeStderr("\r\n", 2);
            int none = 0;
            pending.compare_exchange_strong(none, status);
            for (int i = 0; !keyboard && i < 40; ++i)
                ::Sleep(100);
            return TRUE;
        }
        case InterruptMode::Refuse:
            writeStderr("\r\n", 2);
            writeStderr(refusalText, refusalLength);
            writeStderr("\r\n", 2);
            // The system ends the process when this returns from a close
            // event: hold it while the refusal lasts (the system allows a few
            // seconds).
            while (!keyboard && static_cast<InterruptMode>(mode.load()) == InterruptMode::Refuse)
                ::Sleep(100);
            return TRUE;
        case InterruptMode::Defer:
        case InterruptMode::Stop: {
            int none = 0;
            pending.compare_exchange_strong(none, status);
            // After a close event the process ends when this returns: give
            // the program time to let go of the port first.
            for (int i = 0; !keyboard && i < 40; ++i)
                ::Sleep(100);
            return TRUE;
        }
        case InterruptMode::Exit:
            break;
    }
    ::ExitProcess(static_cast<UINT>(status));
    return TRUE;
}

}  // namespace

void watchInterrupts(const char* refusal) {
    refusalLength = static_cast<DWORD>(std::min(std::strlen(refusal), sizeof refusalText));
    std::memcpy(refusalText, refusal, refusalLength);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void setInterruptMode(InterruptMode newMode) {
    mode = static_cast<int>(newMode);
}

InterruptMode interruptMode() {
    return static_cast<InterruptMode>(mode.load());
}

int pendingInterrupt() {
    return pending.load();
}

}  // namespace zor
