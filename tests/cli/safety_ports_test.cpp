// The serial port as another local user or a hostile device can meet it: a
// port path that is swapped while it is being opened, and a device that sends
// more than one byte at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/serial_port.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

// The master end of a fresh pseudo-terminal; its slave is the port.
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = ::ptsname(master);
    }
    ~Pty() { ::close(master); }
    int master = -1;
    std::string slave;
};

// Lock files of full opens go to the test's own folder.
class SafetyPorts : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = ::getenv("ZORLOAD_LOCK_DIR"))
            oldLockDir_ = old, hadLockDir_ = true;
        ::setenv("ZORLOAD_LOCK_DIR", temp.path().c_str(), 1);
    }
    void TearDown() override {
        hadLockDir_ ? ::setenv("ZORLOAD_LOCK_DIR", oldLockDir_.c_str(), 1)
                    : ::unsetenv("ZORLOAD_LOCK_DIR");
    }

    test::TempDir temp{"zor_ports"};

  private:
    std::string oldLockDir_;
    bool hadLockDir_ = false;
};

// A port name (here a link, as ZORLOAD_COMn or a by-id name may be) that
// someone keeps pointing at a named pipe and back at a real tty: whatever the
// moment, the pipe is never opened, so a writer waiting on it never gets its
// reader.
TEST_F(SafetyPorts, APortSwappedWhileOpeningNeverOpensWhatWasNotChecked) {
    const Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    const std::string fifo = temp.file("fifo"), port = temp.file("port");
    const std::string next = temp.file("next");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(pty.slave.c_str(), port.c_str()), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
        ::_exit(fd >= 0 ? 0 : 1);
    }
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        for (bool toFifo = true; !stop; toFifo = !toFifo) {
            ::symlink((toFifo ? fifo : pty.slave).c_str(), next.c_str());
            ::rename(next.c_str(), port.c_str());
        }
    });
    int opened = 0, refused = 0;
    bool released = false;
    for (int i = 0; i < 20000 && !released; ++i) {
        const OpenResult r = systemSerialDevices().open(port, true);
        if (r.port) {
            ++opened;
        } else {
            ++refused;
        }
        EXPECT_TRUE(r.port || r.failure == OpenFailure::NotSerial) << int(r.failure);
        released = ::waitpid(writer, nullptr, WNOHANG) != 0;
    }
    stop = true;
    swapper.join();
    std::this_thread::sleep_for(100ms);
    released = released || ::waitpid(writer, nullptr, WNOHANG) != 0;
    EXPECT_FALSE(released) << "the writer got a reader, after " << opened << " opens and "
                           << refused << " refusals";
    // Both sides of the swap were met: the race was really run.
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
}

// The port reads ahead of what it hands out: a burst comes out whole and in
// order across its reads from the driver, and a purge drops what was read
// ahead with the rest, so nothing from before it comes after it.
TEST_F(SafetyPorts, ReadAheadKeepsOrderAndGoesWithAPurge) {
    const Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    OpenResult r = systemSerialDevices().open(pty.slave, false);
    ASSERT_TRUE(r.port) << r.osError;
    SerialPort& port = *r.port;
    ASSERT_TRUE(port.configure(57600));
    auto send = [&](const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(pty.master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    };
    auto readAll = [&] {
        std::vector<uint8_t> got;
        for (uint8_t b = 0; port.readByte(b) == 1;)
            got.push_back(b);
        return got;
    };

    // Longer than a few of the port's reads from the driver, and not
    // repeating at any power of two.
    std::vector<uint8_t> burst(10000);
    for (size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<uint8_t>(i * 7 + i / 251);
    send(burst);
    EXPECT_EQ(readAll(), burst);

    send(std::vector<uint8_t>(200, 0xAA));
    std::this_thread::sleep_for(50ms);  // the whole burst reaches the line
    uint8_t first = 0;
    ASSERT_EQ(port.readByte(first), 1);
    EXPECT_EQ(first, 0xAA);
    port.purge();
    const std::vector<uint8_t> after = {0x7E, 0x01, 0x46, 0x7E};
    send(after);
    EXPECT_EQ(readAll(), after);
}

}  // namespace
}  // namespace zor
