#pragma once
// The bench's record: one JSON line per chronometer, appended to a file.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/utc_time.h"
#include "engine/chronometer_run.h"
#include "engine/plan_view.h"
#include "flash/partition_table.h"
#include "platform/file.h"
#include "text/cli_text.h"  // fileProblemText(): why a file was refused

namespace zor::cli {

// One chronometer's line in the record.
struct UpdateRecord {
    std::string time, port, device;
    std::string position;        // the station's: the port's place on the bench (UTF-8), or empty
    std::string identification;  // Windows-1252
    std::string file, fileId;
    std::vector<std::pair<size_t, std::string>> selected;  // slot, version text (Windows-1252)
    const PartitionTable* tableRead = nullptr;
    const PlanView* plan = nullptr;  // null: no plan was made
    std::string outcome;             // the planner's verdict or "già aggiornato", UTF-8
    bool dryRun = false;
    int code = 0;
    std::string lastAnswer;  // Windows-1252
    std::string error;
    double seconds = 0;
    uint64_t bytes = 0;
};

// The exit status `update` gives for how a chronometer's run ended: its
// number (runCode: 0, 4, 5 or the transfer's 100..108). A station shows it
// for a failed chronometer.
inline int runStatus(const ChronometerRun& run) {
    return runCode(run);
}

// A run's record, made the same way by update and by the station; time is
// the UTC time to record. The record points into run.
UpdateRecord runRecord(const ChronometerRun& run, const std::string& time, const std::string& file,
                       const std::string& fileId, const UpdateTable& components);

// The record's JSON line (without line end).
std::string recordLine(const UpdateRecord& r);

// Appends line and a line end to path in one write, so that a record is
// whole or absent, never mixed with another program's. False with why in
// error.
bool appendRecord(const std::string& path, const std::string& line, std::string& error);

// Appends r's line to path; says on stderr why, when it cannot.
void writeRecord(const std::string& path, const UpdateRecord& r);

// Whether path can take records (created when missing); why not in error.
bool canRecord(const std::string& path, std::string& error);

}  // namespace zor::cli
