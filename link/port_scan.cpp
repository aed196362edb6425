#include "link/port_scan.h"

#include "link/protocol.h"

namespace zor {

namespace {

constexpr uint32_t CABLE_LINES = MODEM_CTS_ON | MODEM_DSR_ON | MODEM_RLSD_ON;

PortStatus failureStatus(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::NotInstalled:
            return PortStatus::NotInstalled;
        case OpenFailure::InUse:
            return PortStatus::InUse;
        case OpenFailure::NotSerial:
            return PortStatus::NotSerial;
        default:
            return PortStatus::OpenFailed;
    }
}

}  // namespace

PortScan ScanPorts(SerialDeviceOpener& devices, SerialLink& link, Clock& clock,
                   const PortScanSteps& steps) {
    if (steps.busy)
        steps.busy(true);
    link.RsClose();
    if (steps.cleared)
        steps.cleared();
    PortScan scan;
    std::vector<std::string> names(COM_PORTS.begin(), COM_PORTS.end());
    for (std::string& path : devices.adapterPaths())
        names.push_back(std::move(path));
    for (const std::string& name : names) {
        PortRow row;
        row.name = name;
        row.device = resolvePortName(name);
        OpenResult opened = devices.open(row.name, true);
        if (!opened.port) {
            row.status = failureStatus(opened.failure);
            row.osError = opened.osError;
        } else {
            row.status = PortStatus::AvailableCableUnknown;
            // A connected cable's far end answers raised DTR/RTS with CTS, DSR
            // and carrier; the lines need a moment to follow.
            opened.port->enableDtrRts();
            clock.sleepMs(proto::SCAN_MODEM_SETTLE_MS);
            uint32_t bits = 0;
            if (opened.port->modemStatus(bits)) {
                row.status = (bits & CABLE_LINES) == CABLE_LINES
                                 ? PortStatus::AvailableCableConnected
                                 : PortStatus::AvailableNoCable;
            }
            opened.port.reset();
            row.available = true;
            if (scan.selected < 0)
                scan.selected = static_cast<int>(scan.rows.size());
        }
        scan.rows.push_back(row);
        if (steps.rowAdded)
            steps.rowAdded(scan.rows.back());
    }
    if (steps.scanned)
        steps.scanned(scan);
    if (scan.selected < 0 && steps.noPorts)
        steps.noPorts(Outcome::noPorts());
    if (steps.busy)
        steps.busy(false);
    return scan;
}

}  // namespace zor
