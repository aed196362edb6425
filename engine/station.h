#pragma once
// The bench station: every port watched at once. A port with nothing on it
// is probed about once a second with the link test; a chronometer that
// answers gets the whole update (check, plan of the selection, transfer,
// restart) on its own session and thread, exactly as one update does it.
// After a chronometer's run the port waits until that chronometer has gone
// (no answer to the probe) before it takes the next. A fault stays on its
// port: nothing one port meets stops or slows another.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/outcome.h"
#include "engine/plan_view.h"
#include "engine/update_session.h"
#include "flash/partition_table.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "updatefile/segment.h"

namespace zor {

// Which components a chronometer gets: the slots named, or (outdated) every
// component whose name, VERS or BUILD differ from what it has installed.
struct ComponentSelection {
    bool outdated = false;
    std::set<size_t> slots;
};

// The components of pgm a chronometer with table installed gets under
// selection; only slots holding data count.
std::set<size_t> selectedSlots(const ComponentSelection& selection, const UpdateTable& pgm,
                               const PartitionTable& installed);

enum class PortState {
    Absent,        // the port is not there (an adapter unplugged, a link not made yet)
    Held,          // another program holds it
    Waiting,       // free, nothing answers the probe
    Connecting,    // something answered: the check begins
    Checking,      // speed, identification, listing
    Transferring,  // writing and erasing
    Restarting,    // the restart is being sent
    Done,          // updated, waiting for it to leave
    Current,       // already up to date, waiting for it to leave
    Failed,        // its run failed, waiting for it to leave
};

// The exit status `update` gives for how a run ended.
constexpr int RUN_UNREACHABLE = 4;
constexpr int RUN_NO_PLAN = 5;

// One chronometer's run on a port, as it ended.
struct ChronometerRun {
    std::string port, device;
    std::string identification;  // its answer to 'I', Windows-1252; empty when none came
    std::set<size_t> selected;
    PartitionTable tableRead;
    PartitionTable planned;
    bool planMade = false;
    PlanView view;
    std::string plannerOutcome;  // Windows-1252
    bool current = false;        // nothing to write: up to date
    bool transferred = false;
    int status = 0;  // 0, or what update would exit with: 4, 5, 100..108
    Outcome outcome;
    std::string lastAnswer;  // Windows-1252
    uint32_t startedMs = 0;  // tick at which the chronometer first answered
    uint32_t ms = 0;
    uint64_t bytes = 0;
};

struct StationEvent {
    enum class Kind {
        Added,      // a port joined the station
        Removed,    // an adapter left
        State,      // the port's state changed
        Connected,  // the chronometer identified itself: identification
        Progress,   // overall percent, phase of phaseCount
        Finished,   // the run ended: run (Done, Current or Failed)
    };
    Kind kind = Kind::State;
    std::string port, device;
    PortState state = PortState::Waiting;
    std::string identification;
    int overall = 0, phase = 0, phaseCount = 0;
    const ChronometerRun* run = nullptr;  // Finished only; valid during the call
};

// Receives the station's events from every port's thread at once: quick and
// thread-safe.
class StationObserver {
  public:
    virtual ~StationObserver() = default;
    virtual void stationEvent(const StationEvent& event) = 0;
    // Frames and the diagnostic blocks of one port, when traced.
    virtual bool traces(const std::string& /*port*/) { return false; }
    virtual void frame(const std::string& /*port*/, TraceKind /*kind*/, const uint8_t* /*bytes*/,
                       size_t /*size*/, uint32_t /*tickMs*/, uint32_t /*bitsPerSecond*/) {}
    virtual void diagnostic(const std::string& /*port*/, const std::string& /*line*/) {}
};

struct StationOptions {
    // The ports by name ("COM2", a device path); empty: COM1..COM4 and every
    // adapter, adapters joining and leaving as they come and go.
    std::vector<std::string> ports;
    bool highSpeed = false;
    ComponentSelection selection;
    uint32_t probeIntervalMs = 1000;
};

class Station {
  public:
    // pgm (the loaded update file) must outlive the station.
    Station(SerialDeviceOpener& devices, Clock& clock, const UpdateTable& pgm,
            StationOptions options, StationObserver& observer);
    ~Station();  // stops taking chronometers, waits for every port
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The first call starts every port; later ones (about once a second)
    // let adapters that appeared join and those gone leave, when watching
    // every port.
    void refreshPorts();
    // No new chronometer from now on; runs under way go on to their end.
    void stopTaking();
    // True when no port is in the middle of a chronometer's run.
    bool quiet() const;
    // Waits for every port's thread (after stopTaking).
    void join();

  private:
    class Port;
    void addPort(const std::string& name);

    SerialDeviceOpener& devices_;
    Clock& clock_;
    const UpdateTable& pgm_;
    const StationOptions options_;
    StationObserver& observer_;
    bool started_ = false;
    std::vector<std::unique_ptr<Port>> ports_;
};

}  // namespace zor
