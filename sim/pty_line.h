#pragma once
// zorsim's end of the cable: the master side of a pseudo-terminal. Linux only;
// this is a development tool, not part of the product, so it talks to the OS
// directly instead of through platform/.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zor::sim {

class PtyLine {
  public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Makes the pty (raw, 19200 8N1) and points linkPath at its slave. An
    // existing symlink at linkPath is replaced; anything else there is an error.
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

    // Closes the master and removes the link if it still points at our slave.
    void close();

  private:
    int master_ = -1;
    std::string slave_;
    std::string link_;
};

}  // namespace zor::sim
