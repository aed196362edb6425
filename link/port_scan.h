#pragma once
// The scan of serial ports COM1..COM4, and of the serial adapters the OS
// names otherwise, for the port page.
#include <string>
#include <vector>

#include "app/ui_sink.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace zor {

struct PortRow {
    std::string name;    // "COM1".."COM4", or an adapter's device path
    std::string device;  // what opening name opens: "/dev/ttyS0", $ZORLOAD_COMn, "COM1" (Windows)
    std::string status;  // "Non installata", "Disponibile (cavo seriale connesso)", ...
    bool available = false;
};

struct PortScan {
    std::vector<PortRow> rows;  // COM1..COM4, then one per adapter
    int selected = -1;          // first available row, -1 when none
};

// Closes the link first (so its port lists as available), then opens every
// port (COM1..COM4, then the opener's adapterPaths()) for a query, raises DTR
// and RTS, waits 50 ms and reads CTS, DSR and carrier. The first available row
// is selected, COM rows first. Busy cursor during the scan, pending events
// processed after each row. When no port is available the user is told ("Scansione porte").
PortScan ScanPorts(SerialDeviceOpener& devices, SerialLink& link, UiSink& ui, Clock& clock);

}  // namespace zor
