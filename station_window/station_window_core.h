#pragma once
// The bench window's rules, without a toolkit: one tile per bench position
// (or per port the station watches, when the bench has no positions), the
// update file and the selection, "Avvia", "Ferma" and "Riprova", the totals,
// the session's list of chronometers and the refused close. The windows draw
// what it says through StationWindowView and call its handlers; engine
// events come from the ports' threads and reach the core on the window's
// thread through post, so no port ever waits for the window.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/bench_positions.h"
#include "engine/station.h"
#include "engine/station_events.h"
#include "history/run_history.h"
#include "station_window/station_window_view.h"
#include "text/station_text.h"

namespace zor::stationwin {

// What the core asks of a running station: the engine's Station, or a
// test's stand-in that it drives by hand.
class StationControl {
  public:
    virtual ~StationControl() = default;
    virtual void refreshPorts() = 0;
    virtual bool retry(const std::string& port) = 0;
    virtual void stopTaking() = 0;
    virtual bool quiet() const = 0;
    virtual void join() = 0;
};

// Makes the station for "Avvia": the components outlive it.
using StationFactory = std::function<std::unique_ptr<StationControl>(
    const UpdateTable& components, const StationOptions& options, StationObserver& observer)>;

// The engine's Station on devices and clock.
StationFactory engineStations(SerialDeviceOpener& devices, Clock& clock);

// The bench's [storico] settings, in the positions file at path (read into
// positions already): whether the window keeps its runs, where, and the
// broker for its events. A faulty section adds a box to boxes (unless the
// positions' box names the same fault) and gives the defaults.
BenchSettings benchWindowSettings(const std::string& path, const PositionsResult& positions,
                                  std::vector<BoxRequest>& boxes);

// How the components a chronometer gets are chosen.
enum class SelectionMode { All, Outdated, Chosen };

class StationWindowCore : private StationObserver {
  public:
    // post runs a function on the window's thread later, from any thread.
    // positions: the bench's, in order; empty for one tile per port watched.
    StationWindowCore(StationWindowView& view, Clock& clock, StationFactory stations,
                      std::function<void(std::function<void()>)> post,
                      std::vector<BenchPosition> positions);
    ~StationWindowCore() override;  // ends the station, waiting for its ports
    StationWindowCore(const StationWindowCore&) = delete;
    StationWindowCore& operator=(const StationWindowCore&) = delete;

    // Draws everything once: tiles, totals, controls.
    void show();

    // Every chronometer's run from now on goes to history as this program's
    // (programVersion), stored on the history's own thread; a failure to keep
    // runs is said once on the status line, and the station goes on.
    void keepRunsIn(std::unique_ptr<RunHistory> history, const std::string& programVersion);
    // Every station event also goes to sink, as `station --json` words it
    // (with the position's name on a bench with positions), and the totals
    // ("summary") when the station stops or the window closes.
    void sendEventsTo(StationEventSink sink) { sink_ = std::move(sink); }
    // The longest the close waits for a centre's server to take the runs.
    static constexpr int SERVER_WAIT_MS = 2000;

    // The update file: refused with the wizard's boxes, leaving the one
    // loaded before (if any) in place. Not while the station runs.
    bool loadFile(const std::string& path);
    void setSelectionMode(SelectionMode mode);
    void setComponentChecked(size_t slot, bool checked);

    // "Avvia": the station starts watching every position with the file and
    // the selection. Refused with a box when no file is loaded or no
    // component is chosen.
    bool start();
    // "Ferma": no new chronometer; transfers under way go on to their end,
    // then "Avvia" may start again.
    void stop();
    // "Riprova" on a tile: its failed chronometer, still connected, runs
    // again.
    bool retry(size_t tile);
    // About four times a second: times, totals, adapters that came and went,
    // the end of a stop.
    void tick();
    // The close box: refused with a box while transfers run; else the
    // station is ended and true returned.
    bool closeQuery();

    // The session's chronometers: tab-separated lines with a heading (for the
    // clipboard), and CSV (RFC 4180, with a heading).
    std::string sessionText() const;
    std::string sessionCsv() const;

    // The positions editor ("Posti..."): the positions it starts from, the
    // ports it offers (COM1..COM4, then each adapter by its USB socket on
    // Linux, by its COM number on Windows), and whether it may open (not
    // while the station runs).
    const std::vector<BenchPosition>& positions() const { return positions_; }
    std::vector<std::string> portChoices() const;
    bool canEditPositions() const { return station_ == nullptr; }
    // Checks edited positions and writes them to the positions file (the
    // user's, unless setPositionsFile named another); refused with a box
    // naming the position or the file and why, changing nothing. Written,
    // the tiles follow them.
    bool savePositions(const std::vector<BenchPosition>& edited);
    void setPositionsFile(const std::string& path) { positionsPath_ = path; }

    // For the windows and the tests.
    bool running() const { return station_ != nullptr; }
    bool stopping() const { return stopping_; }
    const std::vector<TileView>& tiles() const { return views_; }
    int transfersRunning() const;

  private:
    struct Tile {
        std::string name, port, caption;
        PortState state = PortState::Waiting;
        bool positioned = false;     // a bench position: it stays without events
        std::string identification;  // Windows-1252
        int overall = 0, phase = 0, phaseCount = 0;
        int64_t leftMs = -1;
        uint32_t leftAtMs = 0;
        bool running = false;
        uint32_t startedMs = 0, endedMs = 0;
        // The last chronometer's result, kept until the next one comes.
        bool hasResult = false;
        PortState result = PortState::Waiting;
        RunFailure failure;
        bool gone = false;  // its chronometer (or its adapter) went
        int reported = 0;   // the percent last sent to the sink
    };

    // StationObserver, from the ports' threads.
    void portAdded(const StationPort& where) override;
    void portRemoved(const StationPort& where) override;
    void portState(const StationPort& where, PortState state) override;
    void chronometerIdentified(const StationPort& where,
                               const std::string& identification) override;
    void transferProgress(const StationPort& where, const StationProgress& progress) override;
    void runFinished(const StationPort& where, PortState end, const ChronometerRun& run) override;
    void chronometerKnown(const StationPort& where, const std::string& identification,
                          PortState end) override;
    // Runs fn on the window's thread while the core lives.
    void onWindowThread(std::function<void()> fn);

    // The window's thread.
    Tile* tileOf(const std::string& port);
    void redraw(size_t index);
    void redrawAll();
    void drawControls();
    void drawTotals();
    TileView viewOf(const Tile& tile, uint32_t now) const;
    void finishStop();
    void positionTiles();
    // The event to the sink (progress only in steps of a tenth and at each
    // new phase, as the command line sends it); the run for Finished.
    void send(const StationEvent& e, const ChronometerRun* run);
    void sendSummary();
    // The bench position's name of port, or empty.
    std::string positionOf(const std::string& port) const;
    void keepRun(const ChronometerRun& run, const std::string& position);
    // Says on the status line, once, why runs are not kept.
    void checkHistory();
    // At the close: the runs into the bench's file, a server waited for a
    // little; what is not kept or not sent is said in a box.
    void finishHistory();

    StationWindowView& view_;
    Clock& clock_;
    StationFactory stations_;
    std::function<void(std::function<void()>)> post_;
    std::vector<BenchPosition> positions_;
    std::string positionsPath_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    UpdateTable components_;
    bool fileLoaded_ = false;
    std::string fileInfo_, filePath_, fileId_;
    SelectionMode mode_ = SelectionMode::All;
    std::set<size_t> chosen_;

    std::unique_ptr<StationControl> station_;
    bool stopping_ = false;
    int ticks_ = 0;
    uint32_t startedMs_ = 0, stoppedMs_ = 0;
    bool everStarted_ = false;
    std::vector<Tile> tiles_;
    std::vector<TileView> views_;
    std::vector<SessionRow> sessionRows_;
    int done_ = 0, failed_ = 0, upToDate_ = 0;

    std::unique_ptr<RunHistory> history_;
    std::string programVersion_;
    RunContext context_;  // the loaded file's, for the history
    bool historySaid_ = false;
    std::string historyStatus_;  // why runs are not kept, once known
    StationEventSink sink_;
    bool summarySent_ = true;  // no station since the last summary
};

}  // namespace zor::stationwin
