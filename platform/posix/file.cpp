#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace zor {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File File::openRead(const std::string& path, int& error) {
    File f;
    // Non-blocking so that a named pipe cannot hang the open; only regular
    // files are update files (a directory opens fine on Linux and would only
    // fail at the first read).
    f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (f.fd_ < 0) {
        error = errno;
        return f;
    }
    struct stat st;
    if (::fstat(f.fd_, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    } else {
        error = 0;
    }
    if (error == 0 && ::fcntl(f.fd_, F_SETFL, ::fcntl(f.fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0)
        f.close();
    return f;
}

File File::openAppend(const std::string& path, int& error) {
    File f;
    // Non-blocking for the same reason: opening a named pipe for writing
    // waits for a reader (with O_NONBLOCK it fails with ENXIO instead), and
    // one with a reader would take the log and stall on a full pipe.
    f.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (f.fd_ < 0) {
        error = errno;
        return f;
    }
    struct stat st;
    if (::fstat(f.fd_, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    } else if (::fcntl(f.fd_, F_SETFL, ::fcntl(f.fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    } else {
        error = 0;
    }
    if (error != 0)
        f.close();
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

}  // namespace zor
