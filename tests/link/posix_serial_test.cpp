// The POSIX serial device over a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "link/port_scan.h"
#include "platform/serial_port.h"
#include "platform/system_error.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace zor::test {
namespace {

namespace fs = std::filesystem;

// An environment variable set for one test, restored after it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name))
            old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

using test::fileText;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(PosixSerial, PtyExclusiveOpenConfigureRoundTripAndHangUp) {
    const TempDir locks("zorlock");
    const ScopedEnv lockDir("ZORLOAD_LOCK_DIR", locks.path());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const std::string path = ::ptsname(master);
    // What a previous program may leave on the line: hardware and software flow
    // control, cooked mode.
    const int control = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(control, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(control, &tio), 0);
    tio.c_cflag |= CRTSCTS;
    tio.c_iflag |= IXON | IXOFF;
    tio.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(control, TCSANOW, &tio), 0);

    OpenResult first = systemSerialDevices().open(path, false);
    ASSERT_TRUE(first.port) << first.osError;
    // Refused even for root, whom TIOCEXCL does not stop.
    EXPECT_EQ(systemSerialDevices().open(path, true).failure, OpenFailure::InUse);

    SerialPort& port = *first.port;
    const std::pair<uint32_t, speed_t> speeds[] = {
        {19200, B19200}, {38400, B38400}, {57600, B57600}};
    for (const auto& [bps, constant] : speeds) {
        ASSERT_TRUE(port.configure(bps)) << bps;
        ASSERT_EQ(::tcgetattr(control, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), constant);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    }
    EXPECT_FALSE(port.configure(12345));
    ::close(control);

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

// UUCP lock files: another program's live lock keeps every open off the port,
// a stale one (or one naming this process) gives way, and our own lock lives
// exactly as long as the port.
TEST(PosixSerial, LockFiles) {
    const TempDir locks("zorlock");
    const ScopedEnv lockDir("ZORLOAD_LOCK_DIR", locks.path());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    // Opened by a link name: the lock is named after the device behind it.
    const std::string link = locks.file("cable");
    fs::create_symlink(device, link);
    const std::string lockFile = locks.file("LCK.." + device.substr(device.rfind('/') + 1));

    auto binary = [](int32_t pid) { return std::string(reinterpret_cast<char*>(&pid), 4); };
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    constexpr int32_t GONE = 99999999;  // above any pid_max: never a process
    const struct {
        const char* what;
        bool present;
        std::string content;
        bool inUse;
    } cases[] = {
        {"no lock", false, "", false},
        {"live, text", true, "         1\n", true},  // init is always running
        {"live, binary", true, binary(1), true},
        {"stale, text", true, "  99999999\n", false},
        {"stale, binary", true, binary(GONE), false},
        {"our own pid", true, ours, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(lockFile);
        if (c.present)
            writeFile(lockFile, c.content);
        for (bool queryOnly : {true, false}) {
            OpenResult opened = systemSerialDevices().open(link, queryOnly);
            EXPECT_EQ(opened.failure, c.inUse ? OpenFailure::InUse : OpenFailure::None);
            if (c.inUse || queryOnly) {
                // A refused open and a query leave the lock file as it was.
                EXPECT_EQ(fs::exists(lockFile), c.present);
                if (c.present) {
                    EXPECT_EQ(fileText(lockFile), c.content);
                }
                continue;
            }
            ASSERT_TRUE(opened.port);
            EXPECT_EQ(fileText(lockFile), ours);
            opened.port.reset();
            EXPECT_FALSE(fs::exists(lockFile));
            opened = systemSerialDevices().open(link, false);
            EXPECT_TRUE(opened.port) << "our own lock must not keep us out";
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(locks.path()), fs::directory_iterator()), 1)
        << "only the link is left: no lock, no temporary file";
    ::close(master);
}

// Paths that open fine but are no serial device are refused at once (a named
// pipe must not hang the open), and the port scan and the link say so.
TEST(PosixSerial, NonSerialPathsAreRefusedAndScannedAsSuch) {
    const TempDir temp("zorport");
    const ScopedEnv lockDir("ZORLOAD_LOCK_DIR", temp.path());
    writeFile(temp.file("file"), "data");
    ASSERT_EQ(::mkfifo(temp.file("fifo").c_str(), 0600), 0);
    for (const std::string& path :
         {temp.file("file"), temp.file("fifo"), temp.path(), std::string("/dev/null")}) {
        for (bool queryOnly : {true, false}) {
            const OpenResult r = systemSerialDevices().open(path, queryOnly);
            EXPECT_TRUE(!r.port && r.failure == OpenFailure::NotSerial && r.osError == ENOTTY)
                << path;
        }
    }

    // COM1 and COM2 are no ports, COM3 is held through its lock file, COM4 is
    // free; no adapters.
    fs::create_directory(temp.file("dev"));
    const ScopedEnv devRoot("ZORLOAD_DEV_ROOT", temp.file("dev"));
    const int held = ::posix_openpt(O_RDWR | O_NOCTTY), free = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(held >= 0 && free >= 0);
    ASSERT_EQ(::grantpt(held) | ::unlockpt(held) | ::grantpt(free) | ::unlockpt(free), 0);
    const std::string heldPath = ::ptsname(held);
    writeFile(temp.file("LCK.." + heldPath.substr(heldPath.rfind('/') + 1)), "         1\n");
    const ScopedEnv com1("ZORLOAD_COM1", "/dev/null"), com2("ZORLOAD_COM2", temp.file("fifo")),
        com3("ZORLOAD_COM3", heldPath), com4("ZORLOAD_COM4", ::ptsname(free));
    VirtualClock clock;
    RecordingUi ui;
    SerialLink link(systemSerialDevices(), clock);
    const PortScan scan = ScanPorts(systemSerialDevices(), link, clock, ui.scanSteps());
    ASSERT_EQ(scan.rows.size(), 4u);
    EXPECT_EQ(scan.rows[0].status, PortStatus::NotSerial);
    EXPECT_EQ(scan.rows[1].status, PortStatus::NotSerial);
    EXPECT_EQ(scan.rows[2].status, PortStatus::InUse);
    EXPECT_TRUE(scan.rows[3].available);
    EXPECT_EQ(scan.selected, 3);

    EXPECT_FALSE(ui.tell(link.RsOpen("COM1")));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Errore apertura file");
    EXPECT_EQ(ui.boxes[0].text, systemErrorText(ENOTTY));
    ::close(held);
    ::close(free);
}

// A pseudo-terminal standing in for a serial adapter.
struct Pty {
    Pty() : master(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0)
            ::close(master);
    }
    int master;
    std::string slave;
};

// Adapters follow COM1..COM4 in a fake /dev: the by-id links first, then the
// ttyUSB and ttyACM nodes no link points at, in natural order, none of them
// twice and none that a COM port maps to; each with the usual state, opened
// by its path.
TEST(PosixSerial, AdapterRowsFollowTheComPorts) {
    const TempDir temp("zordev");
    const ScopedEnv lockDir("ZORLOAD_LOCK_DIR", temp.path());
    const std::string dev = temp.file("dev");
    const ScopedEnv devRoot("ZORLOAD_DEV_ROOT", dev);
    const Pty cable, held, mapped;
    ASSERT_FALSE(cable.slave.empty() || held.slave.empty() || mapped.slave.empty());
    writeFile(temp.file("LCK.." + held.slave.substr(held.slave.rfind('/') + 1)), "         1\n");
    fs::create_directories(dev + "/serial/by-id");
    fs::create_symlink(cable.slave, dev + "/ttyUSB0");
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Maker_Cable_A1-if00-port0");
    fs::create_symlink(held.slave, dev + "/ttyUSB2");
    writeFile(dev + "/ttyUSB10", "");
    fs::create_symlink(mapped.slave, dev + "/ttyACM0");
    writeFile(dev + "/ttyS0", "");    // no adapter name
    writeFile(dev + "/ttyUSBx", "");  // nor this
    const std::string byId = dev + "/serial/by-id/usb-Maker_Cable_A1-if00-port0";
    const std::optional<PortStatus> busy = PortStatus::InUse, notSerial = PortStatus::NotSerial;
    const std::optional<PortStatus> opened;  // available, whatever the modem lines say

    const struct {
        const char* what;
        std::string com1;
        std::vector<std::pair<std::string, std::optional<PortStatus>>> adapters;  // name, state
        int selected;
    } cases[] = {
        {"COM1 is the ttyACM0 device",
         mapped.slave,
         {{byId, opened}, {dev + "/ttyUSB2", busy}, {dev + "/ttyUSB10", notSerial}},
         0},
        {"no COM port",
         temp.file("absent"),
         {{byId, opened},
          {dev + "/ttyUSB2", busy},
          {dev + "/ttyUSB10", notSerial},
          {dev + "/ttyACM0", opened}},
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv com1("ZORLOAD_COM1", c.com1), com2("ZORLOAD_COM2", temp.file("absent")),
            com3("ZORLOAD_COM3", temp.file("absent")), com4("ZORLOAD_COM4", temp.file("absent"));
        VirtualClock clock;
        RecordingUi ui;
        SerialLink link(systemSerialDevices(), clock);
        const PortScan scan = ScanPorts(systemSerialDevices(), link, clock, ui.scanSteps());
        ASSERT_EQ(scan.rows.size(), 4 + c.adapters.size());
        EXPECT_EQ(scan.rows[0].device, c.com1);
        EXPECT_EQ(scan.rows[1].status, PortStatus::NotInstalled);
        for (size_t i = 0; i < c.adapters.size(); ++i) {
            const PortRow& row = scan.rows[4 + i];
            EXPECT_EQ(row.name, c.adapters[i].first);
            EXPECT_EQ(row.device, row.name);
            if (c.adapters[i].second) {
                EXPECT_EQ(row.status, *c.adapters[i].second) << row.name;
            }
            EXPECT_EQ(row.available, !c.adapters[i].second) << row.name;
        }
        EXPECT_EQ(scan.selected, c.selected);
        EXPECT_TRUE(ui.boxes.empty());

        ASSERT_TRUE(link.RsOpen(scan.rows[4].name));
        EXPECT_FALSE(systemSerialDevices().open(cable.slave, true).port)
            << "the link holds the adapter's device";
        link.RsClose();
    }
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
