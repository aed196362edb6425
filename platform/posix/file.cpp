#include "platform/file.h"

#include "platform/posix/path_walk.h"

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

// Opens without blocking (opening a named pipe waits for its other end) and
// keeps the descriptor only for a regular file, blocking again from then on.
// A directory gives EISDIR (it opens fine on Linux and would only fail at
// the first read), any other non-regular file EINVAL. -1 on failure.
int openRegularForReading(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    } else {
        error = 0;
        return fd;
    }
    ::close(fd);
    return -1;
}

std::string folderPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

File File::openRead(const std::string& path, int& error) {
    File f;
    f.fd_ = openRegularForReading(path, error);
    return f;
}

File File::openAppend(const std::string& path, FileProblem& problem) {
    File f;
    const posix::FolderOf where = posix::openFolderOf(path, false, problem);
    if (where.folder.isOpen())
        f.fd_ = posix::openAppendIn(where.folder, where.leaf, folderPart(path), problem);
    return f;
}

bool writeWholeFile(const std::string& path, const std::string& bytes, bool makeFolders,
                    FileProblem& problem) {
    const posix::FolderOf where = posix::openFolderOf(path, makeFolders, problem);
    return where.folder.isOpen() &&
           posix::replaceIn(where.folder, where.leaf, folderPart(path), bytes, problem);
}

namespace {

// A file a database keeps beside its own, when there is one: a regular file
// with one name, or a link of the user's or root's. The database follows
// no other.
bool besideFileFine(int folder, const std::string& name, const std::string& shown,
                    FileProblem& problem) {
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    problem.at = shown;
    problem.error = EACCES;
    if (S_ISLNK(st.st_mode)) {
        problem.refusal = FileRefusal::RefusedLink;
        return st.st_uid == ::geteuid() || st.st_uid == 0;
    }
    if (!S_ISREG(st.st_mode)) {
        problem.error = EINVAL;
        problem.at.clear();
        return false;
    }
    problem.refusal = FileRefusal::SecondName;
    return st.st_nlink <= 1;
}

}  // namespace

bool prepareDatabaseFile(const std::string& path, bool makeFolders,
                         const std::vector<std::string>& beside, FileProblem& problem) {
    const posix::FolderOf where = posix::openFolderOf(path, makeFolders, problem);
    if (!where.folder.isOpen())
        return false;
    const int fd = posix::openAppendIn(where.folder, where.leaf, folderPart(path), problem);
    if (fd < 0)
        return false;
    ::close(fd);
    for (const std::string& suffix : beside) {
        FileProblem besideProblem;
        if (!besideFileFine(where.folder.get(), where.leaf + suffix, path + suffix,
                            besideProblem)) {
            problem = besideProblem;
            return false;
        }
    }
    return true;
}

bool isNoSuchFile(int error) {
    return error == ENOENT;
}

bool canWriteIn(const std::string& folder, FileProblem& problem) {
    // The walk to a name inside the folder passes the folder itself, link
    // rule and all; the name is never looked at.
    if (posix::openFolderOf(folder + "/-", false, problem).folder.isOpen())
        return true;
    if (problem.error == ENOTDIR)
        problem.refusal = FileRefusal::NotAFolder;
    return false;
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

std::string userStatePath(const std::string& name) {
    const std::string folder = stateFolder();
    return folder.empty() ? folder : folder + "/" + name;
}

std::string userConfigPath(const std::string& name) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/zorload/" + name;
    if (home && home[0] == '/')
        return std::string(home) + "/.config/zorload/" + name;
    return std::string();
}

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : std::string();
}

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
    // is left as it is. Walked as the log itself will be: a folder reached
    // through another user's link is neither made nor written in.
    FileProblem ignored;
    posix::openFolderOf(logPath, true, ignored);
}

std::vector<std::string> programArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

}  // namespace zor
