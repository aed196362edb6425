#include "engine/station_events.h"

#include "app/json.h"
#include "engine/plan_view.h"

namespace zor {

bool worthSending(const StationEvent& e, int phaseBefore, int reportedBefore) {
    return e.kind != StationEvent::Kind::Progress || e.phase != phaseBefore ||
           e.overall / 10 != reportedBefore / 10;
}

StationEvent stationEvent(StationEvent::Kind kind, const StationPort& where, PortState state) {
    StationEvent e;
    e.kind = kind;
    e.port = where.port;
    e.device = where.device;
    e.state = state;
    return e;
}

const char* stateKey(PortState state) {
    switch (state) {
        case PortState::Absent:
            return "absent";
        case PortState::Held:
            return "held";
        case PortState::Waiting:
            return "waiting";
        case PortState::Connecting:
            return "connecting";
        case PortState::Checking:
            return "checking";
        case PortState::Transferring:
            return "transferring";
        case PortState::Restarting:
            return "restarting";
        case PortState::Done:
            return "done";
        case PortState::UpToDate:
            return "current";
        case PortState::Failed:
            return "failed";
    }
    return "waiting";
}

std::string stationEventJson(const StationEvent& e, const ChronometerRun* run,
                             const std::string& position, std::string* eventName) {
    JsonWriter j;
    j.beginObject();
    const auto head = [&](const char* name) {
        if (eventName)
            *eventName = name;
        j.member("event", name).member("port", e.port);
        if (!position.empty())
            j.member("position", position);
        j.member("device", e.device);
    };
    switch (e.kind) {
        case StationEvent::Kind::Added:
            head("added");
            break;
        case StationEvent::Kind::Removed:
            head("removed");
            break;
        case StationEvent::Kind::State:
            head("state");
            j.member("state", stateKey(e.state));
            break;
        case StationEvent::Kind::Connected:
            head("connected");
            j.member("identification", utf8Text(e.identification, false));
            break;
        case StationEvent::Kind::Known:
            head("known");
            j.member("identification", utf8Text(e.identification, false))
                .member("state", stateKey(e.state));
            break;
        case StationEvent::Kind::Progress:
            head("progress");
            j.member("percent", e.overall).member("phase", e.phase).member("phases", e.phaseCount);
            if (e.leftMs >= 0)
                j.member("seconds_left", e.leftMs / 1000.0);
            break;
        case StationEvent::Kind::Finished:
            head(e.state == PortState::Done       ? "done"
                 : e.state == PortState::UpToDate ? "current"
                                                  : "failed");
            j.member("identification", utf8Text(e.identification, false))
                .member("code", e.state == PortState::Failed && run ? runCode(*run) : 0)
                .member("last_answer", run ? utf8Text(run->lastAnswer, false) : std::string())
                .member("seconds", run ? run->ms / 1000.0 : 0.0)
                .member("bytes", run ? run->bytes : uint64_t{0});
            break;
    }
    j.endObject();
    return j.text();
}

std::string stationSummaryJson(int done, int failed, int upToDate, uint32_t ms) {
    return JsonWriter()
        .beginObject()
        .member("event", "summary")
        .member("done", done)
        .member("failed", failed)
        .member("current", upToDate)
        .member("seconds", ms / 1000.0)
        .endObject()
        .text();
}

void sendStationEvent(const StationEventSink& sink, const StationEvent& e,
                      const ChronometerRun* run, const std::string& position) {
    if (!sink)
        return;
    std::string name;
    const std::string text = stationEventJson(e, run, position, &name);
    sink(e.port, name, text);
    if (e.kind == StationEvent::Kind::Finished || e.kind == StationEvent::Kind::Known) {
        StationEvent state = e;
        state.kind = StationEvent::Kind::State;
        sink(e.port, "state", stationEventJson(state, nullptr, position));
    }
}

}  // namespace zor
