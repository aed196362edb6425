#pragma once
// The bench station's events as JSON objects, one per event: what
// `station --json` prints a line of and what a broker passes on to the
// centre's screens, the same from the command line and from the bench
// window.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/chronometer_run.h"
#include "engine/station.h"

namespace zor {

// One station event, made from the station's typed calls.
struct StationEvent {
    enum class Kind {
        Added,      // a port joined the station
        Removed,    // an adapter left
        State,      // the port's state changed
        Connected,  // the chronometer identified itself: identification
        Progress,   // overall percent, phase of phaseCount, leftMs
        Finished,   // the run ended: state Done, UpToDate or Failed, with the run
        Known,      // a chronometer done earlier came back: identification, state
    };
    Kind kind = Kind::State;
    std::string port, device;
    PortState state = PortState::Waiting;
    std::string identification;  // Windows-1252
    int overall = 0, phase = 0, phaseCount = 0;
    int64_t leftMs = -1;  // Progress: the transfer's time left, -1 while not known
};

// Whether e is worth a JSON object of its own: progress in steps of a tenth
// and at each new phase, not at every report (phaseBefore and reportedBefore:
// the port's phase and the percent last sent); every other event.
bool worthSending(const StationEvent& e, int phaseBefore, int reportedBefore);

// An event of kind about where, in state.
StationEvent stationEvent(StationEvent::Kind kind, const StationPort& where, PortState state);

// The port state's name in the JSON objects: "waiting", "transferring", ...
const char* stateKey(PortState state);

// The event as one JSON object: "event", "port", "position" (when position
// is not empty), "device", then what the event carries; run for Finished.
// eventName, when given, receives the event's name ("state", "done", ...).
std::string stationEventJson(const StationEvent& e, const ChronometerRun* run,
                             const std::string& position, std::string* eventName = nullptr);

// The totals at the station's end: {"event": "summary", ...}.
std::string stationSummaryJson(int done, int failed, int upToDate, uint32_t ms);

// Where every event goes besides the front end's own view: the port (empty
// for the bench's summary), the event's name and its JSON object.
using StationEventSink =
    std::function<void(const std::string& port, const std::string& event, const std::string& json)>;

// Sends e to sink; a run's end and a chronometer known again also as the
// port's new "state", for those who keep only the last one.
void sendStationEvent(const StationEventSink& sink, const StationEvent& e,
                      const ChronometerRun* run, const std::string& position);

}  // namespace zor
