#pragma once
// The transfer from the terminal: the display kept up to date while the
// worker runs, interrupts refused, where it stopped when it fails.
#include <cstdint>
#include <string>

#include "app/outcome.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "engine/update_session.h"

namespace zor::cli {

struct TransferResult {
    Outcome outcome;
    int code = 0;  // 0, or 100..108
    uint64_t bytes = 0;
    uint32_t ms = 0;
    std::string phase;  // where it stopped, for a failure
};

// Runs the session's planned table with the progress display; interrupts are
// refused while it runs.
TransferResult runTransfer(UpdateSession& session, CliObserver& observer, const Options& opt,
                           const Connection& conn);

}  // namespace zor::cli
