#pragma once
// The subcommands of zorload-cli. Each takes the arguments after its name and
// returns the process exit status.
#include <string>
#include <vector>

#include "engine/chronometer_run.h"

namespace zor::cli {

// Exit statuses shared by the subcommands; 100..108 are transfer outcomes.
constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_FILE_REFUSED = 3;
constexpr int EXIT_UNREACHABLE = RUN_UNREACHABLE;
constexpr int EXIT_NO_PLAN = RUN_NO_PLAN;
constexpr int EXIT_STATION_FAILED = 6;

using Args = std::vector<std::string>;

int cmdInfo(const Args& args);
int cmdPorts(const Args& args);
int cmdCheck(const Args& args);
int cmdUpdate(const Args& args);
int cmdStation(const Args& args);
int cmdHistory(const Args& args);

// What a subcommand was given.
struct Options {
    std::vector<std::string> positional;
    std::string select;
    std::string record;
    std::string ports;     // station: the ports, comma-separated, or "all"
    std::string traceDir;  // station: a trace file per port in it
    int count = 0;         // station: end after this many chronometers; 0: never
    bool high = false;
    bool dryRun = false;
    bool trace = false;
    bool json = false;
    bool noBell = false;     // station: no bell on a terminal when a chronometer fails
    bool again = false;      // station: write a chronometer again when it comes back
    std::string history;     // the history file, instead of $ZORLOAD_HISTORY or the default
    bool noHistory = false;  // update, station: keep no history of the runs
    std::string mqtt;        // station: the broker and topic prefix its events go to
    // history: which runs, and how they are shown.
    std::string serial, since, until, bench;
    bool failed = false;
    bool csv = false;
    bool table = false;  // history: the table even off a terminal
};

// Reads the options the subcommand takes, anywhere after its name, and checks
// the number of positional arguments. Empty on success, else what is wrong
// (one line, Italian, naming the argument).
std::string parseOptions(const std::string& command, const Args& args, Options& out);

// "zorload-cli COMMAND: problem" and that subcommand's usage on stderr;
// EXIT_USAGE.
int usageError(const std::string& command, const std::string& problem);

// Usage of the whole tool, and of one subcommand ("" when there is none).
std::string usageText();
std::string usageOf(const std::string& command);
// The long help: options, environment and exit statuses; the whole tool's
// for an empty command, "" for an unknown one.
std::string helpText(const std::string& command);

}  // namespace zor::cli
