// One running instance per user on POSIX systems: flock on a lock file, and an
// AF_UNIX stream socket for the "show yourself" message.
#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/deadline_io.h"

namespace zor {

namespace {

using posix::Deadline;

constexpr auto NOTIFY_WAIT = std::chrono::seconds(5);
// Long enough for a real client, whose message follows its connect at once.
constexpr auto SERVICE_WAIT = std::chrono::milliseconds(250);
// Connections taken in by one serviceRequests call at most.
constexpr size_t SERVICE_BATCH = 64;
constexpr size_t MESSAGE_SIZE = 12;
constexpr uint8_t ACK = 0x06;
constexpr int BACKLOG = 16;
constexpr int CONNECT_RETRY_MS = 10;

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        // Never retried: on Linux the descriptor is gone even when close()
        // reports EINTR, and a retry could close someone else's.
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

void sleepUntilEarlier(const Deadline& deadline, int ms) {
    ::poll(nullptr, 0, std::min(ms, deadline.msLeft()));
}

bool sendAll(int fd, const uint8_t* data, size_t size, const Deadline& deadline) {
    size_t done = 0;
    while (done < size) {
        // MSG_NOSIGNAL: a peer that went away must give EPIPE, not kill us.
        const ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (posix::pollUntil(fd, POLLOUT, deadline) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// False on end of stream before size bytes, on an error, or at the deadline.
bool recvAll(int fd, uint8_t* data, size_t size, const Deadline& deadline) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            return false;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (posix::pollUntil(fd, POLLIN, deadline) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool socketAddress(const std::string& path, sockaddr_un& addr, socklen_t& length) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)  // room for the terminating NUL
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// A folder only this user can create entries in: otherwise someone else
// could plant the lock file, or a socket that answers for us.
bool trustedDir(const std::string& dir, bool followLinks) {
    struct stat st;
    const int rc = followLinks ? ::stat(dir.c_str(), &st) : ::lstat(dir.c_str(), &st);
    return rc == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void putLe32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getLe32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
           static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

}  // namespace

SingleInstance::SingleInstance(std::string name, std::string runtimeDir)
    : dir_(std::move(runtimeDir)) {
    if (dir_.empty()) {
        const char* xdg = std::getenv("XDG_RUNTIME_DIR");
        const std::string userRun = "/run/user/" + std::to_string(::geteuid());
        if (xdg && xdg[0] == '/' && trustedDir(xdg, true)) {
            dir_ = xdg;
        } else if (trustedDir(userRun, false)) {
            dir_ = userRun;
        } else {
            // Only root can make a folder in /run, so nobody else can plant
            // root's there; /tmp is everyone's.
            dir_ =
                ::geteuid() == 0 ? "/run/zorload" : "/tmp/zorload-" + std::to_string(::geteuid());
            dirIsDefault_ = true;
        }
    }
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string base = dir_ + (dir_.back() == '/' ? "" : "/") + name;
    lockPath_ = base + ".lock";
    socketPath_ = base + ".sock";
}

SingleInstance::~SingleInstance() {
    ReleaseSingleInstance();
}

bool SingleInstance::prepareDir() {
    if (dirIsDefault_) {
        // /tmp is shared: the folder may already exist, made by anyone. lstat
        // so that a planted symbolic link to some other folder is refused.
        if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        return trustedDir(dir_, false);
    }
    return trustedDir(dir_, true);
}

bool SingleInstance::CheckSingleInstance() {
    if (ownsLock() || unguarded_)
        return true;
    if (!prepareDir()) {
        unguarded_ = true;
        return true;
    }

    int fd;
    do {
        fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        notifyRunning(WM_SHOWINSTANCE, 1, 0);
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        notifyRunning(WM_SHOWINSTANCE, 1, 0);
        return false;
    }
    lockFd_ = fd;
    ownerPid_ = ::getpid();
    startListening();
    return true;
}

void SingleInstance::startListening() {
    sockaddr_un addr;
    socklen_t length;
    if (!socketAddress(socketPath_, addr, length))
        return;
    // Holding the lock means no live owner is bound to this path: whatever
    // is there was left by one that died.
    ::unlink(socketPath_.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // The socket file gets its mode from the umask: only we may connect,
    // whatever umask the caller left. Still single-threaded here.
    const mode_t callerMask = ::umask(077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length);
    ::umask(callerMask);
    if (bound != 0) {
        ::close(fd);
        return;
    }
    if (::listen(fd, BACKLOG) != 0) {
        ::close(fd);
        ::unlink(socketPath_.c_str());
        return;
    }
    listenFd_ = fd;
}

void SingleInstance::ReleaseSingleInstance() {
    if (lockFd_ < 0)
        return;
    if (::getpid() != ownerPid_) {
        // A forked child holds copies of the owner's descriptors. flock
        // belongs to the open file description they share, so LOCK_UN here
        // would release the parent's lock, and unlinking would cut off its
        // socket: drop the copies only.
        if (listenFd_ >= 0)
            ::close(listenFd_);
        ::close(lockFd_);
        listenFd_ = lockFd_ = -1;
        return;
    }
    // The socket file goes while the lock is still held, so it can never be
    // a newer owner's file that gets removed.
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(socketPath_.c_str());
    }
    ::flock(lockFd_, LOCK_UN);
    ::close(lockFd_);
    lockFd_ = -1;
    ownerPid_ = -1;
}

int SingleInstance::serviceRequests(const Handler& handler) {
    if (listenFd_ < 0)
        return 0;
    struct Client {
        int fd;
        size_t got;
        uint8_t buf[MESSAGE_SIZE];
    };
    std::vector<Client> clients;
    size_t waiting = 0;
    int handled = 0;
    const Deadline deadline(SERVICE_WAIT);
    // Every client is waited for at once, under the one deadline, and the
    // listening socket is watched too: a real message is handled as soon as
    // it is whole, whoever else is connected and silent.
    for (bool listening = true;;) {
        while (listening && clients.size() < SERVICE_BATCH) {
            const int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c >= 0) {
                clients.push_back(Client{c, 0, {}});
                ++waiting;
            } else if (errno != EINTR && errno != ECONNABORTED) {
                // EAGAIN: all taken. Anything else (out of descriptors): the
                // connection stays queued for the next readiness.
                listening = errno == EAGAIN;
                break;
            }
        }
        if (waiting == 0)
            break;
        std::vector<pollfd> fds;
        for (const Client& c : clients) {
            if (c.fd >= 0)
                fds.push_back(pollfd{c.fd, POLLIN, 0});
        }
        const bool acceptMore = listening && clients.size() < SERVICE_BATCH;
        if (acceptMore)
            fds.push_back(pollfd{listenFd_, POLLIN, 0});
        const int n = ::poll(fds.data(), fds.size(), deadline.msLeft());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // the deadline: the silent ones are dropped
        for (Client& c : clients) {
            if (c.fd < 0)
                continue;
            const ssize_t got = ::recv(c.fd, c.buf + c.got, MESSAGE_SIZE - c.got, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            if (got > 0)
                c.got += static_cast<size_t>(got);
            if (got > 0 && c.got < MESSAGE_SIZE)
                continue;
            if (c.got == MESSAGE_SIZE) {
                if (handler)
                    handler(getLe32(c.buf), getLe32(c.buf + 4), getLe32(c.buf + 8));
                ++handled;
                // The sender may have given up meanwhile; nothing to do about that.
                sendAll(c.fd, &ACK, 1, Deadline(SERVICE_WAIT));
            }
            // Whole, ended early or broken: done with this one.
            ::close(c.fd);
            c.fd = -1;
            --waiting;
        }
    }
    for (const Client& c : clients) {
        if (c.fd >= 0)
            ::close(c.fd);
    }
    return handled;
}

bool SingleInstance::notifyRunning(uint32_t message, uint32_t wParam, uint32_t lParam) {
    const Deadline deadline(NOTIFY_WAIT);
    sockaddr_un addr;
    socklen_t length;
    if (!socketAddress(socketPath_, addr, length))
        return false;
    const UniqueFd conn(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (conn.get() < 0)
        return false;

    // Non-blocking, because a blocking connect to a listener whose backlog
    // is full waits for as long as the owner does not accept.
    for (;;) {
        if (::connect(conn.get(), reinterpret_cast<const sockaddr*>(&addr), length) == 0)
            break;
        if (errno == EAGAIN) {  // backlog full: the owner is busy, try again shortly
            if (deadline.msLeft() == 0)
                return false;
            sleepUntilEarlier(deadline, CONNECT_RETRY_MS);
            continue;
        }
        if (errno == EINPROGRESS || errno == EINTR) {
            int error = 0;
            socklen_t size = sizeof error;
            if (posix::pollUntil(conn.get(), POLLOUT, deadline) <= 0 ||
                ::getsockopt(conn.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
                return false;
            break;
        }
        // ENOENT: no socket yet; ECONNREFUSED: bound but not listening, or a
        // file left by a dead owner. Either way nobody can be woken.
        return false;
    }

    uint8_t buf[MESSAGE_SIZE];
    putLe32(buf, message);
    putLe32(buf + 4, wParam);
    putLe32(buf + 8, lParam);
    if (!sendAll(conn.get(), buf, sizeof buf, deadline))
        return false;
    uint8_t ack = 0;
    return recvAll(conn.get(), &ack, 1, deadline) && ack == ACK;
}

}  // namespace zor
