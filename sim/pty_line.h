#pragma once
// zorsim's end of the cable: the master side of a pseudo-terminal. Linux only;
// this is a development tool, not part of the product, so it talks to the OS
// directly instead of through platform/.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/path_walk.h"

namespace zor::sim {

class PtyLine {
  public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Makes the pty (raw, 19200 8N1) and points linkPath at its slave. The
    // link is held through a lock file beside it (linkPath + ".lock", made
    // here with O_EXCL, flocked, with our pid): while a running zorsim holds
    // it the open fails. A lock file nobody holds goes only when it is what a
    // zorsim that died leaves (our own file with just a pid line); anything
    // else at that name is left alone and the open fails. A link left by one
    // that died (a symlink to a pty slave) is replaced; anything else at
    // linkPath (a file, a link to a real device) is an error.
    bool open(const std::string& linkPath, std::string& error);
    const std::string& slavePath() const { return slave_; }

    // The line speed the host has set on its end, in bit/s (0 when unknown).
    // On Linux the master's termios calls act on the slave's settings.
    uint32_t hostBps() const;

    // Waits up to timeoutMs for bytes from the host and reads them. Returns the
    // count, 0 on time-out or while no program holds the slave open (the
    // master then reports a hang-up; zorsim keeps polling for the next open),
    // -1 on a real error.
    long read(uint8_t* buf, size_t size, int timeoutMs);
    // Sends to the host; bytes nobody is there to take are dropped.
    void write(const uint8_t* data, size_t size);

    // Closes the master, removes the link if it still points at our slave,
    // then gives up the lock.
    void close();

  private:
    bool lockLink(const std::string& linkPath, std::string& error);
    // linkPath's name through the descriptor of its folder, once walked.
    std::string reached(const std::string& linkPath) const;
    void unlockLink();

    posix::FolderFd folder_;  // the link's folder, while the link is ours
    std::string leaf_;
    int master_ = -1;
    int lockFd_ = -1;  // the flocked lock file while we hold the link
    std::string lockPath_;
    std::string slave_;
    std::string link_;
};

}  // namespace zor::sim
