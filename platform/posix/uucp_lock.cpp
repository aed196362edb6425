#include "platform/posix/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zor::posix {

namespace {

bool isTextByte(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == '\n';
}

// The pid in a lock file: ten ASCII characters, right-aligned, and a newline
// (what everyone writes today), or the four bytes of a binary pid (what old
// UUCP programs wrote). 0 when the file is missing, unreadable or holds
// neither; a file still being written by a program that does not write its
// lock atomically also reads as 0.
pid_t readLockPid(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return 0;
    char buf[32];
    size_t got = 0;
    while (got < sizeof buf) {
        const ssize_t n = ::read(fd, buf + got, sizeof buf - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got == 4 &&
        !(isTextByte(buf[0]) && isTextByte(buf[1]) && isTextByte(buf[2]) && isTextByte(buf[3]))) {
        int32_t pid = 0;
        std::memcpy(&pid, buf, sizeof pid);
        return pid > 0 ? static_cast<pid_t>(pid) : 0;
    }
    size_t i = 0;
    while (i < got && buf[i] == ' ')
        ++i;
    long pid = 0;
    const size_t digits = i;
    while (i < got && buf[i] >= '0' && buf[i] <= '9' && pid < 0x7FFFFFFF) {
        pid = pid * 10 + (buf[i] - '0');
        ++i;
    }
    if (i == digits || pid <= 0 || pid > 0x7FFFFFFF)
        return 0;
    return static_cast<pid_t>(pid);
}

// EPERM means the process exists under another user: still a live lock.
bool isRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

std::string uucpLockDir() {
    if (const char* dir = std::getenv("ZORLOAD_LOCK_DIR")) {
        if (*dir)
            return dir;
    }
    struct stat st;
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode))
        return "/run/lock";
    return "/var/lock";
}

std::string uucpLockPath(const std::string& devicePath) {
    char* real = ::realpath(devicePath.c_str(), nullptr);
    if (!real)
        return std::string();
    const std::string resolved(real);
    std::free(real);
    const std::string name = resolved.substr(resolved.rfind('/') + 1);
    if (name.empty())
        return std::string();
    return uucpLockDir() + "/LCK.." + name;
}

pid_t uucpLockHolder(const std::string& lockPath) {
    const pid_t pid = readLockPid(lockPath);
    if (pid <= 0 || pid == ::getpid() || !isRunning(pid))
        return 0;
    return pid;
}

UucpLock::Result UucpLock::acquire(const std::string& lockPath) {
    release();
    const size_t slash = lockPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : lockPath.substr(0, slash);
    const pid_t self = ::getpid();
    // Written whole under a name of our own, then linked into place: nobody
    // ever reads a half-written lock of ours, and link() fails when the name
    // is taken, where a rename would overwrite a lock taken meanwhile.
    const std::string temp = dir + "/LTMP." + std::to_string(self);
    ::unlink(temp.c_str());  // left by a crashed process that had our pid
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return Result::Unavailable;
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(self));
    const size_t length = std::strlen(text);
    // Readable by every user's programs whatever our umask: they read the pid.
    const bool written =
        ::fchmod(fd, 0644) == 0 && ::write(fd, text, length) == static_cast<ssize_t>(length);
    ::close(fd);
    Result result = Result::Unavailable;
    // Twice at most: a stale lock is removed once, then the name must be free.
    for (int attempt = 0; written && attempt < 2; ++attempt) {
        if (::link(temp.c_str(), lockPath.c_str()) == 0) {
            path_ = lockPath;
            result = Result::Held;
            break;
        }
        if (errno != EEXIST)
            break;
        const pid_t holder = readLockPid(lockPath);
        if (holder <= 0)
            break;  // unreadable: not provably stale, so not ours to remove
        if (holder != self && isRunning(holder)) {
            result = Result::Busy;
            break;
        }
        ::unlink(lockPath.c_str());
    }
    ::unlink(temp.c_str());
    return result;
}

void UucpLock::release() {
    if (path_.empty())
        return;
    // Someone who took the lock for stale meanwhile keeps theirs.
    if (readLockPid(path_) == ::getpid())
        ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace zor::posix
