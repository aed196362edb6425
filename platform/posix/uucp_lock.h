#pragma once
// UUCP-style lock files (/run/lock/LCK..ttyS0): the convention serial programs
// on Linux (terminal programs, modem dialers, gpsd) use to keep off a port
// another one holds, whether or not they flock the device.
#include <sys/types.h>

#include <string>

namespace zor::posix {

// $ZORLOAD_LOCK_DIR when set, else /run/lock, else /var/lock.
std::string uucpLockDir();

// The lock file of a device: "LCK.." + the device's file name once symbolic
// links are resolved (/dev/serial/by-id/... locks as LCK..ttyUSB0). Empty when
// the device path cannot be resolved (it does not exist).
std::string uucpLockPath(const std::string& devicePath);

// The pid a lock file names when that process is running and is not this
// one; 0 when there is no such lock (none, stale, unreadable, ours).
pid_t uucpLockHolder(const std::string& lockPath);

// A lock file this process holds for as long as the object lives.
class UucpLock {
  public:
    enum class Result {
        Held,         // the lock file names this process now
        Busy,         // a running process holds it
        Unavailable,  // no lock could be made (folder not writable, odd file left there)
    };

    UucpLock() = default;
    ~UucpLock() { release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // Takes the lock at lockPath, replacing a stale one (its process is gone,
    // or it names this process).
    Result acquire(const std::string& lockPath);
    // Removes the lock file if it still names this process.
    void release();

  private:
    std::string path_;
};

}  // namespace zor::posix
