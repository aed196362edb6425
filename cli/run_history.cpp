// The history the runs of update and station go to.
#include <cstdio>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/history_runs.h"
#include "history/history_path.h"
#include "history/sha256.h"
#include "platform/port_diagnosis.h"
#include "text/history_text.h"

namespace zor::cli {

RunContext runContext(const std::string& updateFile) {
    RunContext ctx;
    ctx.bench = benchHostName();
    ctx.user = currentUserName();
    ctx.program = "zorload-cli";
    ctx.version = getVersionString("FileVersion", "");
    ctx.fileSha256 = fileSha256Hex(updateFile);
    return ctx;
}

RunHistory::RunHistory(const std::string& option, bool off, const std::string& updateFile) {
    on_ = !off;
    if (off)
        return;
    bool isDefault = false;
    path_ = chosenHistoryPath(option, isDefault);
    ctx_ = runContext(updateFile);
    if (path_.empty())
        return;
    const std::string path = path_;
    recorder_ = std::make_unique<HistoryRecorder>([path, isDefault](HistoryResult& result) {
        std::unique_ptr<HistoryStore> store = openLocalHistory(path, isDefault, result);
        // A build without the store says nothing unless a history was asked for.
        if (!store && isDefault && result.fault == HistoryFault::Unavailable)
            result = HistoryResult();
        return store;
    });
}

RunHistory::~RunHistory() = default;

void RunHistory::add(const ChronometerRun& run, const UpdateRecord& r) {
    if (recorder_) {
        recorder_->add(historyRunOf(run, r, ctx_));
    } else if (on_ && !warned_) {
        // Runs to keep, and nowhere to keep them.
        warned_ = true;
        std::fprintf(stderr, "%s\n", historyNoPathText().c_str());
    }
}

void RunHistory::warnIfFailed() {
    if (!recorder_ || warned_)
        return;
    const std::optional<HistoryResult> failure = recorder_->takeFailure();
    if (!failure || failure->ok())
        return;
    warned_ = true;
    std::fprintf(stderr, "%s\n", historyNotKeptText(nameForTerminal(path_), *failure).c_str());
}

void RunHistory::finish() {
    if (recorder_)
        recorder_->flush();
    warnIfFailed();
}

}  // namespace zor::cli
