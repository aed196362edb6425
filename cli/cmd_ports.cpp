// zorload-cli ports: the serial ports and what stands behind each.
#include <cstdio>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/port_access.h"
#include "engine/plan_json.h"
#include "engine/update_session.h"
#include "platform/clock.h"
#include "text/port_text.h"

namespace zor::cli {

int cmdPorts(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("ports", args, opt);
    if (!problem.empty())
        return usageError("ports", problem);
    CliDevices devices(systemSerialDevices());
    CliObserver observer;
    UpdateSession session(devices, systemClock(), observer);
    const PortScan scan = session.scanPorts();
    if (scan.selected < 0)
        printBoxes(Outcome::noPorts(), applicationTitle());
    JsonWriter json;
    json.beginArray();
    for (const PortRow& row : scan.rows) {
        const std::string device = row.device.empty() ? resolvePortName(row.name) : row.device;
        if (opt.json) {
            json.beginObject()
                .member("name", row.name)
                .member("device", device)
                .member("status", portStatusText(row))
                .member("available", row.available)
                .endObject();
        } else {
            // Our own texts and the system's are UTF-8 already. An adapter's
            // name is whatever the device folder holds: it must not drive the
            // terminal nor add a column or a line.
            std::printf("%s\t%s\t%s\n", nameForTerminal(row.name).c_str(),
                        withoutControls(portStatusText(row)).c_str(),
                        nameForTerminal(device).c_str());
        }
    }
    if (opt.json)
        printJson(json.endArray());
    return scan.selected >= 0 ? EXIT_OK : EXIT_UNREACHABLE;
}

}  // namespace zor::cli
