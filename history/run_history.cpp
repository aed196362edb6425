#include "history/run_history.h"

#include "app/json.h"
#include "engine/plan_json.h"
#include "history/history_path.h"
#include "history/sha256.h"
#include "platform/file.h"
#include "platform/port_diagnosis.h"

namespace zor {

RunContext runContext(const std::string& program, const std::string& version,
                      const std::string& updateFile, const std::string& fileId) {
    RunContext ctx;
    ctx.bench = benchHostName();
    ctx.user = currentUserName();
    ctx.program = program;
    ctx.version = version;
    ctx.file = updateFile;
    ctx.fileId = fileId;
    ctx.fileSha256 = fileSha256Hex(updateFile);
    return ctx;
}

SelectedTexts selectedTexts(const ChronometerRun& run, const UpdateTable& components) {
    SelectedTexts out;
    for (size_t slot : run.selected) {
        if (slot < components.size())
            out.emplace_back(slot, components[slot].versionText());
    }
    return out;
}

HistoryRun historyRunOf(const ChronometerRun& run, const SelectedTexts& selected,
                        const RunContext& ctx, const std::string& time,
                        const std::string& position) {
    HistoryRun h;
    h.runId = newRunId();
    h.time = time;
    h.bench = ctx.bench;
    h.user = ctx.user;
    h.program = ctx.program;
    h.version = ctx.version;
    h.position = position;
    fillFromRun(h, run);
    h.file = ctx.file;
    h.fileId = ctx.fileId;
    h.fileSha256 = ctx.fileSha256;
    JsonWriter chosen;
    chosen.beginArray();
    for (const auto& [slot, text] : selected) {
        chosen.beginObject()
            .member("slot", static_cast<int>(slot))
            .member("text", utf8Text(text, false))
            .endObject();
    }
    h.selected = chosen.endArray().text();
    JsonWriter read;
    tableJson(read, run.tableRead);
    h.tableRead = read.text();
    if (run.planMade) {
        JsonWriter planned;
        planJson(planned, run.view);
        h.tablePlanned = planned.text();
    }
    return h;
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

RunHistory::RunHistory(const std::string& given, const std::string& setting) {
    bool isDefault = false;
    path_ = chosenHistoryPath(given, isDefault, setting);
    if (isServerHistory(path_)) {
        server_ = path_;
        path_ = defaultHistoryPath();
        isDefault = true;
    }
    if (path_.empty())
        return;
    const std::string name = server_.empty() ? path_ : server_;
    const std::string local = path_;
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

void RunHistory::add(HistoryRun run) {
    if (recorder_)
        recorder_->add(std::move(run));
}

std::optional<HistoryResult> RunHistory::takeFailure() {
    if (!recorder_)
        return std::nullopt;
    std::optional<HistoryResult> failure = recorder_->takeFailure();
    if (failure && failure->ok())
        return std::nullopt;
    return failure;
}

bool RunHistory::finish(std::chrono::milliseconds serverWait) {
    if (!recorder_)
        return true;
    if (server_.empty()) {
        recorder_->flush();
        return true;
    }
    return recorder_->flushFor(serverWait) && recorder_->sendState().waiting == 0;
}

SendState RunHistory::sendState() const {
    return recorder_ ? recorder_->sendState() : SendState();
}

}  // namespace zor
