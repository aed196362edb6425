// zorload-cli update PORT FILE: the components chosen from an update file
// installed on the chronometer, as the wizard installs them.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/encoding.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/plan_json.h"
#include "cli/plan_lines.h"
#include "cli/port_access.h"
#include "cli/record.h"
#include "cli/trace.h"
#include "cli/transfer_run.h"
#include "engine/update_session.h"
#include "flash/planner.h"
#include "platform/clock.h"

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
    const std::string title = programTitle();
    const Outcome loaded = session.loadFile(fileName, title);
    const UpdateTable& pgm = session.components();
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
    std::set<size_t> slots;
    if (!parseSelection(opt.select, pgm, segments, selection)) {
        return usageError("update", "Selezione non valida: --select '" + opt.select +
                                        "' (il file ha " + std::to_string(segments) +
                                        " componenti, numerati da 0 come in 'info'; quelli "
                                        "senza blocchi di dati non si installano).");
    }
    slots = selection.slots;

    const uint32_t started = systemClock().tickMs();
    const std::string startedAt = utcTimestamp();
    SerialLink& link = session.link();
    const PartitionTable& current = session.current();
    const PartitionTable& planned = session.planned();
    Connection conn;
    std::string outcome;
    PlanView view;
    bool planRan = false;
    TransferResult result;
    bool transferred = false;

    // One JSON line for the bench's record, whatever happened once the file
    // was accepted. Written before the exit status is returned.
    auto finish = [&](int status) {
        if (opt.record.empty())
            return status;
        UpdateRecord r;
        r.time = startedAt;
        r.port = conn.port;
        r.device = conn.device;
        r.identification = conn.identification;
        r.file = fileName;
        r.fileId = identifier;
        for (size_t slot : slots)
            r.selected.emplace_back(slot, pgm[slot].versionText());
        r.tableRead = &current;
        r.plan = planRan ? &view : nullptr;
        r.outcome = outcome;
        r.dryRun = opt.dryRun;
        r.code = status;
        r.lastAnswer = transferred ? link.RsLastAnswer() : std::string();
        r.error = conn.failure;
        r.seconds = (systemClock().tickMs() - started) / 1000.0;
        r.bytes = transferred ? result.bytes : link.bytesSent();
        std::string error;
        if (!appendRecord(opt.record, recordLine(r), error)) {
            std::fprintf(stderr, "Impossibile aggiungere la registrazione a %s: %s\n",
                         opt.record.c_str(), error.c_str());
        }
        return status;
    };

    if (!connect(session, observer, opt, conn))
        return finish(unreachable(opt, conn));
    std::fprintf(stderr, "Cronometro: %s\n", forTerminal(conn.identification).c_str());
    slots = selectedSlots(selection, pgm, current);
    if (slots.empty()) {
        // outdated, and nothing differs from what is installed.
        outcome = "gi\xE0 aggiornato";  // Windows-1252, as the planner's texts
        std::fprintf(stderr, "%s: nessun componente da installare.\n", ALREADY_CURRENT);
        if (opt.json) {
            printJson(JsonWriter()
                          .beginObject()
                          .member("outcome", ALREADY_CURRENT)
                          .member("exit_status", EXIT_OK)
                          .endObject());
        }
        return finish(EXIT_OK);
    }

    // The components the wizard would list: every loaded slot with data.
    std::vector<PlanItem> items;
    for (size_t i = 0; i < segments; ++i) {
        if (pgm[i].datiSize != 0)
            items.push_back({static_cast<int>(i), &pgm[i], slots.count(i) > 0});
    }
    const bool fits = session.plan(items, outcome, traceLog(opt));
    view = describePlan(current, planned);
    planRan = true;

    FILE* out = humanOut(opt);
    std::fprintf(out, "%s\n", forTerminal(outcome).c_str());
    for (const PlanRow& row : view.rows) {
        if (row.action != PlanAction::Remove)
            std::fprintf(out, "%s\n", planLine(row).c_str());
    }
    std::fflush(out);
    for (const std::string& warning : view.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());

    auto printUpdateJson = [&]() {
        if (!opt.json)
            return;
        JsonWriter json;
        json.beginObject().member("outcome", cp1252ToUtf8(outcome)).key("plan");
        planJson(json, view);
        json.key("warnings").beginArray();
        for (const std::string& w : view.warnings)
            json.value(w);
        json.endArray();
        if (transferred) {
            json.key("result")
                .beginObject()
                .member("code", result.code)
                .member("last_answer", utf8Text(link.RsLastAnswer(), false))
                .member("seconds", result.ms / 1000.0)
                .member("bytes", result.bytes)
                .endObject();
        }
        printJson(json.endObject());
    };

    if (!fits || !hasChanges(planned)) {
        std::fputs(fits ? "Nessuna modifica da apportare al cronometro.\n"
                        : "I componenti scelti non possono essere installati.\n",
                   stderr);
        printUpdateJson();
        return finish(EXIT_NO_PLAN);
    }
    if (opt.dryRun) {
        printUpdateJson();
        return finish(EXIT_OK);
    }

    result = runTransfer(session, observer, opt, conn);
    transferred = true;
    if (result.code == 0) {
        std::fputs("Aggiornamento completato.\n", stderr);
    } else {
        // The chronometer's answer as the terminal may show it.
        Outcome shown = result.outcome;
        shown.message = transferFailureText(result.code, forTerminal(shown.lastAnswer));
        printBoxes(shown, title);
        std::fprintf(stderr,
                     "Fermato a: %s.\nCosa fare: %s Il cronometro resta in modalità "
                     "aggiornamento; le partizioni già scritte restano scritte.\n",
                     result.phase.c_str(), nextStep(result.outcome.hint));
    }
    printUpdateJson();
    return finish(result.code);
}

}  // namespace zor::cli
