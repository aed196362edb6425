// The update session against the simulated chronometer, on virtual time: the
// events a front end renders, in the order they come, and the outcomes of
// its failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/chronometer_run.h"
#include "engine/update_session.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace zor::test {
namespace {

class Recorder : public SessionObserver {
  public:
    std::vector<std::string> events;
    uint64_t sent = 0;
    int steps = 0, progressCalls = 0;
    DeviceStep lastStep;

    void busy(bool on) override { events.push_back(on ? "busy" : "idle"); }
    void failed(const Outcome& o) override {
        events.push_back("failed " + std::to_string(static_cast<int>(o.kind)));
    }
    void portOpened(const std::string& name, uint32_t bps) override {
        events.push_back("opened " + name + " " + std::to_string(bps));
    }
    void portClosed() override { events.push_back("closed"); }
    void scanCleared() override { events.push_back("cleared"); }
    void scanRow(const PortRow& row) override { events.push_back("row " + row.name); }
    void scanFinished(const PortScan& scan) override {
        events.push_back("scanned " + std::to_string(scan.selected));
    }
    void speedAgreed(bool agreed, uint32_t bps) override {
        events.push_back(std::string("speed ") + (agreed ? "yes " : "no ") + std::to_string(bps));
    }
    void identified(const std::string& answer) override { events.push_back("id " + answer); }
    void tableRead(const PartitionTable& t, bool complete) override {
        events.push_back("table " + std::to_string(t.count) + (complete ? " complete" : ""));
    }
    void planned(const PlanReport& r) override {
        events.push_back(std::string("planned ") + (r.fits ? "fits " : "no ") +
                         std::to_string(r.view.rows.size()));
    }
    void phaseStarted(int index, int count, const PartitionEntry& e) override {
        events.push_back("phase " + std::to_string(index) + "/" + std::to_string(count) + " " +
                         std::to_string(e.firstBlock));
    }
    void progress(int, int, int, int) override { ++progressCalls; }
    void dataSent(uint64_t bytes) override { sent += bytes; }
    void deviceStep(const DeviceStep& s) override {
        ++steps;
        lastStep = s;
    }
    void restarting() override { events.push_back("restarting"); }
    void finished(const Outcome& o) override {
        events.push_back("finished " + std::to_string(o.code));
    }
};

using Events = std::vector<std::string>;

TEST(UpdateSession, EventsOfAWholeUpdateInOrder) {
    TempDir temp("zor_session");
    const std::string file = temp.file("sample.upd");
    ASSERT_TRUE(writeBytes(file, sim::sampleUpdateFile()));
    VirtualClock clock;
    sim::SimDevices devices{clock};
    sim::Chronometer chrono;
    devices.attach("COM1", chrono);
    Recorder r;
    UpdateSession session(devices, clock, r);

    EXPECT_EQ(session.loadFile(temp.file("absent.upd")).kind, OutcomeKind::FileNotOpened);
    EXPECT_EQ(r.events, (Events{"failed " + std::to_string(int(OutcomeKind::FileNotOpened))}));
    r.events.clear();
    ASSERT_TRUE(session.loadFile(file));
    ASSERT_GE(session.segmentsRead(), 2u);
    // The hourglass around each segment, and once more for the end of the file.
    EXPECT_EQ(r.events.size(), 2 * (session.segmentsRead() + 1));

    r.events.clear();
    session.scanPorts();
    EXPECT_EQ(r.events, (Events{"busy", "cleared", "row COM1", "row COM2", "row COM3", "row COM4",
                                "scanned 0", "idle"}));

    r.events.clear();
    ASSERT_TRUE(session.open("COM1"));
    ASSERT_TRUE(session.check(true, nullptr));
    const std::string id = "id " + sim::SimConfig().identification;
    EXPECT_EQ(r.events, (Events{"opened COM1 19200", "speed yes 57600", id, "table 6 complete"}));

    std::vector<PlanItem> items;
    for (size_t i = 0; i < session.segmentsRead(); ++i)
        items.push_back({static_cast<int>(i), &session.components()[i], true});
    PlanVerdict verdict;
    r.events.clear();
    ASSERT_TRUE(session.plan(items, verdict, nullptr));
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].rfind("planned fits ", 0), 0u);

    r.events.clear();
    r.sent = 0;
    const uint64_t before = session.link().bytesSent();
    session.startTransfer(nullptr, nullptr);
    const Outcome ended = session.endTransfer();
    EXPECT_TRUE(ended) << ended.code;
    const std::vector<const PartitionEntry*> phases = transferPhases(session.planned());
    ASSERT_EQ(r.events.size(), phases.size() + 2);
    for (size_t i = 0; i < phases.size(); ++i) {
        EXPECT_EQ(r.events[i], "phase " + std::to_string(i + 1) + "/" +
                                   std::to_string(phases.size()) + " " +
                                   std::to_string(phases[i]->firstBlock));
    }
    EXPECT_EQ(r.events[phases.size()], "restarting");
    EXPECT_EQ(r.events.back(), "finished 0");
    EXPECT_EQ(r.sent, session.link().bytesSent() - before);
    EXPECT_GT(r.steps, 0);
    EXPECT_EQ(r.lastStep.left, 0);  // the last write's "Done"
    EXPECT_GT(r.progressCalls, static_cast<int>(phases.size()));
}

TEST(UpdateSession, FailuresComeAsOutcomesAndEvents) {
    VirtualClock clock;
    sim::SimDevices devices{clock};
    devices.addEmptyPort("COM1");
    devices.addEmptyPort("COM2");
    devices.setFailure("COM2", OpenFailure::InUse);
    Recorder r;
    UpdateSession session(devices, clock, r);

    const Outcome busy = session.open("COM2");
    EXPECT_EQ(busy.kind, OutcomeKind::PortOpenFailed);
    EXPECT_EQ(busy.hint, Hint::PortInUse);
    ASSERT_TRUE(session.open("COM1"));
    const Outcome silent = session.check(false, nullptr);
    EXPECT_EQ(silent.kind, OutcomeKind::NoAnswer);
    session.close();
    const auto code = [](OutcomeKind k) { return "failed " + std::to_string(int(k)); };
    EXPECT_EQ(r.events, (Events{code(OutcomeKind::PortOpenFailed), "opened COM1 19200",
                                "speed no 19200", code(OutcomeKind::NoAnswer), "closed"}));
}

}  // namespace
}  // namespace zor::test

namespace zor::test {
namespace {

// --select outdated: a component is written when its name, its VERS or its
// BUILD differs from every installed one; each field alone is enough.
TEST(Selection, OutdatedComparesNameVersAndBuild) {
    UpdateTable components{};
    const std::string offered = "Programma base VERS 2.20 BUILD 41";
    std::copy(offered.begin(), offered.end(), components[0].Version.begin());
    components[0].datiSize = 100;
    const struct {
        const char* installed;
        bool written;
    } cases[] = {
        {"Programma base VERS 2.20 BUILD 41", false},
        {"Programma extra VERS 2.20 BUILD 41", true},
        {"Programma base VERS 2.10 BUILD 41", true},
        {"Programma base VERS 2.20 BUILD 40", true},
    };
    ComponentSelection outdated;
    outdated.outdated = true;
    for (const auto& c : cases) {
        PartitionTable installed;
        resetTable(installed);
        ASSERT_TRUE(addPartition(installed, PT_PGM, 1, c.installed, nullptr, 0, 3));
        EXPECT_EQ(selectedSlots(outdated, components, installed).count(0), c.written ? 1u : 0u)
            << c.installed;
    }
}

}  // namespace
}  // namespace zor::test
