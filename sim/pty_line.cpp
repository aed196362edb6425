#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/posix/path_walk.h"

namespace zor::sim {

namespace {

std::string errorText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The pid a lock file names, "" when it names none (yet).
// The start of a lock file, and the process id it begins with.
std::string lockText(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

std::string pidIn(const std::string& text) {
    return text.substr(0, text.find_first_not_of("0123456789"));
}

// What posix_openpt hands out on Linux: a link made by some zorsim.
bool pointsAtPtySlave(const std::string& linkPath) {
    char target[256];
    const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    return n > 0 && std::string(target, static_cast<size_t>(n)).rfind("/dev/pts/", 0) == 0;
}

}  // namespace

PtyLine::~PtyLine() {
    close();
}

bool PtyLine::lockLink(const std::string& linkPath, std::string& error) {
    // Named through the folder's descriptor; the user's name in messages.
    const std::string path = reached(linkPath) + ".lock", shown = linkPath + ".lock";
    // The lock file is made here, with O_EXCL, or it is not ours: whatever
    // else stands at the name (a file of someone's, a link) is left exactly
    // as it is. A holder that ends removes its lock file while it still holds
    // it; a file opened just before that is no lock any more, and the next
    // try looks at the name again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // Another zorsim may have opened it to look, just now: it lets go
            // at once.
            bool held = false;
            for (int wait = 0; !held && wait < 20; ++wait) {
                held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                if (!held)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const std::string pid = std::to_string(::getpid()) + "\n";
            if (!held ||
                ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
                error = held ? errorText(shown) : linkPath + ": in uso da un altro zorsim";
                ::unlink(path.c_str());
                ::close(fd);
                return false;
            }
            lockFd_ = fd;
            lockPath_ = path;
            return true;
        }
        if (errno != EEXIST) {
            error = errorText(shown);
            return false;
        }
        // Read only: what is there is looked at, never changed.
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT)
                continue;
            error = errorText(shown);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            const std::string holder = pidIn(lockText(fd));
            ::close(fd);
            if (why != EWOULDBLOCK) {
                errno = why;
                error = errorText("flock " + shown);
                return false;
            }
            error = linkPath + ": in uso da un altro zorsim" +
                    (holder.empty() ? std::string() : " (pid " + holder + ")");
            return false;
        }
        // Nobody holds it. A zorsim that died left exactly this: our own
        // regular file, one name, our pid line. Only such a file goes.
        struct stat held {};
        struct stat named {};
        const std::string text = lockText(fd);
        const std::string pid = pidIn(text);
        const bool stale = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                           held.st_uid == ::geteuid() && held.st_nlink == 1 && !pid.empty() &&
                           text == pid + "\n" && ::lstat(path.c_str(), &named) == 0 &&
                           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
        if (stale)
            ::unlink(path.c_str());
        ::close(fd);
        if (!stale) {
            error = shown + ": esiste già e non è un file di blocco di zorsim";
            return false;
        }
    }
    error = shown + ": il file di blocco cambia di continuo";
    return false;
}

void PtyLine::unlockLink() {
    if (lockFd_ < 0)
        return;
    // Removed while still held: whoever opened it meanwhile gets its flock
    // only after the name is gone, sees that, and tries the name again.
    ::unlink(lockPath_.c_str());
    ::close(lockFd_);
    lockFd_ = -1;
    lockPath_.clear();
}

bool PtyLine::open(const std::string& linkPath, std::string& error) {
    // The link's folder is reached as every file the programs write is: a
    // folder on the way that is another user's link is not followed. The
    // link and its lock are then named through that folder's descriptor, so
    // nothing swapped on the way later moves them elsewhere.
    FileProblem problem;
    posix::FolderOf where = posix::openFolderOf(linkPath, false, problem);
    if (!where.folder.isOpen()) {
        errno = problem.error;
        error = problem.refusal == FileRefusal::RefusedLink
                    ? problem.at + ": collegamento simbolico di un altro utente, non seguito"
                    : errorText(linkPath);
        return false;
    }
    folder_ = std::move(where.folder);
    leaf_ = where.leaf;
    // Before anything else: a running zorsim's link is left alone.
    if (!lockLink(linkPath, error))
        return false;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        error = errorText("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = errorText("grantpt/unlockpt");
        close();
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = errorText("ptsname");
        close();
        return false;
    }
    slave_ = name;
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        tcsetattr(master_, TCSANOW, &t);
    }
    struct stat st {};
    bool made;
    const std::string at = reached(linkPath);
    if (lstat(at.c_str(), &st) != 0) {
        // symlink() never replaces: whatever appeared meanwhile stays.
        made = ::symlink(slave_.c_str(), at.c_str()) == 0;
        if (!made)
            error = errorText("symlink " + linkPath);
    } else if (!S_ISLNK(st.st_mode)) {
        error = linkPath + ": esiste già e non è un collegamento";
        made = false;
    } else if (!pointsAtPtySlave(at)) {
        error = linkPath + ": è un collegamento a un dispositivo, non a un terminale di zorsim";
        made = false;
    } else {
        // Left by a zorsim that died (we hold the lock). The new link is made
        // beside it, under a name of our own that symlink() never takes from
        // anyone, and renamed over it, so the path never names nothing.
        const std::string fresh = at + "." + std::to_string(::getpid()) + ".new";
        const bool linked = ::symlink(slave_.c_str(), fresh.c_str()) == 0;
        made = linked && ::rename(fresh.c_str(), at.c_str()) == 0;
        if (!made) {
            error = errorText("symlink " + linkPath);
            if (linked)
                ::unlink(fresh.c_str());
        }
    }
    if (!made) {
        close();
        return false;
    }
    link_ = at;
    return true;
}

uint32_t PtyLine::hostBps() const {
    termios t{};
    if (master_ < 0 || tcgetattr(master_, &t) != 0) {
        return 0;
    }
    switch (cfgetospeed(&t)) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

long PtyLine::read(uint8_t* buf, size_t size, int timeoutMs) {
    pollfd p{master_, POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0) {
        return errno == EINTR ? 0 : -1;
    }
    if (r == 0) {
        return 0;
    }
    if (p.revents & POLLIN) {
        ssize_t n = ::read(master_, buf, size);
        if (n > 0) {
            return n;
        }
        if (n < 0 && errno != EIO && errno != EAGAIN && errno != EINTR) {
            return -1;
        }
    }
    // Hang-up: no program holds the slave. poll keeps reporting it at once,
    // so pace the wait ourselves until the host opens the port again.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
    return 0;
}

void PtyLine::write(const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(master_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // EAGAIN with nobody reading, or EIO: the bytes are lost, as on a cable
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void PtyLine::close() {
    if (!link_.empty()) {
        char target[256];
        ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == slave_) {
            ::unlink(link_.c_str());
        }
        link_.clear();
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    unlockLink();
    folder_.reset();
}

std::string PtyLine::reached(const std::string& linkPath) const {
    if (!folder_.isOpen())
        return linkPath;
    return "/proc/self/fd/" + std::to_string(folder_.get()) + "/" + leaf_;
}

}  // namespace zor::sim
