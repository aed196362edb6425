// The history the runs of update and station go to.
#include <cstdio>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/history_runs.h"
#include "history/history_path.h"
#include "history/sha256.h"
#include "platform/file.h"
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

namespace {

// How often runs waiting for the server are offered to it again:
// $ZORLOAD_HISTORY_RETRY seconds (1 to 3600), else 30.
std::chrono::milliseconds serverRetry() {
    const std::string text = environmentText("ZORLOAD_HISTORY_RETRY");
    int seconds = 30;
    if (!text.empty() && text.size() <= 4 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        const int given = std::stoi(text);
        if (given >= 1 && given <= 3600)
            seconds = given;
    }
    return std::chrono::seconds(seconds);
}

}  // namespace

RunHistory::RunHistory(const std::string& option, bool off, const std::string& updateFile) {
    on_ = !off;
    if (off)
        return;
    bool isDefault = false;
    path_ = chosenHistoryPath(option, isDefault);
    ctx_ = runContext(updateFile);
    // A centre's server: the runs are kept first in the bench's own file,
    // the outbox, and sent from there.
    std::string local = path_;
    if (isServerHistory(path_)) {
        server_ = path_;
        local = defaultHistoryPath();
        path_ = local;
        isDefault = true;
    }
    if (path_.empty())
        return;
    const std::string name = server_.empty() ? path_ : server_;
    recorder_ = std::make_unique<HistoryRecorder>(
        [name, local, isDefault](HistoryResult& result) {
            std::unique_ptr<HistoryStore> store = openRunHistory(name, local, isDefault, result);
            // A build without the store says nothing unless a history was asked for.
            if (!store && isDefault && result.fault == HistoryFault::Unavailable)
                result = HistoryResult();
            return store;
        },
        serverRetry());
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
    if (!recorder_)
        return;
    // The bench's file takes every run at once; a server that is slow or
    // down is waited for a little, then the rest waits in the outbox.
    bool flushed = true;
    if (server_.empty())
        recorder_->flush();
    else
        flushed = recorder_->flushFor(std::chrono::milliseconds(SERVER_WAIT_MS));
    warnIfFailed();
    const SendState sent = recorder_->sendState();
    if (!server_.empty() && !warned_ && (!flushed || sent.waiting > 0))
        std::fprintf(stderr, "%s\n",
                     historyUnsentText(nameForTerminal(serverForPeople(server_)),
                                       sent.waiting > 0 ? sent.waiting : 1, sent.why)
                         .c_str());
}

}  // namespace zor::cli
