// The serial device contract of platform/serial_port.h, the same for every
// OS's device: run against zorsim on a pseudo-terminal, named by
// $ZORLOAD_CONTRACT_PORT (a pty path on Linux; under Wine a COM port that
// dosdevices maps to the pty). serial_contract.sh starts zorsim and sets it,
// with an identification text that holds the XON and XOFF bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link.h"
#include "platform/serial_port.h"
#include "support/recording_ui.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/serial_device.h"
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
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

#ifdef _WIN32
bool onWine() {
    return !exclusiveOpenEnforced();
}
#endif

// Leaves the device as another program may: XON/XOFF on, and where termios
// has them canonical input, echo and output processing too (a terminal
// program, or any fresh tty on Linux). Under Wine the DCB's XON/XOFF flags
// become the pty's IXON and IXOFF. True when the OS then reports XON/XOFF on.
bool leaveInCookedMode(const std::string& name) {
#ifdef _WIN32
    const HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool on = ::GetCommState(h, &dcb);
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    on = on && ::SetCommState(h, &dcb) && ::GetCommState(h, &dcb) && dcb.fOutX && dcb.fInX;
    ::CloseHandle(h);
    return on;
#else
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    bool on = fd >= 0 && ::tcgetattr(fd, &t) == 0;
    t.c_iflag |= IXON | IXOFF | ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    on = on && ::tcsetattr(fd, TCSANOW, &t) == 0 && ::tcgetattr(fd, &t) == 0 &&
         (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF);
    if (fd >= 0)
        ::close(fd);
    return on;
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

// A port left with XON/XOFF on carries 0x11 and 0x13 both ways once
// configured. The identification answer ends in XON then XOFF: with XON/XOFF
// still on, both bytes would be swallowed and the XOFF would stop the line,
// so the display command holding them that follows would never leave.
TEST_F(SerialContract, XonXoffLeftOnIsCleared) {
    port.reset();
    ASSERT_TRUE(leaveInCookedMode(portName));
    RecordingUi ui;
    SerialLink link(systemSerialDevices(), systemClock());
    ASSERT_TRUE(link.RsOpen(portName));
    EXPECT_EQ(link.RsCommand(std::string("I\0", 2), 1000), 7);
    EXPECT_NE(link.RsLastAnswer().find("\x11\x13"), std::string::npos) << link.RsLastAnswer();
    EXPECT_EQ(link.RsCommand(std::string("H") + "\x11\x13" + "XON XOFF", 1000), 0);
}

#ifdef _WIN32
// What the driver holds after configure(), read back field by field, from a
// control block a previous program left with everything wrong. Wine reports
// what the pty's termios holds and fixed values for the rest (DTR and RTS
// on, fTXContinueOnXoff off, and a pty keeps 8 data bits whatever is asked),
// so every field is also checked on the block configure() hands the driver.
TEST_F(SerialContract, DriverHoldsTheLineConfigured) {
    const HANDLE h = win32::handleOf(*port);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dirty{};
    dirty.DCBlength = sizeof dirty;
    ASSERT_TRUE(::GetCommState(h, &dirty));
    dirty.ByteSize = 7;
    dirty.Parity = EVENPARITY;
    dirty.StopBits = TWOSTOPBITS;
    dirty.fOutX = dirty.fInX = dirty.fOutxCtsFlow = dirty.fOutxDsrFlow = TRUE;
    dirty.fDsrSensitivity = dirty.fParity = dirty.fNull = dirty.fErrorChar = TRUE;
    dirty.fAbortOnError = TRUE;
    dirty.fTXContinueOnXoff = FALSE;
    dirty.fDtrControl = DTR_CONTROL_DISABLE;
    dirty.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ::SetCommState(h, &dirty);  // as much of it as the driver takes

    constexpr DWORD bps = 57600;
    ASSERT_TRUE(port->configure(bps)) << port->lastError();
    DCB held{};
    held.DCBlength = sizeof held;
    ASSERT_TRUE(::GetCommState(h, &held));
    struct Field {
        const char* name;
        DWORD (*get)(const DCB&);
        DWORD want;
        bool wineKeeps;
    };
    const Field fields[] = {
        {"BaudRate", [](const DCB& d) -> DWORD { return d.BaudRate; }, bps, true},
        {"ByteSize", [](const DCB& d) -> DWORD { return d.ByteSize; }, 8, true},
        {"Parity", [](const DCB& d) -> DWORD { return d.Parity; }, NOPARITY, true},
        {"StopBits", [](const DCB& d) -> DWORD { return d.StopBits; }, ONESTOPBIT, true},
        {"fBinary", [](const DCB& d) -> DWORD { return d.fBinary; }, TRUE, true},
        {"fParity", [](const DCB& d) -> DWORD { return d.fParity; }, FALSE, true},
        {"fErrorChar", [](const DCB& d) -> DWORD { return d.fErrorChar; }, FALSE, true},
        {"fNull", [](const DCB& d) -> DWORD { return d.fNull; }, FALSE, true},
        {"fAbortOnError", [](const DCB& d) -> DWORD { return d.fAbortOnError; }, FALSE, true},
        {"fOutX", [](const DCB& d) -> DWORD { return d.fOutX; }, FALSE, true},
        {"fInX", [](const DCB& d) -> DWORD { return d.fInX; }, FALSE, true},
        {"fOutxCtsFlow", [](const DCB& d) -> DWORD { return d.fOutxCtsFlow; }, FALSE, true},
        {"fOutxDsrFlow", [](const DCB& d) -> DWORD { return d.fOutxDsrFlow; }, FALSE, true},
        {"fDsrSensitivity", [](const DCB& d) -> DWORD { return d.fDsrSensitivity; }, FALSE, true},
        {"fTXContinueOnXoff", [](const DCB& d) -> DWORD { return d.fTXContinueOnXoff; }, TRUE,
         false},
        {"fDtrControl", [](const DCB& d) -> DWORD { return d.fDtrControl; }, DTR_CONTROL_ENABLE,
         true},
        {"fRtsControl", [](const DCB& d) -> DWORD { return d.fRtsControl; }, RTS_CONTROL_ENABLE,
         true},
    };
    for (const Field& f : fields) {
        if (f.wineKeeps || !onWine()) {
            EXPECT_EQ(f.get(held), f.want) << f.name << " as the driver holds it";
        }
    }
    // The block handed to the driver, from one read as all zeros and from
    // one read as all ones: no field is left as read by chance. The XON/XOFF
    // characters and limits are.
    for (const uint8_t fill : {0x00, 0xFF}) {
        DCB handed;
        std::memset(&handed, fill, sizeof handed);
        win32::setChronometerLine(handed, bps);
        for (const Field& f : fields)
            EXPECT_EQ(f.get(handed), f.want) << f.name << " set on a block of " << int(fill);
        EXPECT_EQ(handed.XonLim, fill * 0x101);
        EXPECT_EQ(static_cast<uint8_t>(handed.XoffChar), fill);
    }
}

// At every speed: the one-byte poll's read time-outs exactly, write
// time-outs that let the largest frame out with room to spare yet end a
// stalled write within seconds, and only the received-character event.
TEST_F(SerialContract, DriverHoldsTheTimeOutsAndEventMask) {
    const HANDLE h = win32::handleOf(*port);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (DWORD bps : {19200ul, 38400ul, 57600ul}) {
        ASSERT_TRUE(port->configure(bps)) << bps;
        COMMTIMEOUTS t{};
        ASSERT_TRUE(::GetCommTimeouts(h, &t));
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD) << bps;
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, MAXDWORD) << bps;
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 100u) << bps;
        for (DWORD bytes : {1ul, 3000ul}) {
            const DWORD wireMs = bytes * 10 * 1000 / bps;
            const DWORD allowed =
                t.WriteTotalTimeoutMultiplier * bytes + t.WriteTotalTimeoutConstant;
            EXPECT_GE(allowed, wireMs + 100) << bytes << " bytes at " << bps;
            EXPECT_LE(allowed, 10000u) << bytes << " bytes at " << bps;
        }
        DWORD mask = 0;
        ASSERT_TRUE(::GetCommMask(h, &mask));
        EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR)) << bps;
    }
}

// The system opens COM10 and above only in their device form; COM1..COM9
// and every other name go to CreateFile as given.
TEST(SerialPortName, ComTenAndAboveInDeviceForm) {
    const struct {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM1", "COM1"},
        {"com9", "com9"},
        {"COM10", "\\\\.\\COM10"},
        {"cOm12", "\\\\.\\COM12"},
        {"COM256", "\\\\.\\COM256"},
        {"COM012", "COM012"},
        {"COM12a", "COM12a"},
        {"COM", "COM"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},
        {"LPT12", "LPT12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolvePortName(c.name), c.device) << c.name;
}
#endif

}  // namespace
}  // namespace zor::test
