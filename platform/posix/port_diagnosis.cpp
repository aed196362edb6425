#include "platform/port_diagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// The program a process runs as a person would name it: its file name and,
// when the first argument is a word such as a command ("zorload-cli
// station"), that word. The kernel's 15-character name when the command line
// cannot be read.
std::string programName(long pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream cmdline(proc + "/cmdline", std::ios::binary);
    std::string program, first;
    std::getline(cmdline, program, '\0');
    std::getline(cmdline, first, '\0');
    if (!program.empty())
        return commandName(program, first);
    std::ifstream comm(proc + "/comm");
    std::getline(comm, program);
    return program;
}

// The process holding a whole-file flock on the device, from /proc/locks
// ("1: FLOCK  ADVISORY  WRITE 4242 00:05:1234 0 EOF"); 0 when none does.
// Serial programs that write no lock file still flock the device.
long flockHolder(const struct stat& device) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        char kind[16] = {}, mode[16] = {};
        long pid = 0;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(line.c_str(), "%*d: %15s %*s %15s %ld %x:%x:%lu", kind, mode, &pid, &major,
                        &minor, &inode) != 6) {
            continue;
        }
        if (std::string(kind) == "FLOCK" && pid > 0 && pid != ::getpid() &&
            inode == device.st_ino && major == ::major(device.st_dev) &&
            minor == ::minor(device.st_dev)) {
            return pid;
        }
    }
    return 0;
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
    if (!d.lockFile.empty())
        d.holderPid = posix::uucpLockHolder(d.lockFile);
    if (d.holderPid == 0 && ::stat(device.c_str(), &st) == 0) {
        d.holderPid = flockHolder(st);
        if (d.holderPid != 0)
            d.lockFile.clear();
    }
    if (d.holderPid != 0)
        d.holderName = programName(d.holderPid);
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

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

}  // namespace zor
