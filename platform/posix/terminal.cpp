#include "platform/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace zor {

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

int stderrColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

int stderrRows() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_row;
}

void useUtf8Console() {}

namespace {

// Everything the handler touches: plain flags and a fixed buffer, since only
// async-signal-safe calls may run there.
volatile sig_atomic_t mode = static_cast<sig_atomic_t>(InterruptMode::Exit);
volatile sig_atomic_t pending = 0;
char refusalText[512];
size_t refusalLength = 0;

void writeAll(const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, size);
        if (n <= 0)
            return;  // a hung-up terminal takes nothing more; never loop on it
        text += n;
        size -= static_cast<size_t>(n);
    }
}

void onInterrupt(int signal) {
    const int saved = errno;
    const int status = 128 + signal;
    switch (static_cast<InterruptMode>(mode)) {
        case InterruptMode::Refuse:
        case InterruptMode::Finish:
            // A line of its own, after whatever progress line is showing.
            writeAll("\n", 1);
            writeAll(refusalText, refusalLength);
            writeAll("\n", 1);
            if (mode == static_cast<sig_atomic_t>(InterruptMode::Finish) && pending == 0)
                pending = status;
            break;
        case InterruptMode::Defer:
        case InterruptMode::Stop:
            if (pending == 0)
                pending = status;
            break;
        case InterruptMode::Exit:
            ::_exit(status);
    }
    errno = saved;
}

// The pipe's ends once watchInterruptsByPipe() made it; -1 before.
// Lock-free atomics, since the handler may run on any thread.
std::atomic<int> pipeRead{-1};
std::atomic<int> pipeWrite{-1};

void onInterruptToPipe(int signal) {
    const int saved = errno;
    const auto status = static_cast<unsigned char>(128 + signal);
    // A full pipe (a loop that stopped reading) drops the request.
    [[maybe_unused]] const ssize_t n = ::write(pipeWrite.load(), &status, 1);
    errno = saved;
}

}  // namespace

void watchInterrupts(const char* refusal) {
    refusalLength = std::min(std::strlen(refusal), sizeof refusalText);
    std::memcpy(refusalText, refusal, refusalLength);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the waits retry EINTR themselves, with their deadlines.
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void setInterruptMode(InterruptMode newMode) {
    mode = static_cast<sig_atomic_t>(newMode);
}

InterruptMode interruptMode() {
    return static_cast<InterruptMode>(mode);
}

int pendingInterrupt() {
    return pending;
}

int watchInterruptsByPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    pipeRead = ends[0];
    pipeWrite = ends[1];
    struct sigaction action {};
    action.sa_handler = onInterruptToPipe;
    sigemptyset(&action.sa_mask);
    // The loop hears the request through the pipe; the thread it landed on
    // (the toolkit's, a transfer's) goes on as if nothing had happened.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // Ignored by whoever started us (nohup, a shell's background job):
        // left so.
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
    return ends[0];
}

int nextInterrupt() {
    unsigned char status = 0;
    const int fd = pipeRead.load();
    ssize_t n;
    do {
        n = fd >= 0 ? ::read(fd, &status, 1) : -1;
    } while (n < 0 && errno == EINTR);
    return n == 1 ? status : 0;
}

}  // namespace zor
