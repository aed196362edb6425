#pragma once
// The terminal the command-line programs run in: whether a stream is one, how
// wide it is, its character set, and the interrupt requests it sends.

namespace zor {

bool stderrIsTerminal();
bool stdoutIsTerminal();

// Columns of the terminal stderr shows on; 0 when it is none or cannot tell.
// Asked afresh on every call, so a resized window is followed.
int stderrColumns();
// Rows of that terminal, as for stderrColumns().
int stderrRows();

// Every text the programs print is UTF-8. Tells the console so for as long
// as the program runs, and gives it back its own setting at exit (a Windows
// console would otherwise show "è" as two characters of its OEM code page).
// Terminals here take UTF-8 as it is: nothing to do.
void useUtf8Console();

// Interrupt requests: Ctrl-C (SIGINT), SIGTERM and SIGHUP on POSIX; Ctrl-C,
// Ctrl-Break and closing the console window on Windows. What happens to one
// depends on the mode in force when it arrives:
//  - Exit: the process ends at once with the request's status (130 for
//    Ctrl-C, 143 for SIGTERM, 129 for a hang-up), stdout unflushed;
//  - Defer: the request is kept; the program asks pendingInterrupt() at its
//    next step and ends itself once it has let go of what it holds (a port);
//  - Refuse: the refusal text given to watchInterrupts() goes to stderr on a
//    line of its own and the request is dropped. On Windows closing the
//    console cannot be refused for long: the system ends the process after a
//    few seconds whatever the handler does.
//  - Finish: the refusal text, as for Refuse, and the request kept as for
//    Defer: the program finishes what it is doing, then ends.
//  - Stop: the request kept, as for Defer, and nothing written: the program
//    stops taking new work, says so itself, and ends once what runs is over.
enum class InterruptMode { Exit, Defer, Refuse, Finish, Stop };

// Installs the handlers, in Exit mode. refusal is copied; UTF-8.
void watchInterrupts(const char* refusal);
void setInterruptMode(InterruptMode mode);
InterruptMode interruptMode();
// Exit status of a request deferred and not yet acted on; 0 when none.
int pendingInterrupt();

#ifndef _WIN32
// For a program that waits in an event loop rather than asking between steps
// (the wizard's window): the same requests, SIGINT, SIGTERM and SIGHUP, are
// from now on only written, each as its exit status in one byte, to a pipe;
// the modes above no longer apply. Returns the pipe's read end
// (non-blocking, close-on-exec) for the loop to watch and to read with
// nextInterrupt(), so that the program decides on its own thread and ends in
// its own order. A signal ignored when this is called (nohup) stays ignored.
// -1 when no pipe can be made: the requests then keep the system's default,
// which ends the process. System calls a request interrupts are restarted:
// nothing waits for its EINTR. Call it once.
int watchInterruptsByPipe();
// Exit status of the oldest request waiting in that pipe; 0 when none.
int nextInterrupt();
#endif

}  // namespace zor
