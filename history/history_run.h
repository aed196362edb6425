#pragma once
// One chronometer's run as the history keeps it: who ran it where, which
// chronometer, which file and components, what the planner said and how it
// ended. Plain data, the same for every store; texts are UTF-8.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/chronometer_run.h"

namespace zor {

// How a run ended, as a key that stays the same in every store and every
// language (text/history_text.h words it).
namespace meaning {
constexpr const char* DONE = "done";                        // written and restarted
constexpr const char* CURRENT = "current";                  // had every component already
constexpr const char* UNCHANGED = "unchanged";              // the plan changed nothing
constexpr const char* NO_FIT = "no_fit";                    // the selection did not fit
constexpr const char* PLANNED = "planned";                  // a dry run: stopped at the plan
constexpr const char* SKIPPED = "skipped";                  // let go after the check
constexpr const char* UNREACHABLE = "unreachable";          // the check failed
constexpr const char* TRANSFER_FAILED = "transfer_failed";  // the transfer failed
}  // namespace meaning

// The planner's verdict as a key: "complete", "partial", "unchanged",
// "no_milo"; "current" when nothing had to be written; "" without a plan.
namespace verdict {
constexpr const char* COMPLETE = "complete";
constexpr const char* PARTIAL = "partial";
constexpr const char* UNCHANGED = "unchanged";
constexpr const char* NO_MILO = "no_milo";
constexpr const char* CURRENT = "current";
}  // namespace verdict

struct HistoryRun {
    std::string runId;             // 32 hex digits, unique: the run is stored once wherever it goes
    std::string time;              // UTC, "2026-12-08T06:02:11Z"
    std::string bench;             // the host name of the bench PC
    std::string user;              // the login name
    std::string program, version;  // "zorload-cli", "2.1.0.155"
    std::string position;          // the station's place on the bench, or empty
    std::string port, device;
    std::string identification;  // the chronometer's answer to 'I'
    std::string serial;          // its S/N (serialNumberOf)
    std::string file, fileId, fileSha256;
    std::string selected;      // JSON: [{"slot": 1, "text": "Programma base VERS 2.20 BUILD 41"}]
    std::string tableRead;     // JSON, as the record has it
    std::string tablePlanned;  // JSON, as the record has it; empty when no plan was made
    std::string verdict;       // a verdict:: key, or empty
    int code = 0;              // runCode: 0, 4, 5 or 100..108
    std::string meaning;       // a meaning:: key
    bool dryRun = false;
    std::string lastAnswer;  // the chronometer's last answer
    std::string error;       // the connection's failure as the bench was told it
    double seconds = 0;
    uint64_t bytes = 0;
};

// The stores' columns, in their order: the run's texts from run_id to
// verdict (table_planned NULL when empty), then code, meaning, dry_run,
// last_answer, error, seconds and bytes. "user" is quoted: PostgreSQL
// keeps the word for itself.
constexpr const char* HISTORY_COLUMNS =
    "run_id, time, bench, \"user\", program, version, position, port, device, identification, "
    "serial, file, file_id, file_sha256, selected, table_read, table_planned, verdict, code, "
    "meaning, dry_run, last_answer, error, seconds, bytes";
// The run's texts from run_id to verdict, in the columns' order.
constexpr size_t HISTORY_TEXT_COLUMNS = 18;
std::array<std::string*, HISTORY_TEXT_COLUMNS> textColumns(HistoryRun& run);
std::array<const std::string*, HISTORY_TEXT_COLUMNS> textColumns(const HistoryRun& run);

// The fields of a run that come from the engine's result alone: port,
// device, identification and S/N, code, meaning, verdict, last answer,
// duration and bytes.
void fillFromRun(HistoryRun& out, const ChronometerRun& run);

// The key of how run ended, and of its verdict.
const char* meaningOf(const ChronometerRun& run);
const char* verdictOf(const ChronometerRun& run);

// A fresh random run id: 32 hex digits.
std::string newRunId();
// The run id of a run known only by its text (a record line imported):
// always the same for the same text.
std::string runIdOfText(const std::string& text);

// The bench PC's host name, empty when the OS does not tell.
std::string benchHostName();

}  // namespace zor
