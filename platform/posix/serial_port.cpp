// The serial device on POSIX systems: termios, poll and the tty ioctls.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "platform/posix/deadline_io.h"
#include "platform/posix/uucp_lock.h"

namespace zor {

namespace {

constexpr int READ_WAIT_MS = 100;
constexpr int WRITE_MARGIN_MS = 2000;
// Bytes taken from the driver in one read(). Linux's tty layer hands a reader
// at most its 4096-byte line buffer at a time, so a larger chunk would never
// fill; a smaller one would only mean more calls under a flood.
constexpr size_t READ_CHUNK = 4096;

speed_t speedConstant(uint32_t bitsPerSecond) {
    switch (bitsPerSecond) {
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B0;
    }
}

// Raw 8N1 without flow control, as configure() sets it.
bool isRawLine(const termios& tio) {
    constexpr tcflag_t inputOff =
        IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
    constexpr tcflag_t localOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    return (tio.c_iflag & inputOff) == 0 && (tio.c_oflag & OPOST) == 0 &&
           (tio.c_lflag & localOff) == 0 && (tio.c_cflag & CSIZE) == CS8 &&
           (tio.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
           (tio.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL) && tio.c_cc[VMIN] == 0 &&
           tio.c_cc[VTIME] == 0;
}

class PosixSerialPort : public SerialPort {
  public:
    PosixSerialPort(int fd, std::unique_ptr<posix::UucpLock> lock)
        : fd_(fd), lock_(std::move(lock)) {}
    ~PosixSerialPort() override {
        // A pty keeps its tty (and with it the exclusive flag) alive while the
        // master end is open, so the flag must be dropped by hand or the next
        // open by an ordinary user would be refused with EBUSY.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also releases the flock
        // lock_ goes after the device is closed: whoever sees the lock file
        // gone finds the device free.
    }

    bool configure(uint32_t bitsPerSecond) override {
        const speed_t speed = speedConstant(bitsPerSecond);
        if (speed == B0)
            return fail(EINVAL);
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0)
            return fail(errno);
        // Raw 8N1 without flow control of either kind. Software flow control
        // cannot stay: frames carry 0x11 and 0x13 unescaped (check bytes, data
        // blocks), and Linux starts every tty with IXON on, where a Windows port
        // starts with XON/XOFF off. Hardware flow control cannot stay either: the
        // driver keeps CRTSCTS from whichever program set it last (a modem
        // dialer, a terminal program), and with a three-wire cable CTS never
        // comes, so every write would stall.
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                              ICRNL | INPCK | IGNPAR | IXON | IXOFF | IXANY);
        tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        // CLOCAL: a missing carrier must not hang reads or send SIGHUP; the
        // chronometer's cable does not wire DCD reliably.
        tio.c_cflag |= CS8 | CREAD | CLOCAL;
        // Reads are bounded by poll(); the driver returns whatever it has.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
            return fail(errno);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
            return fail(errno);
        // tcsetattr() succeeds when the driver took any part of the request: a
        // UART that cannot make the speed, or a driver that keeps a flag, only
        // shows in what it reports back.
        termios got{};
        if (::tcgetattr(fd_, &got) != 0)
            return fail(errno);
        const speed_t inSpeed = ::cfgetispeed(&got);
        if (::cfgetospeed(&got) != speed || (inSpeed != speed && inSpeed != B0) ||
            !isRawLine(got)) {
            return fail(EINVAL);
        }
        bitsPerSecond_ = bitsPerSecond;
        return true;
    }

    int readByte(uint8_t& byte) override {
        if (rxNext_ < rxEnd_) {
            byte = rx_[rxNext_++];
            return 1;
        }
        const posix::Deadline deadline{std::chrono::milliseconds(READ_WAIT_MS)};
        for (;;) {
            short revents = 0;
            const int n = posix::pollUntil(fd_, POLLIN, deadline, &revents);
            if (n < 0) {
                fail(errno);
                return -1;
            }
            if (n == 0)
                return 0;
            if (revents & POLLIN) {
                // Whatever the driver holds, in one call: a device that
                // floods the line must not cost a poll() and a read() per
                // byte.
                const ssize_t got = ::read(fd_, rx_.data(), rx_.size());
                if (got > 0) {
                    rxNext_ = 1;
                    rxEnd_ = static_cast<size_t>(got);
                    byte = rx_[0];
                    return 1;
                }
                if (got < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (got < 0) {
                    fail(errno);
                    return -1;
                }
                // Readable with nothing to read: the far end hung up.
                fail(EIO);
                return -1;
            }
            // POLLHUP or POLLERR without data: a pty whose master closed, a
            // USB adapter pulled out.
            fail(EIO);
            return -1;
        }
    }

    // The descriptor stays non-blocking: a line that never drains (hardware
    // flow control on and no CTS from the cable, a stalled USB adapter) must
    // end in a failed write, not a program hung in write(). The wait allowed
    // is what the bytes need on the line plus a generous margin.
    bool write(const uint8_t* data, size_t size) override {
        const auto lineMs = static_cast<long long>(size) * 10 * 1000 / bitsPerSecond_;
        const posix::Deadline deadline(std::chrono::milliseconds(WRITE_MARGIN_MS + lineMs));
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                if (deadline.msLeft() == 0) {
                    // Nothing of this frame may reach the chronometer later.
                    ::tcflush(fd_, TCOFLUSH);
                    return fail(ETIMEDOUT);
                }
                if (posix::pollUntil(fd_, POLLOUT, deadline) < 0)
                    return fail(errno);
                continue;
            }
            return fail(n < 0 ? errno : EIO);
        }
        return true;
    }

    // What readByte() took from the driver but has not handed out yet goes
    // with the rest: a purge promises that nothing received before it comes
    // after it.
    void purge() override {
        ::tcflush(fd_, TCIOFLUSH);
        rxNext_ = rxEnd_ = 0;
    }

    bool modemStatus(uint32_t& bits) override {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0)
            return fail(errno);
        bits = 0;
        if (lines & TIOCM_CTS)
            bits |= MODEM_CTS_ON;
        if (lines & TIOCM_DSR)
            bits |= MODEM_DSR_ON;
        if (lines & TIOCM_CAR)
            bits |= MODEM_RLSD_ON;
        return true;
    }

    bool enableDtrRts() override {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIS, &lines) != 0)
            return fail(errno);
        return true;
    }

    int lastError() const override { return lastError_; }

  private:
    bool fail(int error) {
        lastError_ = error;
        return false;
    }

    int fd_;
    std::unique_ptr<posix::UucpLock> lock_;  // null when no lock file could be made
    int lastError_ = 0;
    uint32_t bitsPerSecond_ = 9600;  // until configured: the slowest a port starts at

    // Bytes read from the driver, rx_[rxNext_..rxEnd_) not yet handed out.
    std::array<uint8_t, READ_CHUNK> rx_{};
    size_t rxNext_ = 0;
    size_t rxEnd_ = 0;
};

OpenFailure classify(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        // The serial core answers EIO when the node exists but no UART sits
        // behind it (the usual state of /dev/ttyS2 and ttyS3 on a PC).
        case EIO:
            return OpenFailure::NotInstalled;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenFailure::InUse;
        case ENOTTY:
        case EISDIR:
            return OpenFailure::NotSerial;
        default:
            return OpenFailure::Other;
    }
}

OpenResult failure(int error) {
    OpenResult r;
    r.failure = classify(error);
    // One text for every path that is no serial device, folders included.
    r.osError = r.failure == OpenFailure::NotSerial ? ENOTTY : error;
    return r;
}

class PosixSerialDevices : public SerialDeviceOpener {
  public:
    OpenResult open(const std::string& name, bool queryOnly) override {
        const std::string path = resolvePortName(name);
        // The name is looked up once, into a descriptor that opens nothing
        // (no driver open, no DTR raised, no reader for a named pipe), and
        // everything after works on what that lookup found. The path may come
        // from the environment (ZORLOAD_COMn, ZORLOAD_DEV_ROOT) and pass
        // through links another user can change between a check and an open
        // by name; opening a named pipe would already release a writer
        // waiting for its reader.
        int found;
        do {
            found = ::open(path.c_str(), O_PATH | O_CLOEXEC);
        } while (found < 0 && errno == EINTR);
        if (found < 0)
            return failure(errno);
        const std::string foundPath = "/proc/self/fd/" + std::to_string(found);
        // Another program's live lock file keeps us off the device before it
        // is even opened: opening a tty can already raise DTR under its holder.
        // The lock is named after the device found, not after whatever the
        // path names by now.
        const std::string lockPath = posix::uucpLockPath(foundPath);
        if (!lockPath.empty() && posix::uucpLockHolder(lockPath) != 0) {
            ::close(found);
            return failure(EBUSY);
        }
        // Only a character device is ever opened.
        struct stat named {};
        if (::fstat(found, &named) != 0) {
            const int error = errno;
            ::close(found);
            return failure(error);
        }
        if (!S_ISCHR(named.st_mode)) {
            ::close(found);
            return failure(ENOTTY);
        }
        // Opened through the descriptor's own /proc entry, which names the
        // node found above whatever the path names now. O_NONBLOCK so that a
        // port without carrier does not hang the open. The descriptor stays
        // non-blocking: reads and writes wait in poll() with deadlines.
        int fd;
        do {
            fd = ::open(foundPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        const int openError = errno;
        ::close(found);
        if (fd < 0)
            return failure(openError);
        // The same device as looked at, and a terminal: /dev/null opens fine
        // and only the tty requests would fail later, with nothing to tell
        // the user why.
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) ||
            opened.st_rdev != named.st_rdev || opened.st_ino != named.st_ino ||
            opened.st_dev != named.st_dev || !::isatty(fd)) {
            ::close(fd);
            return failure(ENOTTY);
        }
        // Root ignores TIOCEXCL, so the flock is what really keeps a second
        // program (or a second zorload) out. It comes first: a refused open
        // must not touch the exclusive flag of the tty its holder set.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return failure(error == EWOULDBLOCK ? EBUSY : error);
        }
        // The lock file tells programs that do not flock. Where the lock
        // folder is not writable we go without: the flock and TIOCEXCL still
        // hold. A query (the port scan) is over too soon to need one.
        std::unique_ptr<posix::UucpLock> lock;
        if (!queryOnly && !lockPath.empty()) {
            lock = std::make_unique<posix::UucpLock>();
            const auto taken = lock->acquire(lockPath);
            if (taken == posix::UucpLock::Result::Busy) {
                // Taken between our look and our open.
                ::close(fd);
                return failure(EBUSY);
            }
            if (taken != posix::UucpLock::Result::Held)
                lock.reset();
        }
        // Refuses later opens by ordinary users, also by programs that do not
        // flock.
        ::ioctl(fd, TIOCEXCL);
        OpenResult r;
        r.port = std::make_unique<PosixSerialPort>(fd, std::move(lock));
        return r;
    }

    std::vector<std::string> adapterPaths() override { return serialAdapterPaths(); }
};

// "ttyUSB2" before "ttyUSB10": runs of digits compare by their value.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            // Leading zeros aside, the longer run is the larger number.
            const size_t za = a.find_first_not_of('0', i), zb = b.find_first_not_of('0', j);
            const size_t la = ei - std::min(za, ei), lb = ej - std::min(zb, ej);
            if (la != lb)
                return la < lb;
            const int c = a.compare(std::min(za, ei), la, b, std::min(zb, ej), lb);
            if (c != 0)
                return c < 0;
            i = ei, j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i, ++j;
    }
    return a.size() - i < b.size() - j;
}

// The names in a folder (empty when it is missing or unreadable), in natural
// order.
std::vector<std::string> sortedNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

// The file a path finally names, links followed; the path itself when that
// cannot be told (a dangling link).
std::string deviceBehind(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return error ? path : real.string();
}

// "ttyUSB0", "ttyUSB12" for the prefix "ttyUSB".
bool isNumberedNode(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

}  // namespace

SerialDeviceOpener& systemSerialDevices() {
    static PosixSerialDevices devices;
    return devices;
}

std::string resolvePortName(const std::string& name) {
    if (name.size() == 4 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M' && name[3] >= '1' &&
        static_cast<size_t>(name[3] - '0') <= COM_PORTS.size()) {
        const std::string variable = std::string("ZORLOAD_COM") + name[3];
        if (const char* mapped = std::getenv(variable.c_str())) {
            if (*mapped)
                return mapped;
        }
        return std::string("/dev/ttyS") + static_cast<char>(name[3] - 1);
    }
    return name;
}

PortNameLookup lookUpPortName(const std::string& name) {
    PortNameLookup r;
    const std::string path = resolvePortName(name);
    struct stat st {};
    r.exists = ::stat(path.c_str(), &st) == 0;
    r.isDevice = r.exists && S_ISCHR(st.st_mode);
    r.identity = r.exists ? deviceBehind(path) : path;
    return r;
}

std::vector<std::string> serialAdapterPaths() {
    const char* configured = std::getenv("ZORLOAD_DEV_ROOT");
    const std::string root = configured && *configured ? configured : "/dev";
    // Every device gets one row: the ones COM1..COM4 map to already have theirs.
    std::set<std::string> listed;
    for (const char* com : COM_PORTS)
        listed.insert(deviceBehind(resolvePortName(com)));
    std::vector<std::string> paths;
    auto add = [&](const std::string& path) {
        if (listed.insert(deviceBehind(path)).second)
            paths.push_back(path);
    };
    // udev's stable names tell the adapters apart (maker, model, serial
    // number) and survive replugging, where ttyUSB numbers go by plug order.
    const std::string byId = root + "/serial/by-id";
    for (const std::string& name : sortedNames(byId))
        add(byId + "/" + name);
    const std::vector<std::string> nodes = sortedNames(root);
    for (const char* kind : {"ttyUSB", "ttyACM"}) {
        for (const std::string& name : nodes) {
            if (isNumberedNode(name, kind))
                add(root + "/" + name);
        }
    }
    return paths;
}

std::vector<std::string> benchPortNames() {
    const char* configured = std::getenv("ZORLOAD_DEV_ROOT");
    const std::string root = configured && *configured ? configured : "/dev";
    const std::string byPath = root + "/serial/by-path";
    std::vector<std::string> names;
    std::set<std::string> devices;
    for (const std::string& name : sortedNames(byPath)) {
        names.push_back(byPath + "/" + name);
        devices.insert(deviceBehind(names.back()));
    }
    for (const std::string& adapter : serialAdapterPaths()) {
        if (devices.insert(deviceBehind(adapter)).second)
            names.push_back(adapter);
    }
    return names;
}

}  // namespace zor
