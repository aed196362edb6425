// zorload-cli ports, check and update: the chronometer link from a terminal.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/encoding.h"
#include "app/main_thread_queue.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/plan_view.h"
#include "cli/port_access.h"
#include "cli/progress.h"
#include "cli/record.h"
#include "flash/partition_dump.h"
#include "flash/planner.h"
#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "link/protocol.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "updatefile/loader.h"

namespace zor::cli {
namespace {

// A text for the terminal: CR LF pairs to LF, and control codes (which a
// damaged line or file could carry) shown as '?' instead of reaching it.
std::string withoutControls(const std::string& text) {
    std::string plain = terminalText(text);
    for (char& c : plain) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n' && c != '\t') || u == 0x7F)
            c = '?';
    }
    return plain;
}

// Text from the chronometer or the update file (Windows-1252) for the
// terminal (UTF-8).
std::string forTerminal(const std::string& text) {
    return cp1252ToUtf8(withoutControls(text));
}

// Human output: stdout normally, stderr when stdout carries the JSON document.
FILE* humanOut(const Options& opt) {
    return opt.json ? stderr : stdout;
}

// Every frame in hex with the time since the program started talking.
void printFrame(SerialLink& link, uint32_t origin, TraceKind kind, const uint8_t* bytes,
                size_t size, uint32_t tick) {
    const char* tag = "";
    switch (kind) {
        case TraceKind::Sent:
            tag = "> ";
            break;
        case TraceKind::SendFailed:
            tag = "!> scrittura fallita ";
            break;
        case TraceKind::Received:
            tag = "< ";
            break;
        case TraceKind::BadCheck:
            tag = "<! controllo errato ";
            break;
        case TraceKind::Oversize:
            tag = "<! troppo lungo ";
            break;
        case TraceKind::Discarded:
            tag = "<? scartati ";
            break;
    }
    const uint32_t ms = tick - origin;
    char head[48];
    std::snprintf(head, sizeof head, "[%6u.%03u] %u bit/s ", ms / 1000, ms % 1000,
                  link.lineSpeed());
    std::string line = head;
    line += tag;
    for (size_t i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", bytes[i]);
        line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

// The link's trace hook: the frame printer with --trace, and whoever else
// wants to see the frames (the transfer display, from the worker thread).
void installTrace(SerialLink& link, bool trace,
                  std::function<void(TraceKind, const uint8_t*, size_t)> also) {
    if (!trace && !also) {
        link.setTraceHook(nullptr);
        return;
    }
    const uint32_t origin = link.clock().tickMs();
    link.setTraceHook([&link, origin, trace, also](TraceKind kind, const uint8_t* bytes,
                                                   size_t size, uint32_t tick) {
        if (trace)
            printFrame(link, origin, kind, bytes, size, tick);
        if (also)
            also(kind, bytes, size);
    });
}

// With --trace the diagnostic blocks that the wizard writes to its session
// log (connection check, listing, planner) go to stderr.
LogWriter traceLog(const Options& opt) {
    if (!opt.trace)
        return nullptr;
    return [](const std::string& line) { std::fprintf(stderr, "%s\n", forTerminal(line).c_str()); };
}

struct Connection {
    std::string port, device;
    std::string identification;  // the chronometer's answer to 'I', Windows-1252
    std::string failure;         // what went wrong, for --json and --record
};

// Opens the port and checks the chronometer; tells the user on failure, with
// the port and the device behind it and what to do. The check's diagnostic
// block goes to stderr with --trace.
bool connect(SerialLink& link, CliDevices& devices, StderrUi& ui, const Options& opt,
             PartitionTable& current, Connection& c) {
    c.port = opt.positional[0];
    c.device = resolvePortName(c.port);
    const std::string label = portLabel(c.port, c.device);
    if (opt.trace)
        installTrace(link, true, nullptr);
    std::fprintf(stderr, "Connessione al cronometro su %s...\n", label.c_str());
    ui.hold(true);
    const bool opened = link.RsOpen(c.port);
    ui.hold(false);
    if (!opened) {
        const std::string text =
            devices.lastFailure() != OpenFailure::None
                ? openFailureText(c.port, c.device, devices.lastFailure(), devices.lastOpenError())
                : configureFailureText(c.port, c.device, devices.lastConfigureError());
        std::fputs(text.c_str(), stderr);
        c.failure = text.substr(0, text.find('\n'));
        return false;
    }
    const std::string serial = "S/N:\t";
    const LogWriter trace = traceLog(opt);
    const LogWriter log = [&](const std::string& line) {
        if (line.rfind(serial, 0) == 0)
            c.identification = line.substr(serial.size());
        if (trace)
            trace(line);
    };
    const int before = ui.messages();
    if (ConnCheck(link, current, opt.high, log))
        return true;
    if (ui.messages() == before) {
        // It answered, but its partition listing broke off.
        c.failure = "Il cronometro su " + label +
                    " ha risposto, ma la sua tabella delle partizioni non è arrivata completa.";
        std::fprintf(stderr, "%s\nSuggerimento: controllare il cavo e ripetere%s.\n",
                     c.failure.c_str(), opt.high ? " senza --high" : "");
    } else {
        c.failure = "Nessuna risposta dal cronometro su " + label + ".";
        std::fprintf(stderr, "%s Velocità provate: 19200, 38400 e 57600 bit/s.\n",
                     c.failure.c_str());
    }
    return false;
}

void tableJson(JsonWriter& json, const PartitionTable& table) {
    json.beginArray();
    for (uint8_t i = 0; i < table.count; ++i) {
        const PartitionEntry& e = table.entries[i];
        json.beginObject()
            .member("first", unsigned{e.firstBlock})
            .member("length", unsigned{e.blockCount})
            .member("type", typeText(e.type))
            .member("name", utf8Text(e.name, false))
            .endObject();
    }
    json.endArray();
}

void planJson(JsonWriter& json, const PlanView& view) {
    json.beginArray();
    for (const PlanRow& row : view.rows) {
        json.beginObject()
            .member("first", unsigned{row.first})
            .member("length", unsigned{row.length})
            .member("type", typeText(row.type))
            .member("name", utf8Text(row.name, false))
            .member("action", actionName(row.action));
        if (row.action == PlanAction::Write) {
            // The installed version it replaces; null for a new component.
            json.key("installed");
            if (row.installed.empty())
                json.null();
            else
                json.value(utf8Text(row.installed, false));
        }
        json.endObject();
    }
    json.endArray();
}

void printJson(const JsonWriter& json) {
    std::printf("%s\n", json.text().c_str());
    std::fflush(stdout);
}

// "all" or comma-separated slot numbers below segments. A segment without
// data blocks is no component to install: "all" skips it, naming it fails.
bool parseSelection(const std::string& list, const UpdateTable& pgm, size_t segments,
                    std::set<size_t>& slots) {
    if (list == "all") {
        for (size_t i = 0; i < segments; ++i) {
            if (pgm[i].datiSize != 0)
                slots.insert(i);
        }
        return true;
    }
    size_t pos = 0;
    while (pos <= list.size()) {
        const size_t comma = std::min(list.find(',', pos), list.size());
        const std::string item = list.substr(pos, comma - pos);
        if (item.empty() || item.size() > 3 ||
            item.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        const size_t slot = std::stoul(item);
        if (slot >= segments || pgm[slot].datiSize == 0)
            return false;
        slots.insert(slot);
        pos = comma + 1;
    }
    return true;
}

// What to do after a failed transfer, by outcome code.
const char* nextStep(int code) {
    switch (code) {
        case proto::RESULT_NO_PORT:
            return "la porta non era aperta: ripetere il comando.";
        case proto::RESULT_PROGRAM_START:
            return "il cronometro ha rifiutato l'avvio del componente: controllare che sia in "
                   "modalità \"Aggiornamento software\" e ripetere il comando.";
        case proto::RESULT_DATA_BLOCK:
            return "un blocco di dati non è stato confermato: controllare il cavo, ripetere il "
                   "comando (senza --high se era dato).";
        case proto::RESULT_WRITE:
            return "la scrittura nella memoria del cronometro non è terminata bene: ripetere il "
                   "comando; se si ripete, contattare l'assistenza.";
        case proto::RESULT_RESTART:
            return "tutto è stato scritto, ma il cronometro non ha confermato il riavvio: "
                   "spegnerlo e riaccenderlo, poi controllare con 'zorload-cli check'.";
        case proto::RESULT_LISTING:
            return "il cronometro non risponde più: controllare il cavo e l'alimentazione, poi "
                   "ripetere il comando.";
        case proto::RESULT_BAD_TYPE:
            return "il piano contiene una partizione che non si può scrivere: contattare "
                   "l'assistenza.";
        case proto::RESULT_ERASE:
            return "la cancellazione di un blocco non è riuscita: ripetere il comando.";
        default:
            return "ripetere il comando.";
    }
}

// Runs the transfer with the progress display; interrupts are refused while
// it runs.
struct TransferResult {
    int code = 0;
    uint64_t bytes = 0;
    uint32_t ms = 0;
    std::string phase;  // where it stopped, for a failure
};

TransferResult transfer(SerialLink& link, const PartitionTable& planned, const Options& opt,
                        const Connection& conn) {
    // Refused from here on. A request that came just before still ends the
    // program, with the port let go of, since nothing has been sent yet.
    setInterruptMode(InterruptMode::Refuse);
    if (pendingInterrupt() != 0) {
        setInterruptMode(InterruptMode::Defer);
        link.RsClose();
        endIfInterrupted();
    }

    const bool terminal = stderrIsTerminal() && !opt.trace;
    TransferDisplay display(planned, systemClock(), terminal);
    installTrace(link, opt.trace, [&display](TraceKind kind, const uint8_t* bytes, size_t size) {
        display.onFrame(kind, bytes, size);
    });
    uint64_t dataBytes = 0;
    int phases = 0;
    for (uint8_t i = 0; i < planned.count; ++i) {
        const PartitionEntry& e = planned.entries[i];
        if (e.changed) {
            ++phases;
            if (e.component)
                dataBytes += static_cast<uint64_t>(e.component->datiSize) * (BLOCK_SIZE - 1);
        }
    }
    display.begin("Trasferimento su " + portLabel(conn.port, conn.device) + " a " +
                  std::to_string(link.lineSpeed()) + " bit/s: " + std::to_string(phases) +
                  (phases == 1 ? " fase, " : " fasi, ") + std::to_string(dataBytes) +
                  " byte di dati. Non spegnere il cronometro e non scollegare il cavo.");

    MainThreadQueue mainThread;
    bool ended = false;
    TDownloader worker(
        link, planned,
        [&display](int phase, int count, int percent) { display.progress(phase, count, percent); },
        [&mainThread](std::function<void()> fn) { mainThread.invokeAndWait(std::move(fn)); },
        [&mainThread, &ended](int) { mainThread.post([&ended] { ended = true; }); });

    // While the chronometer works on its own (erasing, verifying, restarting)
    // no report comes for seconds: the line's clock keeps going.
    std::mutex tickMutex;
    std::condition_variable tickWake;
    bool stopTicks = false;
    std::thread ticker;
    if (terminal) {
        ticker = std::thread([&] {
            std::unique_lock<std::mutex> lock(tickMutex);
            while (!tickWake.wait_for(lock, std::chrono::milliseconds(250),
                                      [&] { return stopTicks; })) {
                mainThread.post([&display] { display.tick(); });
            }
        });
    }
    worker.start();
    mainThread.runUntil([&ended] { return ended; });
    worker.join();
    if (ticker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(tickMutex);
            stopTicks = true;
        }
        ticker.join();
    }
    installTrace(link, opt.trace, nullptr);

    TransferResult r;
    r.code = worker.resultCode();
    display.finish(r.code);
    r.bytes = display.bytesSent();
    r.ms = display.elapsedMs();
    if (r.code == proto::RESULT_RESTART) {
        r.phase = "riavvio del cronometro";
    } else if (worker.phaseIndex() == 0) {
        r.phase = "verifica del cronometro";
    } else {
        r.phase = "fase " + std::to_string(worker.phaseIndex()) + "/" +
                  std::to_string(worker.phaseCount()) + ", " + display.currentPhaseText();
    }
    // Back to what holds with the port open and no transfer.
    setInterruptMode(InterruptMode::Defer);
    return r;
}

}  // namespace

int cmdPorts(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("ports", args, opt);
    if (!problem.empty())
        return usageError("ports", problem);
    StderrUi ui;
    CliDevices devices(systemSerialDevices());
    SerialLink link(devices, systemClock(), ui);
    const PortScan scan = ScanPorts(devices, link, ui, systemClock());
    JsonWriter json;
    json.beginArray();
    for (const PortRow& row : scan.rows) {
        const std::string device = row.device.empty() ? resolvePortName(row.name) : row.device;
        if (opt.json) {
            json.beginObject()
                .member("name", row.name)
                .member("device", device)
                .member("status", row.status)
                .member("available", row.available)
                .endObject();
        } else {
            // Our own texts and the system's are UTF-8 already.
            std::printf("%s\t%s\t%s\n", row.name.c_str(), withoutControls(row.status).c_str(),
                        withoutControls(device).c_str());
        }
    }
    if (opt.json)
        printJson(json.endArray());
    return scan.selected >= 0 ? EXIT_OK : EXIT_UNREACHABLE;
}

int cmdCheck(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("check", args, opt);
    if (!problem.empty())
        return usageError("check", problem);
    StderrUi ui;
    CliDevices devices(systemSerialDevices());
    SerialLink link(devices, systemClock(), ui);
    PartitionTable current;
    resetTable(current);
    Connection conn;
    if (!connect(link, devices, ui, opt, current, conn)) {
        if (opt.json) {
            printJson(JsonWriter()
                          .beginObject()
                          .member("port", conn.port)
                          .member("device", conn.device)
                          .member("error", conn.failure)
                          .member("exit_status", EXIT_UNREACHABLE)
                          .endObject());
        }
        return EXIT_UNREACHABLE;
    }
    std::fprintf(stderr, "Cronometro: %s\n", forTerminal(conn.identification).c_str());
    if (opt.trace)
        std::fputs(forTerminal(formatPartitionTable(current)).c_str(), stderr);
    if (opt.json) {
        JsonWriter json;
        json.beginObject()
            .member("port", conn.port)
            .member("device", conn.device)
            .member("speed", link.lineSpeed())
            .member("identification", utf8Text(conn.identification, false))
            .key("partitions");
        tableJson(json, current);
        printJson(json.endObject());
        return EXIT_OK;
    }
    // stdout carries the table alone, for scripts.
    std::printf("%-11s %-7s %s\n", "Blocchi", "Tipo", "Componente");
    for (uint8_t i = 0; i < current.count; ++i)
        std::printf("%s\n", tableLine(current.entries[i]).c_str());
    std::fflush(stdout);
    return EXIT_OK;
}

int cmdUpdate(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("update", args, opt);
    if (!problem.empty())
        return usageError("update", problem);
    std::string recordError;
    if (!opt.record.empty() && !canRecord(opt.record, recordError))
        return usageError("update", "--record '" + opt.record + "': " + recordError);
    StderrUi ui;
    UpdateTable pgm;
    std::string versionLines, identifier;
    size_t segments = 0;
    const std::string& fileName = opt.positional[1];
    if (!LoadUpdateFile(fileName, pgm, versionLines, identifier, ui,
                        getVersionString("FileDescription", "-"), &segments)) {
        if (opt.json) {
            printJson(JsonWriter()
                          .beginObject()
                          .member("error", ui.lastMessage())
                          .member("exit_status", EXIT_FILE_REFUSED)
                          .endObject());
        }
        return EXIT_FILE_REFUSED;
    }
    std::set<size_t> slots;
    if (!parseSelection(opt.select, pgm, segments, slots)) {
        return usageError("update", "Selezione non valida: --select '" + opt.select +
                                        "' (il file ha " + std::to_string(segments) +
                                        " componenti, numerati da 0 come in 'info'; quelli "
                                        "senza blocchi di dati non si installano).");
    }

    const uint32_t started = systemClock().tickMs();
    const std::string startedAt = utcTimestamp();
    CliDevices devices(systemSerialDevices());
    SerialLink link(devices, systemClock(), ui);
    PartitionTable current, planned;
    resetTable(current);
    resetTable(planned);
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
        JsonWriter r;
        r.beginObject()
            .member("time", startedAt)
            .member("port", conn.port)
            .member("device", conn.device)
            .member("identification", utf8Text(conn.identification, false))
            .member("file", fileName)
            .member("file_id", identifier)
            .key("selected")
            .beginArray();
        for (size_t slot : slots) {
            r.beginObject()
                .member("slot", static_cast<int>(slot))
                .member("text", utf8Text(pgm[slot].versionText(), false))
                .endObject();
        }
        r.endArray().key("table_read");
        tableJson(r, current);
        r.key("table_planned");
        if (planRan)
            planJson(r, view);
        else
            r.null();
        r.member("outcome", cp1252ToUtf8(outcome))
            .member("dry_run", opt.dryRun)
            .member("code", status)
            .member("last_answer", transferred ? utf8Text(link.RsLastAnswer(), false) : "")
            .member("error", conn.failure)
            .member("seconds", (systemClock().tickMs() - started) / 1000.0)
            .member("bytes", transferred ? result.bytes : link.bytesSent());
        r.endObject();
        std::string error;
        if (!appendRecord(opt.record, r.text(), error)) {
            std::fprintf(stderr, "Impossibile aggiungere la registrazione a %s: %s\n",
                         opt.record.c_str(), error.c_str());
        }
        return status;
    };

    if (!connect(link, devices, ui, opt, current, conn)) {
        if (opt.json) {
            printJson(JsonWriter()
                          .beginObject()
                          .member("port", conn.port)
                          .member("device", conn.device)
                          .member("error", conn.failure)
                          .member("exit_status", EXIT_UNREACHABLE)
                          .endObject());
        }
        return finish(EXIT_UNREACHABLE);
    }
    std::fprintf(stderr, "Cronometro: %s\n", forTerminal(conn.identification).c_str());

    // The components the wizard would list: every loaded slot with data.
    std::vector<PlanItem> items;
    for (size_t i = 0; i < segments; ++i) {
        if (pgm[i].datiSize != 0)
            items.push_back({static_cast<int>(i), &pgm[i], slots.count(i) > 0});
    }
    const bool fits = SistemaBlocchi(items, current, planned, outcome, traceLog(opt));
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

    result = transfer(link, planned, opt, conn);
    transferred = true;
    if (result.code == 0) {
        std::fputs("Aggiornamento completato.\n", stderr);
    } else {
        showError(ui,
                  "Il trasferimento non ha avuto successo.\nCodice errore: " +
                      std::to_string(result.code) +
                      "\nMessaggio: " + forTerminal(link.RsLastAnswer()) + ".",
                  "Trasferimento interrotto");
        std::fprintf(stderr,
                     "Fermato a: %s.\nCosa fare: %s Il cronometro resta in modalità "
                     "aggiornamento; le partizioni già scritte restano scritte.\n",
                     result.phase.c_str(), nextStep(result.code));
    }
    printUpdateJson();
    return finish(result.code);
}

}  // namespace zor::cli
