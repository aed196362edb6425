// The serial device on Windows: a COM handle opened for plain synchronous
// I/O, the driver's control block (DCB) and its time-outs.
#include "platform/serial_port.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/port_claim.h"
#include "platform/win32/serial_device.h"

namespace zor {

namespace win32 {

// With these read time-outs ReadFile of one byte returns at once when a byte
// is waiting, else as soon as one arrives, else after 100 ms with nothing:
// the one-byte poll the frame receiver is built on.
constexpr DWORD READ_INTERVAL_TIMEOUT = MAXDWORD;
constexpr DWORD READ_TOTAL_MULTIPLIER = MAXDWORD;
constexpr DWORD READ_TOTAL_CONSTANT_MS = 100;
// A write may take its bytes' time on the wire (ten bits each, start and
// stop included), rounded up and one more millisecond per byte, plus this
// margin for a UART's FIFO and a USB adapter's latency: a whole 3000-byte
// frame gets about 6.5 s, a stalled line never more.
constexpr DWORD WRITE_MARGIN_MS = 500;

void setChronometerLine(DCB& dcb, DWORD bitsPerSecond) {
    dcb.BaudRate = bitsPerSecond;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // Frames are binary and carry 0x11 and 0x13 unescaped (check bytes, data
    // blocks): with XON/XOFF on, the driver would swallow them or stop the
    // line. The flags are whatever the last program left (a terminal program,
    // or Wine reporting a pty's IXON as fOutX), so they are cleared here.
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    // The chronometer's cable carries no handshake lines worth waiting for:
    // with CTS or DSR flow control left on, every write would stall.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    // Raised and steady, as the port scan leaves them for the cable's far end.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
}

COMMTIMEOUTS chronometerTimeouts(DWORD bitsPerSecond) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = READ_INTERVAL_TIMEOUT;
    t.ReadTotalTimeoutMultiplier = READ_TOTAL_MULTIPLIER;
    t.ReadTotalTimeoutConstant = READ_TOTAL_CONSTANT_MS;
    t.WriteTotalTimeoutMultiplier = (10 * 1000 + bitsPerSecond - 1) / bitsPerSecond + 1;
    t.WriteTotalTimeoutConstant = WRITE_MARGIN_MS;
    return t;
}

}  // namespace win32

namespace {

bool isLineSpeed(uint32_t bitsPerSecond) {
    return bitsPerSecond == 19200 || bitsPerSecond == 38400 || bitsPerSecond == 57600;
}

class Win32SerialPort : public SerialPort {
  public:
    Win32SerialPort(HANDLE handle, std::unique_ptr<win32::PortClaim> claim)
        : handle_(handle), claim_(std::move(claim)) {}
    ~Win32SerialPort() override { ::CloseHandle(handle_); }  // the claim goes after

    // The chronometer's line (win32::setChronometerLine) on the control block
    // as the driver holds it, then the time-outs of the one-byte poll and of
    // bounded writes.
    bool configure(uint32_t bitsPerSecond) override {
        if (!isLineSpeed(bitsPerSecond))
            return fail(ERROR_INVALID_PARAMETER);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb))
            return failLast();
        win32::setChronometerLine(dcb, bitsPerSecond);
        if (!::SetCommState(handle_, &dcb))
            return failLast();

        COMMTIMEOUTS timeouts = win32::chronometerTimeouts(bitsPerSecond);
        if (!::SetCommTimeouts(handle_, &timeouts))
            return failLast();
        if (!::SetCommMask(handle_, EV_RXCHAR))
            return failLast();
        return true;
    }

    int readByte(uint8_t& byte) override {
        DWORD got = 0;
        if (!::ReadFile(handle_, &byte, 1, &got, nullptr)) {
            failLast();
            return -1;
        }
        return got == 1 ? 1 : 0;
    }

    // One request, bounded by the write time-outs configure() set: a short
    // count means they ran out (the line stalled). Whatever of the frame the
    // driver still holds is dropped then, so none of it reaches the
    // chronometer later.
    bool write(const uint8_t* data, size_t size) override {
        DWORD n = 0;
        if (!::WriteFile(handle_, data, static_cast<DWORD>(size), &n, nullptr))
            return failLast();
        if (n < size) {
            ::PurgeComm(handle_, PURGE_TXCLEAR);
            return fail(ERROR_TIMEOUT);
        }
        return true;
    }

    void purge() override { ::PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR); }

    bool modemStatus(uint32_t& bits) override {
        DWORD status = 0;
        if (!::GetCommModemStatus(handle_, &status))
            return failLast();
        bits = status & (MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
        return true;
    }

    // Through the control block, so that the lines stay up as long as the
    // handle is open (EscapeCommFunction would be undone by the next
    // SetCommState).
    bool enableDtrRts() override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb))
            return failLast();
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (!::SetCommState(handle_, &dcb))
            return failLast();
        return true;
    }

    int lastError() const override { return lastError_; }

    HANDLE handle() const { return handle_; }

  private:
    bool fail(DWORD error) {
        lastError_ = static_cast<int>(error);
        return false;
    }
    bool failLast() { return fail(::GetLastError()); }

    HANDLE handle_;
    std::unique_ptr<win32::PortClaim> claim_;  // null when none could be made
    int lastError_ = 0;
};

static_assert(MS_CTS_ON == MODEM_CTS_ON && MS_DSR_ON == MODEM_DSR_ON && MS_RLSD_ON == MODEM_RLSD_ON,
              "the modem bits are the Win32 ones");

OpenFailure classify(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:  // 2: no such device
            return OpenFailure::NotInstalled;
        case ERROR_ACCESS_DENIED:  // 5: what a port held by another program answers
            return OpenFailure::InUse;
        default:
            return OpenFailure::Other;
    }
}

class Win32SerialDevices : public SerialDeviceOpener {
  public:
    // Exclusive (share mode 0, and our claim on the port for the other
    // Zorload programs) and synchronous. A query asks for no access at all:
    // enough for the control block and the modem status.
    OpenResult open(const std::string& name, bool queryOnly) override {
        OpenResult r;
        const auto failed = [&r](DWORD error) {
            r.failure = classify(error);
            r.osError = static_cast<int>(error);
            return std::move(r);
        };
        // Another Zorload program's claim keeps us off, a query too (the
        // port scan shows the port as used), whatever the driver allows.
        DWORD pid = 0;
        std::string program;
        if (win32::portClaimed(name, pid, program))
            return failed(ERROR_ACCESS_DENIED);
        std::unique_ptr<win32::PortClaim> claim;
        if (!queryOnly) {
            DWORD error = 0;
            claim = win32::PortClaim::take(name, error);
            if (error != 0)
                return failed(error);
        }
        const std::string path = resolvePortName(name);
        const DWORD access = queryOnly ? 0 : GENERIC_READ | GENERIC_WRITE;
        HANDLE h = ::CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return failed(::GetLastError());
        r.port = std::make_unique<Win32SerialPort>(h, std::move(claim));
        return r;
    }

    std::vector<std::string> adapterPaths() override { return serialAdapterPaths(); }
};

// n of a port name "COMn" (any case; n of at most 9 digits, the first not 0),
// else 0.
unsigned long comNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 12 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' ||
        (name[2] | 0x20) != 'm' || name[3] == '0')
        return 0;
    unsigned long n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return n;
}

}  // namespace

HANDLE win32::handleOf(SerialPort& port) {
    auto* own = dynamic_cast<Win32SerialPort*>(&port);
    return own != nullptr ? own->handle() : INVALID_HANDLE_VALUE;
}

SerialDeviceOpener& systemSerialDevices() {
    static Win32SerialDevices devices;
    return devices;
}

// COM1..COM9 are opened by their DOS names as given (any case); the system
// knows "COM10" and above only in their device form "\\.\COM10". Any other
// name is passed on unchanged, so "\\.\COM12" works as well.
std::string resolvePortName(const std::string& name) {
    const unsigned long n = comNumber(name);
    return n >= 10 ? "\\\\.\\COM" + std::to_string(n) : name;
}

PortNameLookup lookUpPortName(const std::string& name) {
    PortNameLookup r;
    // "\\.\COM12" and "COM12" are one port.
    const std::string bare = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    if (const unsigned long n = comNumber(bare)) {
        // A COM port is looked at only by opening it: taken as a device.
        r.identity = "COM" + std::to_string(n);
        r.exists = r.isDevice = true;
        return r;
    }
    r.identity = name;
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    r.exists = attributes != INVALID_FILE_ATTRIBUTES;
    return r;
}

// The system's serial-port map: one value per port driver instance, its data
// the port's name. A USB adapter gets a COM number of its own there; names
// of another form (a driver's own) are no COM port for CreateFile.
std::vector<std::string> serialAdapterPaths() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                        &key) != ERROR_SUCCESS)
        return {};
    std::vector<unsigned long> numbers;
    std::vector<wchar_t> valueName(16384);  // the longest a value name can be, and its end
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        wchar_t data[16] = {};
        DWORD dataBytes = sizeof data - sizeof data[0];  // room left for the end
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_MORE_DATA)
            continue;  // data too long for a COM port's name
        if (result != ERROR_SUCCESS)
            break;  // ERROR_NO_MORE_ITEMS, or the key went away
        if (type != REG_SZ)
            continue;
        std::string portName;
        for (const wchar_t* c = data; *c != L'\0'; ++c)
            portName += *c < 0x80 ? static_cast<char>(*c) : '?';
        const unsigned long n = comNumber(portName);
        if (n > COM_PORTS.size())
            numbers.push_back(n);
    }
    ::RegCloseKey(key);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> names;
    for (unsigned long n : numbers)
        names.push_back("COM" + std::to_string(n));
    return names;
}

std::vector<std::string> benchPortNames() {
    return serialAdapterPaths();
}

}  // namespace zor
