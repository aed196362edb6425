#include "platform/port_diagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/posix/uucp_lock.h"

namespace zor {

namespace {

std::string groupName(gid_t gid) {
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::string();
    return found->gr_name;
}

// /proc/PID/comm: the program name as the kernel keeps it (15 characters).
std::string programName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

PortDiagnosis diagnosePort(const std::string& device, int osError) {
    PortDiagnosis d;
    d.accessDenied = osError == EACCES || osError == EPERM;
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        d.deviceGroup = groupName(st.st_gid);
        d.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    }
    d.lockFile = posix::uucpLockPath(device);
    if (!d.lockFile.empty()) {
        d.holderPid = posix::uucpLockHolder(d.lockFile);
        if (d.holderPid != 0)
            d.holderName = programName(d.holderPid);
    }
    return d;
}

std::string currentUserName() {
    if (const char* user = std::getenv("USER")) {
        if (*user)
            return user;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::string();
    return found->pw_name;
}

}  // namespace zor
