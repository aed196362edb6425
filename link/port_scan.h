#pragma once
// The scan of serial ports COM1..COM4, and of the serial adapters the OS
// names otherwise, for the port page.
#include <functional>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace zor {

// What the scan found behind a port. The three Available states opened it;
// they differ in what the modem lines said about a cable.
enum class PortStatus {
    NotInstalled,             // no such device
    InUse,                    // held by another program
    NotSerial,                // a file, a pipe, a folder: no serial device
    OpenFailed,               // any other failure to open: PortRow::osError says which
    AvailableCableUnknown,    // opened; the modem lines could not be read
    AvailableCableConnected,  // opened; CTS, DSR and carrier all answer DTR and RTS
    AvailableNoCable,         // opened; not all of CTS, DSR and carrier answer
};

struct PortRow {
    std::string name;    // one of COM_PORTS, or an adapter's device path
    std::string device;  // what opening name opens: "/dev/ttyS0", $ZORLOAD_COMn, "COM1" (Windows)
    PortStatus status = PortStatus::NotInstalled;
    int osError = 0;         // the OS's error code when the open failed
    bool available = false;  // one of the Available states
};

struct PortScan {
    std::vector<PortRow> rows;  // COM_PORTS, then one per adapter
    int selected = -1;          // first available row, -1 when none
};

// Where a list on screen follows the scan; each step may be empty.
struct PortScanSteps {
    std::function<void(bool)> busy;                // the scan begins (true) and ends (false)
    std::function<void()> cleared;                 // the link is closed: empty the list
    std::function<void(const PortRow&)> rowAdded;  // one more row
    std::function<void(const PortScan&)> scanned;  // every row is in
    std::function<void(const Outcome&)> noPorts;   // NoPorts: not one port is available
};

// In this order: steps.busy(true); the link closed (so its port lists as
// available); steps.cleared; then every port (COM_PORTS, then the opener's
// adapterPaths()) opened for a query, DTR and RTS raised, a pause of
// proto::SCAN_MODEM_SETTLE_MS, CTS, DSR and carrier read, steps.rowAdded;
// steps.scanned; steps.noPorts when no port is available; steps.busy(false). The first available
// row is selected, COM rows first.
PortScan ScanPorts(SerialDeviceOpener& devices, SerialLink& link, Clock& clock,
                   const PortScanSteps& steps = {});

}  // namespace zor
