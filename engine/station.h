#pragma once
// The bench station: every port watched at once. A port with nothing on it
// is probed about once a second with the link test; a chronometer that
// answers gets the whole update (check, plan of the selection, transfer,
// restart) on its own session and thread, the run `update` makes.
// The station holds each port it watches open from the first probe to its
// end, so no other program (nor a second station) reaches a chronometer
// between two probes; it lets a port go only when its device has gone.
// After a chronometer's run the port takes the next only once that one has
// gone: missed LEAVE_PROBES probes in a row, or its device went away (an
// adapter unplugged), or what answers after a missed probe identifies
// itself as another chronometer. A restart or a missed answer never starts a
// second run. A chronometer is
// known by its answer to 'I': one already updated (or found up to date) in
// this run is not written again when it comes back, on any port, unless the
// station was told to (again); a failed one is run again, which is how the
// technician retries it. A fault stays on its port: nothing one port meets
// stops or slows another.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/outcome.h"
#include "engine/chronometer_run.h"
#include "engine/plan_view.h"
#include "engine/time_left.h"
#include "engine/update_session.h"
#include "flash/partition_table.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "updatefile/segment.h"

namespace zor {

enum class PortState {
    Absent,        // the port is not there (an adapter unplugged, a link not made yet)
    Held,          // another program holds it
    Waiting,       // free, nothing answers the probe
    Connecting,    // something answered: the check begins
    Checking,      // speed, identification, listing
    Transferring,  // writing and erasing
    Restarting,    // the restart is being sent
    Done,          // updated, waiting for it to leave
    UpToDate,      // already up to date, waiting for it to leave
    Failed,        // its run failed, waiting for it to leave
};

// A port as the station's events name it: its name ("COM2", a device path)
// and the device it leads to.
struct StationPort {
    std::string port, device;
};

// A transfer's progress on a port: the overall percent (0..100), the phase
// of phaseCount, the time left (-1 while not known).
struct StationProgress {
    int overall = 0, phase = 0, phaseCount = 0;
    int64_t leftMs = -1;
};

// Receives the station's events as typed calls, as a session's observer
// does, from every port's thread at once: quick and thread-safe.
class StationObserver {
  public:
    virtual ~StationObserver() = default;
    // A port joined the station; an adapter left it.
    virtual void portAdded(const StationPort& where) = 0;
    virtual void portRemoved(const StationPort& where) = 0;
    // The port's state changed.
    virtual void portState(const StationPort& where, PortState state) = 0;
    // The chronometer on the port identified itself (Windows-1252).
    virtual void chronometerIdentified(const StationPort& where,
                                       const std::string& identification) = 0;
    virtual void transferProgress(const StationPort& where, const StationProgress& progress) = 0;
    // The run ended: end is Done, UpToDate or Failed; run is valid during the
    // call.
    virtual void runFinished(const StationPort& where, PortState end,
                             const ChronometerRun& run) = 0;
    // A chronometer this station updated (end Done) or found up to date
    // (UpToDate) came back: not written again.
    virtual void chronometerKnown(const StationPort& where, const std::string& identification,
                                  PortState end) = 0;
    // Frames and the diagnostic blocks of one port, when traced.
    virtual bool traces(const std::string& /*port*/) { return false; }
    virtual void frame(const std::string& /*port*/, TraceKind /*kind*/, const uint8_t* /*bytes*/,
                       size_t /*size*/, uint32_t /*tickMs*/, uint32_t /*bitsPerSecond*/) {}
    virtual void diagnostic(const std::string& /*port*/, const std::string& /*line*/) {}
};

struct StationOptions {
    // The ports by name ("COM2", a device path); empty: COM_PORTS and every
    // adapter, adapters joining and leaving as they come and go.
    std::vector<std::string> ports;
    bool highSpeed = false;
    ComponentSelection selection;
    uint32_t probeIntervalMs = 1000;
    // Write a chronometer again when it comes back after a run that left it
    // updated or up to date.
    bool again = false;
};

// Probes in a row a chronometer must miss after its run before its port
// takes a chronometer of the same identification again.
constexpr int LEAVE_PROBES = 3;

class Station {
  public:
    // components (the loaded update file's table) must outlive the station.
    Station(SerialDeviceOpener& devices, Clock& clock, const UpdateTable& components,
            StationOptions options, StationObserver& observer);
    ~Station();  // stops taking chronometers, waits for every port
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The first call starts every port; later ones (about once a second)
    // let adapters that appeared join and those gone leave, when watching
    // every port.
    void refreshPorts();
    // Runs the chronometer on port again when its last run failed and it is
    // still there (it answers the next probe, within a second); false when
    // the port's last run did not fail, a run is under way, or the station
    // takes no chronometers any more. The technician's retry without
    // unplugging it.
    bool retry(const std::string& port);
    // No new chronometer from now on; runs under way go on to their end.
    void stopTaking();
    // True when no port is in the middle of a chronometer's run.
    bool quiet() const;
    // Waits for every port's thread (after stopTaking).
    void join();

  private:
    class Port;
    void addPort(const std::string& name);
    // The state a chronometer's earlier run in this station left it in: Done
    // or UpToDate; Waiting when it had none (or it failed).
    PortState knownEnd(const std::string& identification);
    void remember(const std::string& identification, PortState end);

    SerialDeviceOpener& devices_;
    Clock& clock_;
    const UpdateTable& components_;
    const StationOptions options_;
    StationObserver& observer_;
    bool started_ = false;
    std::vector<std::unique_ptr<Port>> ports_;
    std::mutex knownMutex_;
    std::map<std::string, PortState> known_;  // by identification
};

}  // namespace zor
