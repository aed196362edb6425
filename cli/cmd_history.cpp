// zorload-cli history: the runs the bench has kept, and `history import`
// of the records written before there was a history.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/history_runs.h"
#include "history/history_path.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "platform/terminal.h"
#include "text/app_text.h"
#include "text/history_text.h"
#include "text/outcome_text.h"

namespace zor::cli {
namespace {

// "2026-12-08" or "2026-12-08T06:02:11Z" as the history's time texts; a
// date alone means its first second for --since, its last for --until.
bool historyTime(const std::string& value, bool untilEnd, std::string& out) {
    auto digitsAt = [&](std::initializer_list<size_t> at) {
        for (size_t i : at) {
            if (i >= value.size() || value[i] < '0' || value[i] > '9')
                return false;
        }
        return true;
    };
    const bool date = value.size() >= 10 && digitsAt({0, 1, 2, 3, 5, 6, 8, 9}) && value[4] == '-' &&
                      value[7] == '-';
    if (date && value.size() == 10) {
        out = value + (untilEnd ? "T23:59:59Z" : "T00:00:00Z");
        return true;
    }
    if (date && value.size() == 20 && value[10] == 'T' && digitsAt({11, 12, 14, 15, 17, 18}) &&
        value[13] == ':' && value[16] == ':' && value[19] == 'Z') {
        out = value;
        return true;
    }
    return false;
}

// Every line of a --record file into store: each once, whatever was
// imported before.
int importRecords(HistoryStore& store, const std::string& file) {
    int error = 0;
    File in = File::openRead(file, error);
    std::string text;
    uint64_t size = 0;
    if (in.isOpen() && in.size(size)) {
        text.resize(static_cast<size_t>(size));
        size_t got = 0;
        if (!in.read(text.data(), text.size(), got))
            error = lastSystemError();
        text.resize(got);
    }
    if (!in.isOpen() || error != 0) {
        std::fprintf(
            stderr, "%s\n",
            commandProblemText("history", "'" + nameForTerminal(file) + "': " + osErrorText(error))
                .c_str());
        return EXIT_FILE_REFUSED;
    }
    size_t added = 0, present = 0, refused = 0, number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        HistoryRun run;
        if (!historyRunOfRecordLine(line, run)) {
            ++refused;
            std::fprintf(stderr, "%s\n", importBadLineText(nameForTerminal(file), number).c_str());
            continue;
        }
        const HistoryResult stored = store.store(run);
        if (!stored) {
            std::fprintf(stderr, "%s\n", historyProblemText(file, stored).c_str());
            return EXIT_FILE_REFUSED;
        }
        ++(stored.added ? added : present);
    }
    std::printf("%s\n", importDoneText(added, present, refused).c_str());
    return EXIT_OK;
}

// What the chronometer holds: its last successful update, and its latest
// run when that came later.
void printSerialAnswer(HistoryStore& store, const std::string& serial,
                       const std::vector<HistoryRun>& runs) {
    HistoryFilter lastDone;
    lastDone.serial = serial;
    lastDone.doneOnly = true;
    lastDone.newestFirst = true;
    lastDone.limit = 1;
    std::vector<HistoryRun> done;
    store.query(lastDone, done);
    if (done.empty()) {
        std::printf("%s\n", serialNeverUpdatedText(nameForTerminal(serial)).c_str());
    } else {
        const HistoryRun& d = done.front();
        std::printf("%s\n",
                    serialLastUpdateText(nameForTerminal(serial), nameForTerminal(d.time),
                                         nameForTerminal(d.bench),
                                         nameForTerminal(d.position.empty() ? d.port : d.position),
                                         nameForTerminal(d.file), nameForTerminal(d.fileId))
                        .c_str());
        for (const HeldComponent& c : componentsAfter(d))
            std::printf("%s\n", serialComponentText(nameForTerminal(c.name), c.written).c_str());
    }
    if (!runs.empty() && (done.empty() || runs.back().runId != done.front().runId)) {
        const HistoryRun& last = runs.back();
        std::printf("%s\n",
                    serialLatestRunText(nameForTerminal(last.time), nameForTerminal(last.bench),
                                        runMeaningText(last.meaning, last.code, last.dryRun))
                        .c_str());
    }
    std::printf("\n");
}

}  // namespace

int cmdHistory(const Args& args) {
    Options opt;
    std::string problem = parseOptions("history", args, opt);
    const bool import = !opt.positional.empty() && opt.positional[0] == "import";
    if (problem.empty() && !opt.positional.empty() && !import)
        problem = extraArgumentText(opt.positional[0]);
    if (problem.empty() && import && opt.positional.size() < 2)
        problem = missingArgumentsText(HISTORY_HELP, 1);
    if (problem.empty() && int(opt.json) + int(opt.csv) + int(opt.table) > 1)
        problem = ONE_FORMAT_TEXT;
    HistoryFilter filter;
    if (problem.empty() && !opt.since.empty() && !historyTime(opt.since, false, filter.since))
        problem = badDateText("--since", opt.since);
    if (problem.empty() && !opt.until.empty() && !historyTime(opt.until, true, filter.until))
        problem = badDateText("--until", opt.until);
    bool isDefault = false;
    const std::string path =
        chosenHistoryPath(opt.history, isDefault, opt.history.empty() ? historySetting() : "");
    if (problem.empty() && path.empty())
        problem = NO_HISTORY_PATH_TEXT;
    if (!problem.empty())
        return usageError("history", problem);

    // A centre's server: read from it, and import through the bench's
    // outbox; when it does not answer, the bench's own runs are shown.
    const bool server = isServerHistory(path);
    std::string shown = server ? serverForPeople(path) : path;
    const std::string local = server ? defaultHistoryPath() : path;
    HistoryResult opened;
    std::unique_ptr<HistoryStore> store;
    if (server && !import) {
        store = openServerHistory(path, opened);
        if (!store && !local.empty()) {
            std::fprintf(
                stderr, "%s\n",
                historyServerFallbackText(nameForTerminal(shown), opened, nameForTerminal(local))
                    .c_str());
            shown = local;
        }
    }
    if (!store && !local.empty())
        store = openRunHistory(server && import ? path : local, local, isDefault || server, opened);
    if (!store) {
        std::fprintf(stderr, "%s\n", historyProblemText(nameForTerminal(shown), opened).c_str());
        return EXIT_FILE_REFUSED;
    }
    if (import) {
        const int code = importRecords(*store, opt.positional[1]);
        const SendState sent = store->sendPending();
        if (server && sent.waiting > 0)
            std::fprintf(stderr, "%s\n",
                         historyUnsentText(nameForTerminal(shown), sent.waiting, sent.why).c_str());
        return code;
    }

    filter.serial = opt.serial;
    filter.bench = opt.bench;
    filter.failedOnly = opt.failed;
    std::vector<HistoryRun> runs;
    const HistoryResult read = store->query(filter, runs);
    if (!read) {
        std::fprintf(stderr, "%s\n", historyProblemText(nameForTerminal(shown), read).c_str());
        return EXIT_FILE_REFUSED;
    }
    // A person reads the table; a script that reads the output gets JSON
    // lines unless it asks for CSV or the table.
    if (opt.json || (!opt.csv && !opt.table && !stdoutIsTerminal())) {
        for (const HistoryRun& run : runs)
            std::printf("%s\n", historyJsonLine(run).c_str());
    } else if (opt.csv) {
        std::fputs(historyCsvHeading().c_str(), stdout);
        for (const HistoryRun& run : runs)
            std::fputs(historyCsvLine(run).c_str(), stdout);
    } else {
        if (!opt.serial.empty())
            printSerialAnswer(*store, opt.serial, runs);
        std::fputs(historyTable(runs).c_str(), stdout);
        std::printf("%s\n", historyCountText(runs.size()).c_str());
    }
    std::fflush(stdout);
    return EXIT_OK;
}

}  // namespace zor::cli
