#include "platform/port_diagnosis.h"

#include <windows.h>

namespace zor {

// Windows answers a port held by another program with "access denied" and
// names neither the holder nor a group: there is nothing more to find out.
PortDiagnosis diagnosePort(const std::string&, int) {
    return PortDiagnosis{};
}

std::string currentUserName() {
    char name[257];
    DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size) || size == 0)
        return std::string();
    return std::string(name, size - 1);
}

}  // namespace zor
