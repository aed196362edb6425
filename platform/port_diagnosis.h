#pragma once
// What the OS can tell about why a serial device would not open, for the
// hints a person gets with the error.
#include <string>

namespace zor {

struct PortDiagnosis {
    // The OS refused this user access to the device (POSIX EACCES/EPERM).
    bool accessDenied = false;
    // The group whose members may open the device ("dialout" on Debian),
    // empty when unknown.
    std::string deviceGroup;
    // Members of that group may read and write the device.
    bool groupMayUse = false;
    // The process holding the port, 0 when the OS does not tell: on POSIX
    // the one its lock file names, else the one holding a flock on it; on
    // Windows the Zorload program that has it open. Its program name as a
    // person would give it ("zorload-cli station"), when the OS tells it.
    long holderPid = 0;
    std::string holderName;
    std::string lockFile;  // the lock file that named the holder, empty when none did
};

// device is the path (or Windows name) the port resolves to; osError the
// error its open gave.
PortDiagnosis diagnosePort(const std::string& device, int osError);

// A program as a person would name it, from its command line: its file name
// (no folder, no ".exe") and, when the first argument is a word such as a
// command, that word too ("zorload-cli station").
std::string commandName(std::string program, const std::string& firstArgument);

// The login name of the user running the program, empty when unknown.
std::string currentUserName();

// This computer's name on the network (the bench's), empty when unknown.
std::string hostName();

// The running program's process id.
unsigned long currentProcessId();

}  // namespace zor
