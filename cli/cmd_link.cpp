// zorload-cli ports, check and update: the chronometer link from a terminal.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include "app/encoding.h"
#include "app/main_thread_queue.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "flash/partition_dump.h"
#include "flash/planner.h"
#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "updatefile/loader.h"

namespace zor::cli {
namespace {

int usage() {
    std::fputs(usageText().c_str(), stderr);
    return EXIT_USAGE;
}

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

struct Options {
    std::vector<std::string> positional;
    std::string select;
    bool high = false;
    bool dryRun = false;
    bool trace = false;
};

// Accepts the flags named in allowed anywhere after the subcommand.
bool parseOptions(const Args& args, const std::set<std::string>& allowed, Options& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            out.positional.push_back(a);
            continue;
        }
        const std::string name = a.substr(0, a.find('='));
        if (!allowed.count(name))
            return false;
        if (name == "--select") {
            if (a.size() > name.size()) {
                out.select = a.substr(name.size() + 1);
            } else if (i + 1 < args.size()) {
                out.select = args[++i];
            } else {
                return false;
            }
            if (out.select.empty())
                return false;
        } else if (a != name) {
            return false;  // a value given to a plain flag
        } else if (name == "--high") {
            out.high = true;
        } else if (name == "--dry-run") {
            out.dryRun = true;
        } else if (name == "--trace") {
            out.trace = true;
        }
    }
    return true;
}

// Every frame in hex with the time since the program started talking.
void installTrace(SerialLink& link) {
    const uint32_t origin = link.clock().tickMs();
    link.setTraceHook(
        [&link, origin](TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tick) {
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
            std::string line;
            char head[48];
            std::snprintf(head, sizeof head, "[%6u.%03u] %u bit/s ", ms / 1000, ms % 1000,
                          link.lineSpeed());
            line = head;
            line += tag;
            for (size_t i = 0; i < size; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", bytes[i]);
                line += hex;
            }
            line += '\n';
            std::fputs(line.c_str(), stderr);
        });
}

// With --trace the diagnostic blocks that the wizard writes to its session
// log (connection check, listing, planner) go to stderr.
LogWriter traceLog(const Options& opt) {
    if (!opt.trace)
        return nullptr;
    return [](const std::string& line) { std::fprintf(stderr, "%s\n", forTerminal(line).c_str()); };
}

// Opens the port and checks the chronometer; tells the user on failure. The
// check's diagnostic block goes to stderr with --trace; identification gets
// the chronometer's answer to 'I'.
bool connect(SerialLink& link, const Options& opt, PartitionTable& current,
             std::string& identification) {
    if (opt.trace)
        installTrace(link);
    std::fprintf(stderr, "Connessione al cronometro su %s...\n", opt.positional[0].c_str());
    if (!link.RsOpen(opt.positional[0]))
        return false;
    const std::string serial = "S/N:\t";
    const LogWriter trace = traceLog(opt);
    const LogWriter log = [&](const std::string& line) {
        if (line.rfind(serial, 0) == 0)
            identification = line.substr(serial.size());
        if (trace)
            trace(line);
    };
    if (ConnCheck(link, current, opt.high, log))
        return true;
    std::fputs("Cronometro non raggiungibile.\n", stderr);
    return false;
}

void printTable(const PartitionTable& table) {
    std::fputs(forTerminal(formatPartitionTable(table)).c_str(), stdout);
    std::fflush(stdout);
}

// Percentage, phase and throughput on stderr: redrawn in place on a terminal,
// a line per finished phase otherwise (logs, pipes).
class ProgressBar {
  public:
    ProgressBar(const SerialLink& link, Clock& clock)
        : link_(link),
          clock_(clock),
          tty_(stderrIsTerminal()),
          start_(clock.tickMs()),
          startBytes_(link.bytesSent()) {}

    void show(int phase, int count, int percent) {
        if (percent < 0)
            percent = 0;
        if (percent > 100)
            percent = 100;
        if (tty_) {
            constexpr int WIDTH = 30;
            const int filled = percent * WIDTH / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%  fase %d/%d  %6lu B/s ",
                         std::string(filled, '#').c_str(), std::string(WIDTH - filled, '-').c_str(),
                         percent, phase, count, rate());
        } else if (phase != lastPhase_ && lastPhase_ > 0) {
            endPhase(lastPhase_, lastCount_);
        }
        lastPhase_ = phase;
        lastCount_ = count;
        lastPercent_ = percent;
    }
    // A failed transfer may have reported 100 for the phase it failed in
    // (the write ends at 100 whatever the chronometer's verdict): only a
    // transfer that succeeded closes its last phase as done.
    void finish(int resultCode) {
        if (tty_) {
            std::fputc('\n', stderr);
        } else if (resultCode == 0 && lastPhase_ > 0 && lastPercent_ == 100) {
            endPhase(lastPhase_, lastCount_);
        }
    }

  private:
    unsigned long rate() const {
        const uint32_t ms = clock_.tickMs() - start_;
        const uint64_t bytes = link_.bytesSent() - startBytes_;
        return ms ? static_cast<unsigned long>(bytes * 1000 / ms) : 0;
    }
    void endPhase(int phase, int count) {
        std::fprintf(stderr, "Fase %d/%d completata, %lu B/s\n", phase, count, rate());
    }

    const SerialLink& link_;
    Clock& clock_;
    bool tty_;
    uint32_t start_;
    uint64_t startBytes_;
    int lastPhase_ = 0;
    int lastCount_ = 0;
    int lastPercent_ = 0;
};

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

}  // namespace

int cmdPorts(const Args& args) {
    if (!args.empty())
        return usage();
    StderrUi ui;
    SerialLink link(systemSerialDevices(), systemClock(), ui);
    const PortScan scan = ScanPorts(systemSerialDevices(), link, ui, systemClock());
    for (const PortRow& row : scan.rows) {
        // Our own texts and the system's are UTF-8 already.
        std::printf("%s\t%s\n", row.name.c_str(), withoutControls(row.status).c_str());
    }
    return scan.selected >= 0 ? EXIT_OK : EXIT_UNREACHABLE;
}

int cmdCheck(const Args& args) {
    Options opt;
    if (!parseOptions(args, {"--high", "--trace"}, opt) || opt.positional.size() != 1)
        return usage();
    StderrUi ui;
    SerialLink link(systemSerialDevices(), systemClock(), ui);
    PartitionTable current;
    resetTable(current);
    std::string identification;
    if (!connect(link, opt, current, identification))
        return EXIT_UNREACHABLE;
    // stdout carries the table alone, for scripts.
    std::fprintf(stderr, "Cronometro: %s\n", forTerminal(identification).c_str());
    printTable(current);
    return EXIT_OK;
}

int cmdUpdate(const Args& args) {
    Options opt;
    if (!parseOptions(args, {"--select", "--high", "--dry-run", "--trace"}, opt) ||
        opt.positional.size() != 2 || opt.select.empty()) {
        return usage();
    }
    StderrUi ui;
    UpdateTable pgm;
    std::string versionLines, identifier;
    size_t segments = 0;
    if (!LoadUpdateFile(opt.positional[1], pgm, versionLines, identifier, ui,
                        getVersionString("FileDescription", "-"), &segments)) {
        return EXIT_FILE_REFUSED;
    }
    std::set<size_t> slots;
    if (!parseSelection(opt.select, pgm, segments, slots)) {
        std::fprintf(stderr, "Selezione non valida: '%s' (il file ha %zu componenti).\n",
                     opt.select.c_str(), segments);
        return usage();
    }

    SerialLink link(systemSerialDevices(), systemClock(), ui);
    PartitionTable current, planned;
    resetTable(current);
    std::string identification;
    if (!connect(link, opt, current, identification))
        return EXIT_UNREACHABLE;

    // The components the wizard would list: every loaded slot with data.
    std::vector<PlanItem> items;
    for (size_t i = 0; i < segments; ++i) {
        if (pgm[i].datiSize != 0)
            items.push_back({static_cast<int>(i), &pgm[i], slots.count(i) > 0});
    }
    std::string outcome;
    const bool fits = SistemaBlocchi(items, current, planned, outcome, traceLog(opt));
    std::printf("%s\n", forTerminal(outcome).c_str());
    printTable(planned);
    if (!fits || !hasChanges(planned)) {
        std::fputs(fits ? "Nessuna modifica da apportare al cronometro.\n"
                        : "I componenti scelti non possono essere installati.\n",
                   stderr);
        return EXIT_NO_PLAN;
    }
    if (opt.dryRun)
        return EXIT_OK;

    MainThreadQueue mainThread;
    bool ended = false;
    ProgressBar bar(link, systemClock());
    TDownloader worker(
        link, planned,
        [&bar](int phase, int count, int percent) { bar.show(phase, count, percent); },
        [&mainThread](std::function<void()> fn) { mainThread.invokeAndWait(std::move(fn)); },
        [&mainThread, &ended](int) { mainThread.post([&ended] { ended = true; }); });
    worker.start();
    mainThread.runUntil([&ended] { return ended; });
    worker.join();
    const int code = worker.resultCode();
    bar.finish(code);

    if (code == 0) {
        std::fputs("Aggiornamento completato.\n", stderr);
        return EXIT_OK;
    }
    showError(ui,
              "Il trasferimento non ha avuto successo.\nCodice errore: " + std::to_string(code) +
                  "\nMessaggio: " + forTerminal(link.RsLastAnswer()) + ".",
              "Trasferimento interrotto");
    return code;
}

}  // namespace zor::cli
