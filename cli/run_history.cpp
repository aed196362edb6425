// The history the runs of update and station go to.
#include <cstdio>

#include "app/bench_positions.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/history_runs.h"
#include "history/history_path.h"
#include "text/history_text.h"
#include "text/station_text.h"

namespace zor::cli {

std::string historySetting() {
    const std::string path = benchPositionsPath();
    const SettingsResult read = readBenchSettings(path);
    if (read.fault == PositionsFault::Missing)
        return std::string();
    if (!read.ok()) {
        std::fprintf(
            stderr, "%s\n",
            historySettingsIgnoredLine(positionsFaultText(nameForTerminal(path), read)).c_str());
        return std::string();
    }
    return read.settings.historyPlace;
}

CommandHistory::CommandHistory(const std::string& option, bool off, const std::string& updateFile,
                               const std::string& fileId) {
    on_ = !off;
    if (off)
        return;
    ctx_ = runContext("zorload-cli", getVersionString("FileVersion", ""), updateFile, fileId);
    history_ = std::make_unique<RunHistory>(option, option.empty() ? historySetting() : "");
}

CommandHistory::~CommandHistory() = default;

void CommandHistory::add(const ChronometerRun& run, const UpdateRecord& r) {
    if (history_ && history_->hasPlace()) {
        history_->add(historyRunOf(run, r, ctx_));
    } else if (on_ && !warned_) {
        // Runs to keep, and nowhere to keep them.
        warned_ = true;
        std::fprintf(stderr, "%s\n", historyNoPathText().c_str());
    }
}

void CommandHistory::warnIfFailed() {
    if (!history_ || warned_)
        return;
    const std::optional<HistoryResult> failure = history_->takeFailure();
    if (!failure)
        return;
    warned_ = true;
    std::fprintf(stderr, "%s\n",
                 historyNotKeptText(nameForTerminal(history_->path()), *failure).c_str());
}

void CommandHistory::finish() {
    if (!history_ || !history_->hasPlace())
        return;
    // The bench's file takes every run at once; a server that is slow or
    // down is waited for a little, then the rest waits in the outbox.
    const bool sent = history_->finish(std::chrono::milliseconds(SERVER_WAIT_MS));
    warnIfFailed();
    const SendState state = history_->sendState();
    if (!history_->server().empty() && !warned_ && !sent)
        std::fprintf(stderr, "%s\n",
                     historyUnsentText(nameForTerminal(serverForPeople(history_->server())),
                                       state.waiting > 0 ? state.waiting : 1, state.why)
                         .c_str());
}

}  // namespace zor::cli
