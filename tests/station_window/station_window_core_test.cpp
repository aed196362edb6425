// The bench window's rules against a recording view: engine events are
// played by hand through a stand-in station, on the test's thread.
#include "station_window/station_window_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "history/history_store.h"
#include "sim/sample_file.h"

#include "support/temp_dir.h"
#include "text/station_window_text.h"
#include "updatefile/update_writer.h"

namespace zor::stationwin {
namespace {

class RecordingView : public StationWindowView {
  public:
    void setTiles(const std::vector<TileView>& t) override { tiles = t; }
    void updateTile(size_t index, const TileView& tile) override {
        ASSERT_LT(index, tiles.size());
        tiles[index] = tile;
    }
    void setTotals(const std::string& text) override { totals = text; }
    void addSessionRow(const SessionRow& row) override { rows.push_back(row); }
    void setControls(const ControlsView& c) override { controls = c; }
    void setComponents(const std::vector<ComponentRow>& r) override { components = r; }
    void messageBox(const BoxRequest& box) override { boxes.push_back(box); }

    std::vector<TileView> tiles;
    std::string totals;
    std::vector<SessionRow> rows;
    ControlsView controls;
    std::vector<ComponentRow> components;
    std::vector<BoxRequest> boxes;
};

// Stands in for the engine's Station: remembers what it was asked and lets
// the test play its events.
struct FakeStation : StationControl {
    void refreshPorts() override { ++refreshes; }
    bool retry(const std::string& port) override {
        retried.push_back(port);
        return true;
    }
    void stopTaking() override { taking = false; }
    bool quiet() const override { return busy == 0; }
    void join() override { *joined = true; }

    StationOptions options;
    StationObserver* observer = nullptr;
    int refreshes = 0, busy = 0;
    bool taking = true;
    bool* joined = nullptr;  // the test's: the station is gone once joined
    std::vector<std::string> retried;
};

class StationWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writeBytes(file, sim::sampleUpdateFile()));
        std::ofstream(notUpdate) << "not an update file";
    }

    std::unique_ptr<StationWindowCore> make(std::vector<BenchPosition> positions) {
        auto core = std::make_unique<StationWindowCore>(
            view, clock,
            [this](const UpdateTable&, const StationOptions& options, StationObserver& observer) {
                auto s = std::make_unique<FakeStation>();
                s->options = options;
                s->observer = &observer;
                s->joined = &joined;
                station = s.get();
                return s;
            },
            [](std::function<void()> fn) { fn(); }, std::move(positions));
        core->show();
        return core;
    }

    // A whole run on a port, ending as end.
    void run(const std::string& port, PortState end, RunEnd runEnd = RunEnd::Done,
             TransferCode code = TRANSFER_OK) {
        StationObserver& o = *station->observer;
        o.portState({port, port}, PortState::Connecting);
        o.chronometerIdentified({port, port}, "007 Cronometro S/N 0412-0087 boot 1.30");
        o.transferProgress({port, port}, {45, 2, 3, 20000});
        clock.advance(30000);
        ChronometerRun r;
        r.identification = "007 Cronometro S/N 0412-0087 boot 1.30";
        r.end = runEnd;
        r.code = code;
        r.ms = 30000;
        o.runFinished({port, port}, end, r);
    }

    test::TempDir dir;
    std::string file = dir.file("esempio.upd");
    std::string notUpdate = dir.file("altro.upd");
    VirtualClock clock{1000};
    RecordingView view;
    FakeStation* station = nullptr;
    bool joined = false;
};

// Avvia needs a file and a selection; a refused file leaves the one loaded
// before; Ferma lets the transfers end and then Avvia may start again.
TEST_F(StationWindowTest, StartAndStopRules) {
    auto core = make({{"Posto 1", "COM3"}, {"Posto 2", "/dev/serial/by-path/pci-usb-0:2:1.0"}});
    ASSERT_EQ(view.tiles.size(), 2u);
    EXPECT_EQ(view.tiles[1].port, "pci-usb-0:2:1.0");
    EXPECT_FALSE(view.controls.startEnabled);
    EXPECT_FALSE(core->start());
    ASSERT_EQ(view.boxes.size(), 1u);

    EXPECT_FALSE(core->loadFile(notUpdate));
    EXPECT_EQ(view.boxes.size(), 2u);  // the wizard's box for a refused file
    ASSERT_TRUE(core->loadFile(file));
    EXPECT_EQ(view.components.size(), 4u);
    EXPECT_FALSE(core->loadFile(notUpdate));
    EXPECT_TRUE(view.controls.startEnabled) << "the file loaded before stays";

    core->setSelectionMode(SelectionMode::Chosen);
    EXPECT_FALSE(core->start());  // nothing ticked
    EXPECT_EQ(view.boxes.back().text, NO_COMPONENT_TO_START);
    core->setComponentChecked(view.components[1].slot, true);
    ASSERT_TRUE(core->start());
    EXPECT_EQ(station->options.ports,
              (std::vector<std::string>{"COM3", "/dev/serial/by-path/pci-usb-0:2:1.0"}));
    EXPECT_EQ(station->options.selection.slots.size(), 1u);
    EXPECT_FALSE(view.controls.fileEnabled);
    EXPECT_TRUE(view.controls.stopEnabled);
    EXPECT_FALSE(core->loadFile(file)) << "no new file while the station runs";

    // Ferma with a transfer under way: no new chronometer, Avvia only once
    // it has ended.
    station->observer->portState({"COM3", "COM3"}, PortState::Connecting);
    station->busy = 1;
    core->stop();
    EXPECT_FALSE(station->taking);
    EXPECT_FALSE(view.controls.stopEnabled);
    EXPECT_FALSE(view.controls.startEnabled);
    EXPECT_NE(view.controls.status.find("1 trasferimento"), std::string::npos);
    EXPECT_FALSE(core->closeQuery()) << "closing refused while a transfer runs";
    EXPECT_NE(view.boxes.back().text.find("1 trasferimento"), std::string::npos);
    station->busy = 0;
    ChronometerRun r;
    r.end = RunEnd::Done;
    station->observer->runFinished({"COM3", "COM3"}, PortState::Done, r);
    core->tick();
    EXPECT_TRUE(joined);
    EXPECT_FALSE(core->running());
    EXPECT_TRUE(view.controls.startEnabled);
    EXPECT_TRUE(core->closeQuery());
}

// Each tile's words, colour, bar and buttons through a chronometer's life;
// its result stays after the chronometer goes, until the next one.
TEST_F(StationWindowTest, TileFollowsEachChronometer) {
    auto core = make({{"Posto 1", "COM3"}, {"Posto 2", "COM4"}});
    ASSERT_TRUE(core->loadFile(file));
    ASSERT_TRUE(core->start());
    StationObserver& o = *station->observer;
    o.portState({"COM4", "COM4"}, PortState::Held);
    EXPECT_EQ(view.tiles[1].state, TileState::Held);
    EXPECT_EQ(view.tiles[1].stateText, "occupata");

    o.portState({"COM3", "COM3"}, PortState::Connecting);
    o.chronometerIdentified({"COM3", "COM3"}, "007 Cronometro S/N 0412-0087 boot 1.30");
    o.transferProgress({"COM3", "COM3"}, {45, 2, 3, 20000});
    clock.advance(5000);
    core->tick();
    const TileView& working = view.tiles[0];
    EXPECT_EQ(working.state, TileState::Working);
    EXPECT_EQ(working.stateText, "trasferimento 45% fase 2/3");
    EXPECT_EQ(working.serial, "S/N 0412-0087");
    EXPECT_TRUE(working.progressShown);
    EXPECT_EQ(working.percent, 45);
    EXPECT_EQ(working.elapsed, "Tempo 0:05");
    EXPECT_EQ(working.left, "Resta 0:15");
    EXPECT_FALSE(working.retryEnabled);
    EXPECT_EQ(working.accessibleName, "Posto 1, COM3: trasferimento 45% fase 2/3, S/N 0412-0087");

    ChronometerRun failedRun;
    failedRun.identification = "007 Cronometro S/N 0412-0087 boot 1.30";
    failedRun.end = RunEnd::TransferFailed;
    failedRun.code = TRANSFER_WRITE;
    o.runFinished({"COM3", "COM3"}, PortState::Failed, failedRun);
    const TileView& failed = view.tiles[0];
    EXPECT_EQ(failed.state, TileState::Failed);
    EXPECT_EQ(failed.failure, "errore 103 scrittura");
    EXPECT_EQ(failed.step, "Ricollegarlo; se si ripete, contattare l'assistenza.");
    EXPECT_TRUE(failed.retryEnabled);
    EXPECT_FALSE(failed.background == view.tiles[1].background);

    // Riprova reaches the station for that port only.
    EXPECT_TRUE(core->retry(0));
    EXPECT_FALSE(core->retry(1));
    EXPECT_EQ(station->retried, std::vector<std::string>{"COM3"});

    // Unplugged: the result stays, no retry; the next chronometer clears it.
    o.portState({"COM3", "COM3"}, PortState::Waiting);
    EXPECT_EQ(view.tiles[0].stateText, "errore 103 scrittura, scollegato");
    EXPECT_EQ(view.tiles[0].serial, "S/N 0412-0087");
    EXPECT_FALSE(view.tiles[0].retryEnabled);
    o.portState({"COM3", "COM3"}, PortState::Connecting);
    EXPECT_EQ(view.tiles[0].stateText, "collegamento");
    EXPECT_EQ(view.tiles[0].serial, "");
    EXPECT_EQ(view.tiles[0].failure, "");
}

// Without positions a tile comes and goes with each port the station adds
// and removes, but one holding a result stays.
TEST_F(StationWindowTest, TilesFollowThePortsWithoutPositions) {
    auto core = make({});
    ASSERT_TRUE(core->loadFile(file));
    ASSERT_TRUE(core->start());
    EXPECT_TRUE(station->options.ports.empty());
    StationObserver& o = *station->observer;
    o.portAdded({"COM1", "COM1"});
    o.portAdded({"/dev/serial/by-id/usb-1", "/dev/ttyUSB0"});
    o.portAdded({"/dev/serial/by-id/usb-2", "/dev/ttyUSB1"});
    ASSERT_EQ(view.tiles.size(), 3u);
    EXPECT_EQ(view.tiles[1].name, "usb-1");
    run("/dev/serial/by-id/usb-1", PortState::Done);
    o.portRemoved({"/dev/serial/by-id/usb-1", "/dev/ttyUSB0"});
    o.portRemoved({"/dev/serial/by-id/usb-2", "/dev/ttyUSB1"});
    ASSERT_EQ(view.tiles.size(), 2u);
    EXPECT_EQ(view.tiles[1].stateText, "completato, scollegato");
}

// The totals and the session's list, copied as text and saved as CSV.
TEST_F(StationWindowTest, TotalsAndSessionList) {
    auto core = make({{"Posto 1", "COM3"}, {"Posto \"2\", fondo", "COM4"}});
    ASSERT_TRUE(core->loadFile(file));
    ASSERT_TRUE(core->start());
    run("COM3", PortState::Done);
    run("COM4", PortState::Failed, RunEnd::Unreachable);
    run("COM3", PortState::UpToDate, RunEnd::Unchanged);
    station->observer->chronometerKnown({"COM3", "COM3"}, "007 Cronometro S/N 0412-0087",
                                        PortState::UpToDate);  // not counted again
    core->tick();
    EXPECT_EQ(view.totals.rfind("Completati 1, falliti 1, già aggiornati 1, ", 0), 0u)
        << view.totals;
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[1].position, "Posto \"2\", fondo");
    EXPECT_EQ(view.rows[1].result, "errore 4 collegamento");
    EXPECT_EQ(view.rows[1].serial, "0412-0087");
    EXPECT_DOUBLE_EQ(view.rows[1].seconds, 30.0);

    const std::string text = core->sessionText();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Ora\tPosto\tS/N\tEsito\tSecondi");
    const std::string csv = core->sessionCsv();
    const std::string second = csv.substr(csv.find("\r\n", csv.find("\r\n") + 2) + 2);
    EXPECT_EQ(
        second.substr(0, second.find("\r\n")),
        view.rows[1].time + ",\"Posto \"\"2\"\", fondo\",0412-0087,errore 4 collegamento,30.0");
}

// The positions editor: a position at fault is refused with a box and
// nothing changes; saved, the file holds them and the tiles follow; not
// while the station runs.
TEST_F(StationWindowTest, PositionsAreEditedCheckedAndSaved) {
    auto core = make({{"Posto 1", "COM3"}});
    core->setPositionsFile(dir.file("impostazioni/banco.ini"));
    const std::vector<BenchPosition> sameName = {{"Posto 1", "COM3"}, {"Posto 1", "COM4"}};
    EXPECT_FALSE(core->savePositions(sameName));
    EXPECT_EQ(view.boxes.back().text, "Due posti si chiamano \"Posto 1\".");
    EXPECT_FALSE(core->savePositions({{"Posto 1", "COM3"}, {"", "COM4"}}));
    EXPECT_EQ(view.boxes.back().text, "Il posto n. 2 non ha un nome.");
    EXPECT_EQ(readBenchPositions(dir.file("impostazioni/banco.ini")).fault,
              PositionsFault::Missing);
    EXPECT_EQ(view.tiles.size(), 1u);

    const std::vector<BenchPosition> bench = {{"Ingresso", "COM4"}, {"Posto 2", "COM3"}};
    ASSERT_TRUE(core->savePositions(bench));
    const PositionsResult read = readBenchPositions(dir.file("impostazioni/banco.ini"));
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.positions.size(), 2u);
    EXPECT_EQ(read.positions[0].name, "Ingresso");
    ASSERT_EQ(view.tiles.size(), 2u);
    EXPECT_EQ(view.tiles[0].name, "Ingresso");
    const std::vector<std::string> ports = core->portChoices();
    EXPECT_EQ(std::vector<std::string>(ports.begin(), ports.begin() + 4),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));

    ASSERT_TRUE(core->loadFile(file));
    ASSERT_TRUE(core->start());
    EXPECT_FALSE(core->canEditPositions());
    EXPECT_FALSE(core->savePositions({{"Posto 1", "COM1"}}));
    EXPECT_EQ(station->options.ports, (std::vector<std::string>{"COM4", "COM3"}));
}

// Each chronometer's run lands in the history as the window's, with its
// position, the file and the code; each event reaches the sink as the
// command line's --json words it, with the summary when the station stops.
// A history that cannot be kept is said once.
TEST_F(StationWindowTest, RunsKeptAndEventsSent) {
    auto core = make({{"Posto 1", "COM3"}});
    const std::string kept = dir.file("storico.sqlite");
    core->keepRunsIn(std::make_unique<RunHistory>(kept), "2.0.1");
    std::vector<std::string> sent, expected;
    core->sendEventsTo(
        [&sent](const std::string& port, const std::string& event, const std::string& json) {
            sent.push_back(port + " " + event + " " + json);
        });
    ASSERT_TRUE(core->loadFile(file));
    ASSERT_TRUE(core->start());
    const StationPort com3{"COM3", "/dev/ttyS2"};
    ChronometerRun r;
    r.port = com3.port;
    r.device = com3.device;
    r.identification = "007 Cronometro S/N 0412-0087 boot 1.30";
    r.end = RunEnd::TransferFailed;
    r.code = TRANSFER_WRITE;
    r.ms = 30000;
    StationObserver& o = *station->observer;
    o.portState(com3, PortState::Connecting);
    o.chronometerIdentified(com3, r.identification);
    o.transferProgress(com3, {45, 2, 3, 20000});
    o.transferProgress(com3, {47, 2, 3, 19000});  // the same tenth: not sent
    clock.advance(30000);
    o.runFinished(com3, PortState::Failed, r);
    core->stop();
    EXPECT_TRUE(core->closeQuery());

    const auto expect = [&expected](const std::string& port, const std::string& event,
                                    const std::string& json) {
        expected.push_back(port + " " + event + " " + json);
    };
    StationEvent connected = stationEvent(StationEvent::Kind::Connected, com3, PortState::Checking);
    connected.identification = r.identification;
    StationEvent progress =
        stationEvent(StationEvent::Kind::Progress, com3, PortState::Transferring);
    progress.overall = 45, progress.phase = 2, progress.phaseCount = 3, progress.leftMs = 20000;
    StationEvent finished = stationEvent(StationEvent::Kind::Finished, com3, PortState::Failed);
    finished.identification = r.identification;
    sendStationEvent(expect, stationEvent(StationEvent::Kind::State, com3, PortState::Connecting),
                     nullptr, "Posto 1");
    sendStationEvent(expect, connected, nullptr, "Posto 1");
    sendStationEvent(expect, progress, nullptr, "Posto 1");
    sendStationEvent(expect, finished, &r, "Posto 1");
    expect("", "summary", stationSummaryJson(0, 1, 0, 30000));
    EXPECT_EQ(sent, expected);

    HistoryResult result;
    const auto store = openLocalHistory(kept, false, result);
    ASSERT_TRUE(store) << result.message;
    std::vector<HistoryRun> runs;
    ASSERT_TRUE(store->query(HistoryFilter(), runs));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "zorload");
    EXPECT_EQ(runs[0].version, "2.0.1");
    EXPECT_EQ(runs[0].position, "Posto 1");
    EXPECT_EQ(runs[0].port, "COM3");
    EXPECT_EQ(runs[0].file, file);
    EXPECT_EQ(runs[0].fileId, "0214-002A");
    EXPECT_EQ(runs[0].code, runCode(r));
    EXPECT_EQ(runs[0].serial, "0412-0087");
    EXPECT_EQ(view.boxes.size(), 0u);

    // A history that cannot be opened: said once, on the status line as
    // soon as it is known, else in a box at the close.
    for (const bool waitForIt : {false, true}) {
        view.boxes.clear();
        auto lost = make({{"Posto 1", "COM3"}});
        lost->keepRunsIn(std::make_unique<RunHistory>(file + "/storico.sqlite"), "2.0.1");
        ASSERT_TRUE(lost->loadFile(file));
        ASSERT_TRUE(lost->start());
        run("COM3", PortState::Done);
        for (int i = 0; waitForIt && i < 500 && view.controls.status.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lost->tick();
        }
        EXPECT_TRUE(lost->closeQuery());
        const std::string said = waitForIt            ? view.controls.status
                                 : view.boxes.empty() ? std::string()
                                                      : view.boxes[0].text;
        EXPECT_NE(said.find("non è stata registrata"), std::string::npos) << said;
        EXPECT_EQ(view.boxes.size(), waitForIt ? 0u : 1u);
    }
}

}  // namespace
}  // namespace zor::stationwin
