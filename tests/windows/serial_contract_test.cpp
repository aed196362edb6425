// The serial device contract of platform/serial_port.h, the same for every
// OS's device: run against zorsim on a pseudo-terminal, named by
// $ZORLOAD_CONTRACT_PORT (a pty path on Linux; under Wine a COM port that
// dosdevices maps to the pty). serial_contract.sh starts zorsim and sets it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_port.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zor::test {
namespace {

using Clock = std::chrono::steady_clock;

// Wine's serial driver does not refuse a second open of a port (share mode
// 0 is only enforced by Windows' own driver).
bool exclusiveOpenEnforced() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr;
#else
    return true;
#endif
}

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The link test (C0 09 "test") as it goes on the wire, and the start of the
// chronometer's reply (C0 0A).
const std::vector<uint8_t> kLinkTest = {0x7E, 0xC0, 0x09, 0x74, 0x65, 0x73, 0x74, 0xCE, 0x5A, 0x7E};
const std::vector<uint8_t> kReplyStart = {0x7E, 0xC0, 0x0A};

class SerialContract : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("ZORLOAD_CONTRACT_PORT");
        if (name == nullptr || *name == '\0')
            GTEST_SKIP() << "no port: run through tests/windows/serial_contract.sh";
        portName = name;
        OpenResult opened = systemSerialDevices().open(portName, false);
        ASSERT_TRUE(opened.port) << "open failed, OS error " << opened.osError;
        port = std::move(opened.port);
        ASSERT_TRUE(port->configure(19200)) << port->lastError();
        port->purge();
    }

    // Bytes read until the closing flag of one frame, or until 500 ms pass.
    std::vector<uint8_t> readFrame() {
        std::vector<uint8_t> bytes;
        const auto start = Clock::now();
        uint8_t byte = 0;
        while (msSince(start) < 500) {
            const int n = port->readByte(byte);
            EXPECT_GE(n, 0) << port->lastError();
            if (n <= 0)
                continue;
            bytes.push_back(byte);
            if (byte == 0x7E && bytes.size() > 1)
                break;
        }
        return bytes;
    }

    std::string portName;
    std::unique_ptr<SerialPort> port;
};

TEST_F(SerialContract, SpeedsTimeOutsEchoAndPurge) {
    for (uint32_t bps : {38400u, 57600u, 19200u})
        EXPECT_TRUE(port->configure(bps)) << bps;
    EXPECT_FALSE(port->configure(12345));
    ASSERT_TRUE(port->configure(19200));

    // A silent line: every read gives up after about 100 ms, never much sooner
    // (the frame receiver counts on it to measure its idle times).
    uint8_t byte = 0;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(port->readByte(byte), 0);
        const long long took = msSince(start);
        EXPECT_GE(took, 80) << "read " << i;
        EXPECT_LE(took, 400) << "read " << i;
    }

    // A frame written whole; the reply's bytes are read as they come, not
    // one read time-out each.
    const auto sent = Clock::now();
    ASSERT_TRUE(port->write(kLinkTest.data(), kLinkTest.size())) << port->lastError();
    const std::vector<uint8_t> reply = readFrame();
    EXPECT_LT(msSince(sent), 300) << "the reply was read one time-out per byte";
    ASSERT_GE(reply.size(), kReplyStart.size());
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 3), kReplyStart);

    // A reply that has arrived but not been read is gone after a purge.
    ASSERT_TRUE(port->write(kLinkTest.data(), kLinkTest.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    port->purge();
    EXPECT_EQ(port->readByte(byte), 0) << "byte " << int(byte) << " survived the purge";
}

// A pseudo-terminal has no modem lines: the device says it cannot tell,
// rather than reporting lines that are not there, and a port scan row then
// reads "Disponibile". The port stays exclusive while open (where the OS
// enforces it), and is free again once closed.
TEST_F(SerialContract, ModemLinesAndExclusiveOpen) {
    uint32_t bits = 0xFFFFFFFF;
    if (port->modemStatus(bits)) {
        EXPECT_EQ(bits & ~(MODEM_CTS_ON | MODEM_DSR_ON | MODEM_RLSD_ON), 0u);
    } else {
        EXPECT_NE(port->lastError(), 0);
    }
    if (exclusiveOpenEnforced()) {
        EXPECT_EQ(systemSerialDevices().open(portName, true).failure, OpenFailure::InUse);
        EXPECT_EQ(systemSerialDevices().open(portName, false).failure, OpenFailure::InUse);
    }
    port.reset();
    OpenResult again = systemSerialDevices().open(portName, true);
    EXPECT_TRUE(again.port) << "closing must free the port, OS error " << again.osError;
}

}  // namespace
}  // namespace zor::test
