#pragma once
// The serial device seam. One implementation per OS, plus the in-memory
// SimPort whose far end is the simulated chronometer:
//   posix/  a tty through termios: raw mode, poll() for the waits, a
//           non-blocking descriptor, flock and TIOCEXCL for exclusivity, a
//           UUCP lock file beside them;
//   win32/  a COM handle for plain synchronous I/O: the control block (DCB),
//           the driver's time-outs, share mode 0 for exclusivity.
// Every promise below holds on both unless it names one.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zor {

// Modem status bits, with the values the Win32 API uses.
constexpr uint32_t MODEM_CTS_ON = 0x10;
constexpr uint32_t MODEM_DSR_ON = 0x20;
constexpr uint32_t MODEM_RLSD_ON = 0x80;

// The ports every list of ports starts with, whether or not anything stands
// behind them; the serial adapters the OS finds (serialAdapterPaths()) follow.
constexpr std::array<const char*, 4> COM_PORTS = {"COM1", "COM2", "COM3", "COM4"};

// Whether name is one of COM_PORTS, spelt as there; an adapter's name is not.
inline bool isComPort(const std::string& name) {
    return std::find(COM_PORTS.begin(), COM_PORTS.end(), name) != COM_PORTS.end();
}

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Raw binary line, 8 data bits, no parity, one stop bit, no flow control
    // (neither XON/XOFF nor RTS/CTS nor DTR/DSR, whatever the driver had, so
    // 0x11 and 0x13 pass both ways), at the given speed (19200, 38400 or
    // 57600). Discards nothing. False for any other speed and when the driver
    // refuses; lastError() tells why. POSIX also reads the settings back and
    // fails when the driver kept any part of the old ones (a speed the UART
    // cannot make); Win32 leaves that to SetCommState, which refuses such a
    // speed itself, and raises DTR and RTS as the port scan does.
    virtual bool configure(uint32_t bitsPerSecond) = 0;

    // Reads at most one byte. Returns 1 with the byte when one was waiting or
    // arrived within the read wait, 0 when the read wait passed with nothing,
    // -1 on a failed read (the line closed, the device vanished). Never
    // blocks longer than about the read wait (POSIX: poll() for READ_WAIT_MS;
    // Win32: the read time-outs READ_INTERVAL_TIMEOUT, READ_TOTAL_MULTIPLIER
    // and READ_TOTAL_CONSTANT_MS that configure() sets). Before configure()
    // Win32 reads follow whatever time-outs the driver had. POSIX takes all
    // the driver holds (up to READ_CHUNK bytes) in one read and hands it out
    // from there, in order: bytes already taken are returned at once, and a
    // failure is reported only once they are all out.
    virtual int readByte(uint8_t& byte) = 0;

    // Writes the whole buffer before returning (the device may still be
    // shifting it out). False when the OS reports an error, or when the line
    // does not take the bytes within their time on the wire plus a margin;
    // what was not taken is then discarded. A stalled line never hangs the
    // caller: POSIX waits with poll() on a non-blocking descriptor (its
    // WRITE_MARGIN_MS margin), Win32 through the write time-outs configure()
    // sets (about two milliseconds a byte plus its WRITE_MARGIN_MS), so a
    // write before configure() is bounded on POSIX only.
    virtual bool write(const uint8_t* data, size_t size) = 0;

    // Discards whatever is pending in both directions, the bytes readByte()
    // has taken from the driver but not yet returned included: nothing
    // received before a purge is read after it.
    virtual void purge() = 0;

    // CTS, DSR and carrier as MODEM_* bits. False when the driver cannot tell.
    virtual bool modemStatus(uint32_t& bits) = 0;

    // Raises DTR and RTS (so a connected cable's far end can answer with
    // CTS/DSR). Win32 keeps them up through the control block, for as long as
    // the handle is open.
    virtual bool enableDtrRts() = 0;

    // OS error code of the last failed call (errno on POSIX, GetLastError() or
    // ERROR_TIMEOUT for a stalled write on Win32).
    virtual int lastError() const = 0;
};

enum class OpenFailure {
    None,
    NotInstalled,  // no such device (ENOENT, ENODEV, ENXIO; Win32 error 2)
    InUse,         // held by another program (lock, EBUSY; Win32 error 5)
    NotSerial,     // the path is no serial device: a file, a pipe, a folder (ENOTTY)
    Other,         // anything else: see the OS error code and its text
};

struct OpenResult {
    std::unique_ptr<SerialPort> port;  // null on failure
    OpenFailure failure = OpenFailure::None;
    int osError = 0;
};

// Opens serial devices by name. The real one maps COM ports to devices; tests
// hand out in-memory ports.
class SerialDeviceOpener {
  public:
    virtual ~SerialDeviceOpener() = default;
    // Exclusive open of "COMn" or a device path (POSIX: flock and TIOCEXCL;
    // Win32: share mode 0, which Windows' own driver enforces and Wine's does
    // not). queryOnly asks for a handle good enough for modem status and
    // DTR/RTS (the port scan), nothing more.
    // On POSIX a live UUCP lock file of another process (LCK..<device> in
    // $ZORLOAD_LOCK_DIR, else /run/lock or /var/lock) makes the port InUse;
    // a full open writes our own lock file there while the port lives (where
    // the folder is writable), replacing a stale one.
    // On POSIX the path is looked up once: the node found is checked and then
    // opened itself, never looked up again by name, so a link changed in
    // between cannot lead the open elsewhere. Nothing but a character device
    // is ever opened: anything else (a file, a named pipe, a folder) is
    // NotSerial without being opened, and a device that is no terminal
    // (/dev/null) is NotSerial and closed again.
    virtual OpenResult open(const std::string& name, bool queryOnly) = 0;

    // Serial adapters to list after COM_PORTS, by the paths open() takes.
    // None by default; the OS's devices list serialAdapterPaths().
    virtual std::vector<std::string> adapterPaths() { return {}; }
};

// The OS's serial devices.
SerialDeviceOpener& systemSerialDevices();

// The device path open() uses for a port name. POSIX: a name of COM_PORTS
// (any case), "COMn", to $ZORLOAD_COMn when set, else /dev/ttyS<n-1>; any other
// name is taken as a path. Windows: "COM10" and above (any case) to their
// device form "\\.\COM10", the only one CreateFile opens them by; COM1..COM9
// and any other name as given.
std::string resolvePortName(const std::string& name);

// What a port name leads to, looked at without opening anything, for
// checking a list of ports before they are watched.
struct PortNameLookup {
    // The same text for two names of one port: POSIX the device's path with
    // every link resolved (the name as mapped while nothing stands there);
    // Windows "COMn" in capitals for either form of a COM name.
    std::string identity;
    bool exists = false;    // something stands at the name now
    bool isDevice = false;  // and it is a device a port may be (POSIX: a character device)
};
PortNameLookup lookUpPortName(const std::string& name);

// The USB and CDC serial adapters plugged in, beyond COM_PORTS. On POSIX,
// under $ZORLOAD_DEV_ROOT (default /dev): the serial/by-id links, each once,
// then the ttyUSB* and ttyACM* devices no such link points at, in natural
// order (ttyUSB2 before ttyUSB10). A device that COM_PORTS already map to is
// left out. On Windows, where adapters get COM numbers of their own: every
// "COMn" numbered above COM_PORTS in the system's serial-port map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), each once, by number (COM5 before
// COM12).
std::vector<std::string> serialAdapterPaths();

// The names a bench position is best bound to, beyond COM_PORTS: on POSIX
// the serial/by-path links under $ZORLOAD_DEV_ROOT (default /dev), which
// name the USB socket and so survive re-plugging and adapters without
// serial numbers, in natural order, then any adapter serialAdapterPaths()
// finds that no such link leads to; on Windows serialAdapterPaths().
std::vector<std::string> benchPortNames();

}  // namespace zor
