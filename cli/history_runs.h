#pragma once
// The command line's side of the history: a run made from a chronometer's
// run and its record, or from a record line written earlier; and the rows
// `history` prints, as a table, JSON lines or CSV.
#include <memory>
#include <string>
#include <vector>

#include "cli/record.h"
#include "history/history_store.h"
#include "history/run_history.h"

namespace zor::cli {

// The history's run for run, whose record is r.
HistoryRun historyRunOf(const ChronometerRun& run, const UpdateRecord& r, const RunContext& ctx);

// A line of a --record file as a history run, its id drawn from the line's
// bytes (so the same line imported twice is one run). False when the line
// is no record.
bool historyRunOfRecordLine(const std::string& line, HistoryRun& out);

// One JSON line per run, with the record's names where the record has the
// field ("time", "port", "identification", "table_read", "outcome", "code",
// ...) and the history's own beside them ("run_id", "bench", "serial",
// "meaning", ...).
std::string historyJsonLine(const HistoryRun& run);
// CSV, RFC 4180: the heading, then one line per run; each with CR LF.
std::string historyCsvHeading();
std::string historyCsvLine(const HistoryRun& run);
// A field quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text);
// The table for a terminal: heading and one line per run, each ended.
std::string historyTable(const std::vector<HistoryRun>& runs);

// What a chronometer holds after run: every partition of its planned table
// with a component, and whether this run wrote it.
struct HeldComponent {
    std::string name;
    bool written = false;
};
std::vector<HeldComponent> componentsAfter(const HistoryRun& run);

// The history the runs of update and station go to: none with
// --no-history; else --history, $ZORLOAD_HISTORY or the default. Runs are
// stored on a thread of the recorder's; a failure is said once on stderr,
// and never changes what the command does or its exit status.
// Where the bench's settings file (banco.ini, [storico]) keeps the history,
// when neither the option nor $ZORLOAD_HISTORY says: percorso=, or empty. A
// settings section at fault is said on stderr and left aside.
std::string historySetting();

class CommandHistory {
  public:
    CommandHistory(const std::string& option, bool off, const std::string& updateFile,
                   const std::string& fileId);
    ~CommandHistory();
    void add(const ChronometerRun& run, const UpdateRecord& r);
    // Says on stderr, once, why runs were not kept, when that is known.
    void warnIfFailed();
    // Waits for the runs queued, then warnIfFailed(); with a server, waits
    // for it at most SERVER_WAIT_MS and says how many runs wait to be sent.
    void finish();

    static constexpr int SERVER_WAIT_MS = 2000;

  private:
    bool on_ = false, warned_ = false;
    RunContext ctx_;
    std::unique_ptr<RunHistory> history_;
};

}  // namespace zor::cli
