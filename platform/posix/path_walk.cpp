#include "platform/posix/path_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>

namespace zor::posix {

FolderFd& FolderFd::operator=(FolderFd&& other) noexcept {
    if (this != &other) {
        reset(other.fd_);
        other.fd_ = -1;
    }
    return *this;
}

void FolderFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

// Links followed on the way to one file, as the kernel allows.
constexpr int MAX_LINK_HOPS = 40;

std::deque<std::string> componentsOf(const std::string& path) {
    std::deque<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        const size_t slash = std::min(path.find('/', at), path.size());
        const std::string part = path.substr(at, slash - at);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        at = slash + 1;
    }
    return parts;
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool fail(FileProblem& problem, int error, FileRefusal refusal = FileRefusal::None,
          const std::string& at = std::string()) {
    problem.error = error;
    problem.refusal = refusal;
    problem.at = at;
    return false;
}

// The walk's state: where it stands, how the user would name that place,
// and the links followed so far.
struct Walker {
    FolderFd here;
    std::string shown;
    int hops = 0;
    FileProblem& problem;

    // Reads the link name in here, if the rule lets it be followed. The link
    // is read through a descriptor of the very link whose owner was looked
    // at, so swapping it meanwhile gains nothing.
    bool readAllowedLink(const std::string& name, std::string& target) {
        const std::string at = joined(shown, name);
        const int link = ::openat(here.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (link < 0)
            return fail(problem, errno);
        struct stat st {};
        char text[PATH_MAX];
        ssize_t n = -1;
        int error = 0;
        FileRefusal refusal = FileRefusal::None;
        if (::fstat(link, &st) != 0) {
            error = errno;
        } else if (!S_ISLNK(st.st_mode)) {
            error = ENOTDIR;
        } else if (st.st_uid != ::geteuid() && st.st_uid != 0) {
            error = EACCES;
            refusal = FileRefusal::RefusedLink;
        } else if (++hops > MAX_LINK_HOPS) {
            error = ELOOP;
        } else if ((n = ::readlinkat(link, "", text, sizeof text - 1)) <= 0) {
            error = n < 0 ? errno : ENOENT;
        }
        ::close(link);
        if (error != 0)
            return fail(problem, error, refusal, refusal == FileRefusal::None ? std::string() : at);
        target.assign(text, static_cast<size_t>(n));
        return true;
    }

    // Goes back to / for an absolute target.
    bool restartAtRootIf(bool absolute) {
        if (!absolute)
            return true;
        here.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        shown = "/";
        return here.isOpen() || fail(problem, errno);
    }

    // The link at name, when the rule lets it be followed, to what it names:
    // here becomes the folder of its target and name the target's last
    // component. A target that names a folder gives EISDIR.
    bool followLeaf(std::string& name) {
        std::string target;
        if (!readAllowedLink(name, target))
            return false;
        std::deque<std::string> parts = componentsOf(target);
        if (parts.empty() || target.back() == '/' || parts.back() == "..")
            return fail(problem, EISDIR);
        name = parts.back();
        parts.pop_back();
        return restartAtRootIf(target[0] == '/') && walk(parts, false);
    }

    // Whether st, the file at name in here, may be written: a regular file
    // (EISDIR for a folder, EINVAL for a pipe or device) with one name only
    // and, in a sticky folder, the user's or the folder owner's.
    bool fileAllowed(const struct stat& st, const std::string& name) {
        const std::string at = joined(shown, name);
        struct stat dir {};
        if (::fstat(here.get(), &dir) != 0) {
            fail(problem, errno);
        } else if (S_ISDIR(st.st_mode)) {
            fail(problem, EISDIR);
        } else if (!S_ISREG(st.st_mode)) {
            fail(problem, EINVAL);
        } else if (st.st_nlink != 1) {
            // A second name may be another user's link to a file of ours
            // (or of root's), made where the kernel's protected_hardlinks is
            // off: writing would change that file.
            fail(problem, EACCES, FileRefusal::SecondName, at);
        } else if ((dir.st_mode & S_ISVTX) && st.st_uid != ::geteuid() && st.st_uid != dir.st_uid) {
            // In /tmp another user's file stays theirs: they could read and
            // rewrite whatever we write.
            fail(problem, EACCES, FileRefusal::ForeignFile, at);
        } else {
            return true;
        }
        return false;
    }

    // Walks every component of parts, following allowed links, until none
    // is left; here is then the folder they name.
    bool walk(std::deque<std::string> parts, bool makeMissing) {
        bool madeOne = false;
        while (!parts.empty()) {
            const std::string name = parts.front();
            const int next =
                ::openat(here.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0) {
                here.reset(next);
                shown = name == ".." ? joined(shown, "..") : joined(shown, name);
                parts.pop_front();
                madeOne = false;
                continue;
            }
            const int error = errno;
            if (error == ENOENT && makeMissing && !madeOne) {
                // EEXIST: someone made it meanwhile; it is looked at as any other.
                if (::mkdirat(here.get(), name.c_str(), 0700) != 0 && errno != EEXIST)
                    return fail(problem, errno);
                madeOne = true;
                continue;
            }
            if (error != ENOTDIR && error != ELOOP)
                return fail(problem, error);
            // Not a folder: a link to follow, or something else (ENOTDIR).
            std::string target;
            if (!readAllowedLink(name, target))
                return false;
            parts.pop_front();
            std::deque<std::string> more = componentsOf(target);
            parts.insert(parts.begin(), more.begin(), more.end());
            if (!restartAtRootIf(target[0] == '/'))
                return false;
        }
        return true;
    }
};

}  // namespace

FolderOf openFolderOf(const std::string& path, bool makeMissing, FileProblem& problem) {
    FolderOf result;
    problem = FileProblem();
    std::deque<std::string> parts = componentsOf(path);
    if (path.empty() || parts.empty()) {
        fail(problem, path.empty() ? ENOENT : EISDIR);
        return result;
    }
    if (path.back() == '/' || parts.back() == "..") {
        fail(problem, EISDIR);
        return result;
    }
    Walker walker{FolderFd(), path[0] == '/' ? "/" : "", 0, problem};
    walker.here.reset(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!walker.here.isOpen()) {
        fail(problem, errno);
        return result;
    }
    result.leaf = parts.back();
    parts.pop_back();
    if (walker.walk(parts, makeMissing))
        result.folder = std::move(walker.here);
    return result;
}

int openAppendIn(const FolderFd& folder, const std::string& leaf, const std::string& shownFolder,
                 FileProblem& problem) {
    problem = FileProblem();
    // A link at the name leads to another folder and name: walked by the
    // same rule. The folder descriptor is duplicated so the caller's stays.
    Walker walker{FolderFd(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0)), shownFolder, 0, problem};
    if (!walker.here.isOpen()) {
        fail(problem, errno);
        return -1;
    }
    std::string name = leaf;
    for (;;) {
        // Non-blocking: a named pipe would wait for its reader. The folder's
        // own descriptor is an O_PATH one, which openat takes as its base.
        const int fd =
            ::openat(walker.here.get(), name.c_str(),
                     O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ELOOP) {
            if (!walker.followLeaf(name))
                return -1;
            continue;
        }
        if (fd < 0) {
            // A folder opened for writing gives EISDIR, a pipe nobody reads
            // ENXIO: both as they are.
            fail(problem, errno);
            return -1;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            fail(problem, errno);
        } else if (walker.fileAllowed(st, name) &&
                   ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
            return fd;
        } else if (problem.error == 0) {
            fail(problem, errno);
        }
        ::close(fd);
        return -1;
    }
}

bool replaceIn(const FolderFd& folder, const std::string& leaf, const std::string& shownFolder,
               const std::string& bytes, FileProblem& problem) {
    problem = FileProblem();
    Walker walker{FolderFd(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0)), shownFolder, 0, problem};
    if (!walker.here.isOpen())
        return fail(problem, errno);
    // What stands at the name: nothing, a file the rules let us replace, or
    // a link they let us follow to one.
    std::string name = leaf;
    bool existed = false;
    mode_t mode = 0644;
    for (;;) {
        struct stat st {};
        if (::fstatat(walker.here.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return fail(problem, errno);
            break;
        }
        if (S_ISLNK(st.st_mode)) {
            if (!walker.followLeaf(name))
                return false;
            continue;
        }
        if (!walker.fileAllowed(st, name))
            return false;
        existed = true;
        mode = st.st_mode & 0777;
        break;
    }
    // The new file beside it, under a name nobody else uses; a name that
    // something already holds (a leftover, or a plant) is never opened.
    const int here = walker.here.get();
    std::string temp;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::openat(here, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      mode);
        if (fd < 0 && errno != EEXIST)
            return fail(problem, errno);
    }
    if (fd < 0)
        return fail(problem, EEXIST);
    int error = 0;
    for (size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? EIO : errno;
    }
    // The permissions are the old file's, whatever the umask; the new
    // file's bytes reach the disk before its name does.
    if (error == 0 && ((existed && ::fchmod(fd, mode) != 0) || ::fsync(fd) != 0))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::renameat(here, temp.c_str(), here, name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(here, temp.c_str(), 0);
        return fail(problem, error);
    }
    // The rename itself reaches the disk with the folder.
    const int sync = ::openat(here, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (sync >= 0) {
        ::fsync(sync);
        ::close(sync);
    }
    return true;
}

}  // namespace zor::posix
