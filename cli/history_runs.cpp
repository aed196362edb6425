#include "cli/history_runs.h"

#include <algorithm>
#include <cstdio>

#include "app/json.h"
#include "app/json_reader.h"
#include "cli/cli_ui.h"
#include "engine/plan_json.h"
#include "text/app_text.h"
#include "text/history_text.h"

namespace zor::cli {

HistoryRun historyRunOf(const ChronometerRun& run, const UpdateRecord& r, const RunContext& ctx) {
    HistoryRun h = zor::historyRunOf(run, r.selected, ctx, r.time, r.position);
    h.dryRun = r.dryRun;
    h.error = r.error;
    return h;
}

namespace {

// The verdict key whose words the record wrote.
std::string verdictKeyOf(const std::string& outcome) {
    for (const char* key : {verdict::COMPLETE, verdict::PARTIAL, verdict::UNCHANGED,
                            verdict::NO_MILO, verdict::CURRENT}) {
        if (!outcome.empty() && verdictKeyText(key) == outcome)
            return key;
    }
    return std::string();
}

// How a recorded run ended, from what the record kept: its code, its
// verdict and whether it was a dry run.
std::string meaningOfRecord(int code, const std::string& verdictKey, bool dryRun) {
    if (code == 0) {
        if (dryRun)
            return meaning::PLANNED;
        return verdictKey == verdict::CURRENT ? meaning::CURRENT : meaning::DONE;
    }
    if (code == RUN_UNREACHABLE)
        return meaning::UNREACHABLE;
    if (code == RUN_NO_PLAN)
        return verdictKey == verdict::UNCHANGED ? meaning::UNCHANGED : meaning::NO_FIT;
    return meaning::TRANSFER_FAILED;
}

std::string rawOf(const std::string& line, const JsonValue* v, const char* fallback) {
    if (!v || v->type == JsonValue::Type::Null)
        return fallback;
    return line.substr(v->begin, v->end - v->begin);
}

}  // namespace

bool historyRunOfRecordLine(const std::string& text, HistoryRun& out) {
    std::string line = text;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    JsonValue v;
    if (!parseJson(line, v) || v.type != JsonValue::Type::Object)
        return false;
    const JsonValue* time = v.find("time");
    const JsonValue* code = v.find("code");
    if (!time || time->type != JsonValue::Type::String || !code ||
        code->type != JsonValue::Type::Number)
        return false;
    out = HistoryRun();
    out.runId = runIdOfText(line);
    out.time = time->text;
    out.position = v.textOf("position");
    out.port = v.textOf("port");
    out.device = v.textOf("device");
    out.identification = v.textOf("identification");
    out.serial = out.identification.empty() ? std::string() : serialNumberOf(out.identification);
    out.file = v.textOf("file");
    out.fileId = v.textOf("file_id");
    out.selected = rawOf(line, v.find("selected"), "[]");
    out.tableRead = rawOf(line, v.find("table_read"), "[]");
    out.tablePlanned = rawOf(line, v.find("table_planned"), "");
    out.verdict = verdictKeyOf(v.textOf("outcome"));
    out.code = static_cast<int>(code->number);
    out.dryRun = v.flagOf("dry_run");
    out.meaning = meaningOfRecord(out.code, out.verdict, out.dryRun);
    out.lastAnswer = v.textOf("last_answer");
    out.error = v.textOf("error");
    out.seconds = v.numberOf("seconds");
    const double bytes = v.numberOf("bytes");
    out.bytes = bytes > 0 ? static_cast<uint64_t>(bytes) : 0;
    return true;
}

namespace {

// A table kept in the history, as JSON: as it is when it parses, else as a
// text (a file edited by hand must not break the line).
void tableMember(JsonWriter& json, const char* name, const std::string& kept, bool nullWhenEmpty) {
    json.key(name);
    JsonValue v;
    if (kept.empty() && nullWhenEmpty)
        json.null();
    else if (parseJson(kept, v))
        json.raw(kept);
    else
        json.value(kept);
}

}  // namespace

std::string historyJsonLine(const HistoryRun& run) {
    JsonWriter json;
    json.beginObject()
        .member("run_id", run.runId)
        .member("time", run.time)
        .member("bench", run.bench)
        .member("user", run.user)
        .member("program", run.program)
        .member("version", run.version)
        .member("port", run.port);
    if (!run.position.empty())
        json.member("position", run.position);
    json.member("device", run.device)
        .member("identification", run.identification)
        .member("serial", run.serial)
        .member("file", run.file)
        .member("file_id", run.fileId)
        .member("file_sha256", run.fileSha256);
    tableMember(json, "selected", run.selected, false);
    tableMember(json, "table_read", run.tableRead, false);
    tableMember(json, "table_planned", run.tablePlanned, true);
    json.member("outcome", verdictKeyText(run.verdict))
        .member("verdict", run.verdict)
        .member("dry_run", run.dryRun)
        .member("code", run.code)
        .member("meaning", run.meaning)
        .member("last_answer", run.lastAnswer)
        .member("error", run.error)
        .member("seconds", run.seconds)
        .member("bytes", run.bytes);
    return json.endObject().text();
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

namespace {

const char* const CSV_COLUMNS[] = {
    "run_id",   "time",        "bench",          "user",    "program", "version", "position",
    "port",     "device",      "identification", "serial",  "file",    "file_id", "file_sha256",
    "selected", "table_read",  "table_planned",  "outcome", "verdict", "dry_run", "code",
    "meaning",  "last_answer", "error",          "seconds", "bytes",
};

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::string historyCsvHeading() {
    std::string line;
    for (const char* column : CSV_COLUMNS)
        line += (line.empty() ? "" : ",") + std::string(column);
    return line + "\r\n";
}

std::string historyCsvLine(const HistoryRun& run) {
    // The stores' texts as they stand, but the verdict: its words come
    // first, as "outcome", then its key.
    std::vector<std::string> fields;
    for (const std::string* text : textColumns(run)) {
        if (text == &run.verdict)
            fields.push_back(verdictKeyText(run.verdict));
        fields.push_back(*text);
    }
    for (const std::string& more :
         {std::string(run.dryRun ? "true" : "false"), std::to_string(run.code), run.meaning,
          run.lastAnswer, run.error, secondsText(run.seconds), std::to_string(run.bytes)})
        fields.push_back(more);
    std::string line;
    for (size_t i = 0; i < fields.size() && i < std::size(CSV_COLUMNS); ++i)
        line += (i == 0 ? "" : ",") + csvField(fields[i]);
    return line + "\r\n";
}

namespace {

// Letters, not bytes: "già" is three columns wide.
size_t columns(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

std::string historyTable(const std::vector<HistoryRun>& runs) {
    const HistoryHeadings& h = HISTORY_HEADINGS;
    std::vector<std::vector<std::string>> rows = {
        {h.time, h.bench, h.port, h.serial, h.outcome, h.took, h.file}};
    for (const HistoryRun& run : runs) {
        rows.push_back({run.time, run.bench, run.position.empty() ? run.port : run.position,
                        run.serial, runMeaningText(run.meaning, run.code, run.dryRun),
                        durationText(static_cast<uint32_t>(run.seconds * 1000 + 0.5)), run.file});
    }
    // Texts from the history are shown, never obeyed: no control reaches
    // the terminal.
    for (auto& row : rows) {
        for (std::string& cell : row)
            cell = nameForTerminal(cell);
    }
    std::vector<size_t> width(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            width[i] = std::max(width[i], columns(row[i]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(width[i] - columns(row[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::vector<HeldComponent> componentsAfter(const HistoryRun& run) {
    std::vector<HeldComponent> held;
    JsonValue planned;
    if (!parseJson(run.tablePlanned, planned) || planned.type != JsonValue::Type::Array)
        return held;
    for (const JsonValue& row : planned.items) {
        const std::string action = row.textOf("action");
        const std::string name = row.textOf("name");
        if (name.empty() || (action != "write" && action != "keep"))
            continue;
        held.push_back({name, action == "write"});
    }
    return held;
}

}  // namespace zor::cli
