// zorload-cli update PORT FILE: the components chosen from an update file
// installed on the chronometer, as the wizard installs them.
#include <cstdio>
#include <string>
#include <vector>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/history_runs.h"
#include "cli/plan_lines.h"
#include "cli/port_access.h"
#include "cli/record.h"
#include "cli/trace.h"
#include "cli/transfer_run.h"
#include "engine/chronometer_run.h"
#include "engine/plan_json.h"
#include "engine/update_session.h"
#include "platform/clock.h"
#include "text/cli_text.h"
#include "text/plan_text.h"

namespace zor::cli {
namespace {

// Human output: stdout normally, stderr when stdout carries the JSON document.
FILE* humanOut(const Options& opt) {
    return opt.json ? stderr : stdout;
}

}  // namespace

int cmdUpdate(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("update", args, opt);
    if (!problem.empty())
        return usageError("update", problem);
    std::string recordError;
    if (!opt.record.empty() && !canRecord(opt.record, recordError))
        return usageError("update", "--record '" + opt.record + "': " + recordError);
    CliDevices devices(systemSerialDevices());
    CliObserver observer;
    UpdateSession session(devices, systemClock(), observer);
    const std::string& fileName = opt.positional[1];
    const std::string title = applicationTitle();
    const Outcome loaded = session.loadFile(fileName);
    const UpdateTable& components = session.components();
    const std::string& identifier = session.identifier();
    const size_t segments = session.segmentsRead();
    if (!loaded) {
        const std::string error = printBoxes(loaded, title);
        if (opt.json) {
            printJson(JsonWriter()
                          .beginObject()
                          .member("error", error)
                          .member("exit_status", EXIT_FILE_REFUSED)
                          .endObject());
        }
        return EXIT_FILE_REFUSED;
    }
    ComponentSelection selection;
    if (!parseSelection(opt.select, components, segments, selection))
        return usageError("update", selectionError(opt.select, segments));

    ChronometerRun run;
    run.startedMs = systemClock().tickMs();
    const std::string startedAt = utcTimestamp();
    SerialLink& link = session.link();
    Connection conn;

    // The history of runs; it never changes the exit status.
    CommandHistory history(opt.history, opt.noHistory, fileName, identifier);

    // One JSON line for the bench's record and one run in the history,
    // whatever happened once the file was accepted. Written before the exit
    // status is returned.
    auto finish = [&](int status) {
        UpdateRecord r = runRecord(run, startedAt, fileName, identifier, components);
        r.dryRun = opt.dryRun;
        r.error = conn.failure;
        if (!opt.record.empty())
            writeRecord(opt.record, r);
        history.add(run, r);
        history.finish();
        return status;
    };

    run.selected = selection.slots;
    if (!openPort(session, observer, opt, conn)) {
        run.ms = systemClock().tickMs() - run.startedMs;
        run.bytes = link.bytesSent();
        return finish(unreachable(opt, conn));
    }
    run.port = conn.port;
    run.device = conn.device;

    FILE* out = humanOut(opt);
    RunSteps steps;
    steps.checked = [&](const ChronometerRun&) {
        conn.identification = observer.identification();
        std::fprintf(stderr, "%s\n",
                     identifiedChronometerText(forTerminal(conn.identification)).c_str());
        return true;
    };
    steps.planned = [&](const ChronometerRun& r) {
        std::fprintf(out, "%s\n", verdictText(r.verdict));
        for (const PlanRow& row : r.view.rows) {
            if (row.action != PlanAction::Remove)
                std::fprintf(out, "%s\n", planLine(row).c_str());
        }
        std::fflush(out);
        for (const std::string& warning : planWarnings(r.view))
            std::fprintf(stderr, "%s\n", warning.c_str());
        return !opt.dryRun;
    };
    TransferResult result;
    steps.transfer = [&](UpdateSession& s) {
        result = runTransfer(s, observer, opt, conn);
        return result.outcome;
    };
    runChronometer(session, components, selection, opt.high, traceLog(opt), steps, run);

    auto printUpdateJson = [&]() {
        if (!opt.json)
            return;
        JsonWriter json;
        json.beginObject().member("outcome", verdictText(run.verdict)).key("plan");
        planJson(json, run.view);
        json.key("warnings").beginArray();
        for (const std::string& w : planWarnings(run.view))
            json.value(w);
        json.endArray();
        if (run.transferred()) {
            json.key("result")
                .beginObject()
                .member("code", result.code)
                .member("last_answer", utf8Text(run.lastAnswer, false))
                .member("seconds", result.ms / 1000.0)
                .member("bytes", result.bytes)
                .endObject();
        }
        printJson(json.endObject());
    };

    switch (run.end) {
        case RunEnd::Unreachable:
            conn.identification = observer.identification();
            checkFailed(run.outcome, opt, conn);
            return finish(unreachable(opt, conn));
        case RunEnd::NothingToWrite:
            // outdated, and nothing differs from what is installed.
            std::fprintf(stderr, "%s\n", nothingToInstallText().c_str());
            if (opt.json) {
                printJson(JsonWriter()
                              .beginObject()
                              .member("outcome", alreadyUpToDateText())
                              .member("exit_status", EXIT_OK)
                              .endObject());
            }
            return finish(EXIT_OK);
        case RunEnd::NoFit:
        case RunEnd::Unchanged:
            std::fprintf(stderr, "%s\n",
                         run.end == RunEnd::Unchanged ? NO_CHANGE_TEXT : COMPONENTS_DONT_FIT_TEXT);
            printUpdateJson();
            return finish(runStatus(run));
        case RunEnd::Planned:
            printUpdateJson();
            return finish(EXIT_OK);
        default:
            break;
    }
    if (result.code == 0) {
        std::fprintf(stderr, "%s\n", UPDATE_DONE_TEXT);
    } else {
        printBoxes(result.outcome, title);
        std::fprintf(stderr, "%s\n", stoppedAtText(result.phase, result.outcome.hint).c_str());
    }
    printUpdateJson();
    return finish(runStatus(run));
}

}  // namespace zor::cli
