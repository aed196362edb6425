#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zor::sim {

namespace {
std::string errorText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}
}  // namespace

PtyLine::~PtyLine() {
    close();
}

bool PtyLine::open(const std::string& linkPath, std::string& error) {
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
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + ": esiste già e non è un collegamento";
            close();
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(slave_.c_str(), linkPath.c_str()) != 0) {
        error = errorText("symlink " + linkPath);
        close();
        return false;
    }
    link_ = linkPath;
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
}

}  // namespace zor::sim
