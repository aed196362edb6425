#include "platform/port_diagnosis.h"

#include <windows.h>

#include "platform/win32/port_claim.h"

namespace zor {

// Windows answers a port held by another program with "access denied" and
// names neither the holder nor a group; a Zorload program holding it says so
// in its claim.
PortDiagnosis diagnosePort(const std::string& device, int) {
    PortDiagnosis d;
    DWORD pid = 0;
    if (win32::portClaimed(device, pid, d.holderName))
        d.holderPid = static_cast<long>(pid);
    return d;
}

std::string currentUserName() {
    char name[257];
    DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size) || size == 0)
        return std::string();
    return std::string(name, size - 1);
}

std::string hostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return std::string();
    return std::string(name, size);
}

unsigned long currentProcessId() {
    return ::GetCurrentProcessId();
}

}  // namespace zor
