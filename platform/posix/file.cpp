#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zor {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

namespace {

// Links followed on the way to one file, as the kernel allows (40).
constexpr int MAX_LINK_HOPS = 40;

// Opens without blocking (opening a named pipe waits for its other end) and
// keeps the descriptor only for a regular file, blocking again from then on.
// A directory gives EISDIR (for reading it opens fine on Linux and would only
// fail at the first read), any other non-regular file EINVAL. -1 on failure.
//
// For writing, where another user may have planted the name (a shared folder
// on a bench PC whose programs run as root): a symbolic link is followed only
// when it belongs to the effective user, and a file with a second name that
// belongs to someone else is not written; both give EACCES. This is the
// kernel's protected_symlinks and protected_hardlinks rule, applied whatever
// the system's setting and in every folder, not only in sticky ones. Each
// link is read through a descriptor of the very link whose owner was checked,
// so swapping it meanwhile gains nothing.
int openRegularFile(const std::string& path, int flags, int& error, int hops = 0) {
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    int fd =
        ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | (writing ? O_NOFOLLOW : 0), 0644);
    if (fd < 0 && writing && errno == ELOOP) {
        const int link = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat ls;
        char target[PATH_MAX];
        ssize_t n = -1;
        if (link >= 0 && ::fstat(link, &ls) == 0 && S_ISLNK(ls.st_mode)) {
            if (ls.st_uid == ::geteuid())
                n = ::readlinkat(link, "", target, sizeof target - 1);
            else
                errno = EACCES;
        } else if (link >= 0) {
            errno = ELOOP;
        }
        const int why = errno;
        if (link >= 0)
            ::close(link);
        if (n <= 0 || hops >= MAX_LINK_HOPS) {
            error = n <= 0 ? why : ELOOP;
            return -1;
        }
        std::string next(target, static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next = path.substr(0, slash + 1) + next;
        return openRegularFile(next, flags, error, hops + 1);
    }
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    } else if (writing && st.st_nlink > 1 && st.st_uid != ::geteuid()) {
        error = EACCES;
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    } else {
        error = 0;
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

File File::openRead(const std::string& path, int& error) {
    File f;
    f.fd_ = openRegularFile(path, O_RDONLY, error);
    return f;
}

File File::openAppend(const std::string& path, int& error) {
    File f;
    // A named pipe opened for writing would also take the log and stall
    // once full.
    f.fd_ = openRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, error);
    return f;
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool File::size(uint64_t& bytes) const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return false;
    bytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::skip(uint64_t bytes) {
    if (fd_ < 0 || bytes > static_cast<uint64_t>(LLONG_MAX))
        return false;
    return ::lseek(fd_, static_cast<off_t>(bytes), SEEK_CUR) >= 0;
}

bool File::read(void* buffer, size_t size, size_t& got) {
    got = 0;
    if (fd_ < 0)
        return false;
    auto* p = static_cast<char*>(buffer);
    while (got < size) {
        ssize_t n = ::read(fd_, p + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool File::write(const void* data, size_t size) {
    if (fd_ < 0)
        return false;
    const auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string programPath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

namespace {

// $XDG_STATE_HOME/zorload, else ~/.local/state/zorload; empty when neither
// names an absolute folder.
std::string stateFolder() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/zorload";
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/zorload";
    return std::string();
}

}  // namespace

std::string sessionLogPath(const std::string& besideProgram) {
    const size_t slash = besideProgram.rfind('/');
    if (besideProgram.empty() || slash == std::string::npos)
        return besideProgram;
    const std::string folder = slash == 0 ? "/" : besideProgram.substr(0, slash);
    if (::access(folder.c_str(), W_OK) == 0)
        return besideProgram;
    const std::string logFolder = stateFolder();
    return logFolder.empty() ? besideProgram : logFolder + besideProgram.substr(slash);
}

void makeSessionLogFolder(const std::string& logPath) {
    const std::string logFolder = stateFolder();
    if (logFolder.empty() || logPath.compare(0, logFolder.size() + 1, logFolder + "/") != 0 ||
        logPath.find('/', logFolder.size() + 1) != std::string::npos)
        return;
    // Every missing folder on the way, private to the user; one that exists
    // is left as it is.
    for (size_t at = 1; at <= logFolder.size(); ++at) {
        if (at == logFolder.size() || logFolder[at] == '/')
            ::mkdir(logFolder.substr(0, at).c_str(), 0700);
    }
}

std::vector<std::string> programArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

}  // namespace zor
