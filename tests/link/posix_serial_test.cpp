// The POSIX serial device over a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/serial_port.h"

namespace zor::test {
namespace {

class PtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        path = ::ptsname(master);
    }
    void TearDown() override {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    std::string path;
};

TEST_F(PtyTest, ExclusiveOpenConfigureAndRoundTrip) {
    OpenResult first = systemSerialDevices().open(path, false);
    ASSERT_TRUE(first.port) << first.osError;

    // Refused even for root, who is not stopped by TIOCEXCL.
    OpenResult second = systemSerialDevices().open(path, true);
    EXPECT_FALSE(second.port);
    EXPECT_EQ(second.failure, OpenFailure::InUse);

    SerialPort& port = *first.port;
    for (uint32_t bps : {19200u, 38400u, 57600u})
        EXPECT_TRUE(port.configure(bps)) << bps;
    EXPECT_FALSE(port.configure(12345));

    uint8_t byte = 0;
    EXPECT_EQ(port.readByte(byte), 0);  // nothing there: returns after its short wait

    const uint8_t out[] = {0x7E, 0x0A, 0x0D, 0x11, 0x13, 0x00};  // raw: nothing translated
    ASSERT_EQ(::write(master, out, sizeof out), static_cast<ssize_t>(sizeof out));
    for (uint8_t expected : out) {
        ASSERT_EQ(port.readByte(byte), 1);
        EXPECT_EQ(byte, expected);
    }
    const uint8_t back[] = {0x7D, 0x0A, 0xFF};
    ASSERT_TRUE(port.write(back, sizeof back));
    uint8_t got[3] = {};
    size_t have = 0;
    while (have < sizeof got) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        const ssize_t n = ::read(master, got + have, sizeof got - have);
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(0, memcmp(got, back, sizeof back));
    port.purge();

    first.port.reset();
    OpenResult again = systemSerialDevices().open(path, false);
    EXPECT_TRUE(again.port) << "closing must release the lock and the exclusive flag";
    again.port.reset();
}

TEST_F(PtyTest, ReadFailsOnceTheFarEndHangsUp) {
    OpenResult opened = systemSerialDevices().open(path, false);
    ASSERT_TRUE(opened.port);
    ::close(master);
    master = -1;
    uint8_t byte = 0;
    EXPECT_EQ(opened.port->readByte(byte), -1);
}

TEST(PosixSerial, MissingDeviceAndPortNames) {
    OpenResult missing = systemSerialDevices().open("/dev/zorload-no-such-tty", true);
    EXPECT_FALSE(missing.port);
    EXPECT_EQ(missing.failure, OpenFailure::NotInstalled);

    ::unsetenv("ZORLOAD_COM2");
    EXPECT_EQ(resolvePortName("com2"), "/dev/ttyS1");
    ::setenv("ZORLOAD_COM2", "/tmp/zor-com2", 1);
    EXPECT_EQ(resolvePortName("COM2"), "/tmp/zor-com2");
    ::unsetenv("ZORLOAD_COM2");
    EXPECT_EQ(resolvePortName("COM5"), "COM5");
    EXPECT_EQ(resolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace zor::test
