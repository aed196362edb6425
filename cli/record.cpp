#include "cli/record.h"

#include <cstdio>

#include "app/json.h"
#include "cli/commands.h"
#include "engine/plan_json.h"
#include "history/run_history.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "text/outcome_text.h"
#include "text/plan_text.h"

namespace zor::cli {

UpdateRecord runRecord(const ChronometerRun& run, const std::string& time, const std::string& file,
                       const std::string& fileId, const UpdateTable& components) {
    UpdateRecord r;
    r.time = time;
    r.port = run.port;
    r.device = run.device;
    r.identification = run.identification;
    r.file = file;
    r.fileId = fileId;
    r.selected = selectedTexts(run, components);
    r.tableRead = &run.tableRead;
    r.plan = run.planMade ? &run.view : nullptr;
    r.outcome = runVerdictText(run);
    r.code = runStatus(run);
    r.lastAnswer = run.lastAnswer;
    r.seconds = run.ms / 1000.0;
    r.bytes = run.transferred() ? run.transferBytes : run.bytes;
    return r;
}

std::string recordLine(const UpdateRecord& r) {
    JsonWriter json;
    json.beginObject().member("time", r.time).member("port", r.port);
    if (!r.position.empty())
        json.member("position", r.position);
    json.member("device", r.device)
        .member("identification", utf8Text(r.identification, false))
        .member("file", r.file)
        .member("file_id", r.fileId)
        .key("selected")
        .beginArray();
    for (const auto& [slot, text] : r.selected) {
        json.beginObject()
            .member("slot", static_cast<int>(slot))
            .member("text", utf8Text(text, false))
            .endObject();
    }
    json.endArray().key("table_read");
    if (r.tableRead)
        tableJson(json, *r.tableRead);
    else
        json.beginArray().endArray();
    json.key("table_planned");
    if (r.plan)
        planJson(json, *r.plan);
    else
        json.null();
    json.member("outcome", r.outcome)
        .member("dry_run", r.dryRun)
        .member("code", r.code)
        .member("last_answer", utf8Text(r.lastAnswer, false))
        .member("error", r.error)
        .member("seconds", r.seconds)
        .member("bytes", r.bytes);
    json.endObject();
    return json.text();
}

void writeRecord(const std::string& path, const UpdateRecord& r) {
    std::string error;
    if (!appendRecord(path, recordLine(r), error)) {
        std::fprintf(stderr, "%s\n", recordFailedText(path, error).c_str());
    }
}

bool canRecord(const std::string& path, std::string& error) {
    FileProblem problem;
    File file = File::openAppend(path, problem);
    if (!file.isOpen()) {
        error = fileProblemText(problem);
        return false;
    }
    return true;
}

bool appendRecord(const std::string& path, const std::string& line, std::string& error) {
    FileProblem problem;
    File file = File::openAppend(path, problem);
    if (!file.isOpen()) {
        error = fileProblemText(problem);
        return false;
    }
    const std::string whole = line + "\n";
    if (!file.write(whole.data(), whole.size())) {
        error = osErrorText(lastSystemError());
        return false;
    }
    return true;
}

}  // namespace zor::cli
