// zorload-cli check PORT: is a chronometer there, and what does it hold.
#include <cstdio>

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/plan_lines.h"
#include "cli/port_access.h"
#include "engine/plan_json.h"
#include "engine/update_session.h"
#include "flash/partition_dump.h"
#include "platform/clock.h"
#include "text/cli_text.h"

namespace zor::cli {

int cmdCheck(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("check", args, opt);
    if (!problem.empty())
        return usageError("check", problem);
    CliDevices devices(systemSerialDevices());
    CliObserver observer;
    UpdateSession session(devices, systemClock(), observer);
    Connection conn;
    if (!connect(session, observer, opt, conn))
        return unreachable(opt, conn);
    const PartitionTable& tableRead = session.tableRead();
    std::fprintf(stderr, "%s\n",
                 identifiedChronometerText(forTerminal(conn.identification)).c_str());
    if (opt.trace)
        std::fputs(forTerminal(formatPartitionTable(tableRead)).c_str(), stderr);
    if (opt.json) {
        JsonWriter json;
        json.beginObject()
            .member("port", conn.port)
            .member("device", conn.device)
            .member("speed", session.link().lineSpeed())
            .member("identification", utf8Text(conn.identification, false))
            .key("partitions");
        tableJson(json, tableRead);
        printJson(json.endObject());
        return EXIT_OK;
    }
    // stdout carries the table alone, for scripts.
    std::printf("%-11s %-7s %s\n", TABLE_HEADINGS.blocks, TABLE_HEADINGS.type,
                TABLE_HEADINGS.component);
    for (uint8_t i = 0; i < tableRead.count; ++i)
        std::printf("%s\n", tableLine(tableRead.entries[i]).c_str());
    std::fflush(stdout);
    return EXIT_OK;
}

}  // namespace zor::cli
