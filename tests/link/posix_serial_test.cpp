// The POSIX serial device over a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/serial_port.h"

namespace zor::test {
namespace {

TEST(PosixSerial, PtyExclusiveOpenConfigureRoundTripAndHangUp) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const std::string path = ::ptsname(master);

    OpenResult first = systemSerialDevices().open(path, false);
    ASSERT_TRUE(first.port) << first.osError;
    // Refused even for root, whom TIOCEXCL does not stop.
    EXPECT_EQ(systemSerialDevices().open(path, true).failure, OpenFailure::InUse);

    SerialPort& port = *first.port;
    for (uint32_t bps : {19200u, 38400u, 57600u})
        EXPECT_TRUE(port.configure(bps)) << bps;
    EXPECT_FALSE(port.configure(12345));

    uint8_t byte = 0;
    EXPECT_EQ(port.readByte(byte), 0);  // nothing there: returns after its short wait
    // Raw: no CR/LF translation, XON/XOFF are data.
    const uint8_t out[] = {0x7E, 0x0A, 0x0D, 0x11, 0x13, 0x00};
    ASSERT_EQ(::write(master, out, sizeof out), static_cast<ssize_t>(sizeof out));
    for (uint8_t expected : out) {
        ASSERT_EQ(port.readByte(byte), 1);
        EXPECT_EQ(byte, expected);
    }
    const uint8_t back[] = {0x7D, 0x0A, 0x11};
    ASSERT_TRUE(port.write(back, sizeof back));
    uint8_t got[3] = {};
    for (size_t have = 0; have < sizeof got;) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        const ssize_t n = ::read(master, got + have, sizeof got - have);
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(std::vector<uint8_t>(got, got + 3), std::vector<uint8_t>(back, back + 3));

    first.port.reset();
    OpenResult again = systemSerialDevices().open(path, false);
    ASSERT_TRUE(again.port) << "closing must release the lock and the exclusive flag";
    ::close(master);
    EXPECT_EQ(again.port->readByte(byte), -1);  // the far end hung up
}

// A line that never drains (here: nobody reads the pty's other end) ends in a
// failed write instead of a program hung in write().
TEST(PosixSerial, WriteToAStalledLineFails) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const std::string path = ::ptsname(master);
    // A second handle on the line, to stop its output as a dead CTS would.
    const int control = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(control, 0);

    OpenResult opened = systemSerialDevices().open(path, false);
    ASSERT_TRUE(opened.port);
    ASSERT_TRUE(opened.port->configure(57600));
    ASSERT_EQ(::tcflow(control, TCOOFF), 0);
    const std::vector<uint8_t> frame(530, 0x55);
    EXPECT_FALSE(opened.port->write(frame.data(), frame.size()));
    EXPECT_EQ(opened.port->lastError(), ETIMEDOUT);
    ::tcflow(control, TCOON);
    ::close(control);
    ::close(master);
}

TEST(PosixSerial, MissingDeviceAndPortNames) {
    EXPECT_EQ(systemSerialDevices().open("/dev/zorload-no-such-tty", true).failure,
              OpenFailure::NotInstalled);
    ::unsetenv("ZORLOAD_COM2");
    EXPECT_EQ(resolvePortName("com2"), "/dev/ttyS1");
    ::setenv("ZORLOAD_COM2", "/tmp/zor-com2", 1);
    EXPECT_EQ(resolvePortName("COM2"), "/tmp/zor-com2");
    ::unsetenv("ZORLOAD_COM2");
    EXPECT_EQ(resolvePortName("COM5"), "COM5");
}

}  // namespace
}  // namespace zor::test
