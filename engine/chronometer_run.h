#pragma once
// One chronometer's run, the same for `update` and for each port of the
// bench station: the check, the components selected, the plan, the transfer
// with its restart, and what came of it. The caller has opened the port; it
// renders the steps through RunSteps and the result once the run returns.
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "app/outcome.h"
#include "engine/plan_view.h"
#include "engine/update_session.h"
#include "flash/partition_table.h"
#include "flash/planner.h"
#include "updatefile/segment.h"

namespace zor {

// Which components a chronometer gets: the slots named, or (outdated) every
// component whose name, VERS or BUILD differ from what it has installed.
struct ComponentSelection {
    bool outdated = false;
    std::set<size_t> slots;
};

// The slots of components (the update file's table) that a chronometer with
// table installed gets under selection; only slots holding data count.
std::set<size_t> selectedSlots(const ComponentSelection& selection, const UpdateTable& components,
                               const PartitionTable& installed);

// How a run ended.
enum class RunEnd {
    Unreachable,     // the check failed: outcome says how
    Skipped,         // the caller let the chronometer go after the check
    NothingToWrite,  // every selected component is installed already (outdated)
    Unchanged,       // the plan fits and changes nothing on the chronometer
    NoFit,           // the selection does not fit the flash
    Planned,         // stopped before the transfer, as the caller asked (a dry run)
    Done,            // transferred and restarted
    TransferFailed,  // the transfer failed: code and outcome say how
};

// One chronometer's run on a port, as it ended.
struct ChronometerRun {
    std::string port, device;
    std::string identification;  // its answer to 'I', Windows-1252; empty when none came
    std::set<size_t> selected;
    PartitionTable tableRead;
    PartitionTable planned;
    bool planMade = false;
    PlanView view;
    PlanVerdict verdict = PlanVerdict::Unchanged;  // the planner's, once planMade
    RunEnd end = RunEnd::Unreachable;
    TransferCode code = TRANSFER_OK;  // the transfer's result, once it ran
    Outcome outcome;                  // the check's when Unreachable, the transfer's once it ran
    std::string lastAnswer;  // Windows-1252; the chronometer's last answer once a transfer ran
    uint32_t startedMs = 0;  // tick the run counts from, set by the caller
    uint32_t ms = 0;
    uint64_t bytes = 0;             // wire bytes written during the run
    uint64_t transferBytes = 0;     // of which by the transfer
    int phase = 0, phaseCount = 0;  // where the transfer ended (0: before its first phase)

    bool transferred() const { return end == RunEnd::Done || end == RunEnd::TransferFailed; }
    // Nothing had to be written: the chronometer has what was selected.
    bool upToDate() const { return end == RunEnd::NothingToWrite || end == RunEnd::Unchanged; }
};

// The S/N in a chronometer's answer to 'I' ("007 Cronometro S/N 0412-0087
// boot 1.30"), or what follows its code; UTF-8.
std::string serialNumberOf(const std::string& identification);

// A run's number as scripts and the bench are shown it: 0 when it ended
// well (updated, up to date, skipped, planned), RUN_UNREACHABLE when the
// check failed, RUN_NO_PLAN when the selection did not fit or changed
// nothing, else the transfer's code (100..108).
constexpr int RUN_UNREACHABLE = 4;
constexpr int RUN_NO_PLAN = 5;
int runCode(const ChronometerRun& run);

// What the caller does between the steps; every member may be empty.
struct RunSteps {
    // The check passed: the identification and the table read are in run.
    // Returning false ends the run there, as Skipped.
    std::function<bool(const ChronometerRun& run)> checked;
    // The plan was made (fitting or not). Returning false ends the run
    // before the transfer, as Planned.
    std::function<bool(const ChronometerRun& run)> planned;
    // The transfer is about to start.
    std::function<void(const ChronometerRun& run)> transferring;
    // Runs the transfer and returns its outcome; empty: runTransfer() on the
    // calling thread.
    std::function<Outcome(UpdateSession& session)> transfer;
};

// Ends run with its transfer's outcome: the end, the code, the
// chronometer's last answer, the phase the transfer stood in and the bytes
// it wrote since transferBefore (the link's count as it started); the run's
// time from run.startedMs and its bytes since bytesBefore. For a front end
// that transfers through the session itself, and for runChronometer.
void endTransferredRun(UpdateSession& session, const Outcome& outcome, uint64_t bytesBefore,
                       uint64_t transferBefore, ChronometerRun& run);

// Checks the chronometer on the session's open port, selects, plans and
// transfers; run.port, run.device and run.startedMs are the caller's.
void runChronometer(UpdateSession& session, const UpdateTable& components,
                    const ComponentSelection& selection, bool highSpeed, const LogWriter& log,
                    const RunSteps& steps, ChronometerRun& run);

}  // namespace zor
