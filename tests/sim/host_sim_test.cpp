// The host's own link, planner and transfer worker against the simulated
// chronometer through SimDevices: what zorsim will meet on a pty, on virtual
// time. Catches a chronometer whose texts the host cannot read.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>

#include "flash/planner.h"
#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/protocol.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/recording_ui.h"
#include "updatefile/loader.h"
#include "updatefile/update_writer.h"

namespace zor::sim {
namespace {

struct Row {
    uint8_t type, first, count;
    const char* name;
};

void expectTable(const PartitionTable& t, const std::vector<Row>& rows) {
    ASSERT_EQ(t.count, rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(t.entries[i].type, rows[i].type) << i;
        EXPECT_EQ(t.entries[i].firstBlock, rows[i].first) << i;
        EXPECT_EQ(t.entries[i].blockCount, rows[i].count) << i;
        EXPECT_EQ(t.entries[i].name, rows[i].name) << i;
    }
}

class HostAgainstSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        file_ = "/tmp/zor-host-sim-" + std::to_string(getpid()) + ".upd";
        ASSERT_TRUE(writeBytes(file_, sampleUpdateFile()));
        emptyTable(components_);
        std::string lines, id;
        ASSERT_TRUE(ReadUpdateFile(file_, components_, lines, id));
    }
    void TearDown() override {
        std::remove(file_.c_str());
        for (const auto& c : chronos_) {
            EXPECT_EQ(c->violations(), std::vector<std::string>{});
        }
    }

    Chronometer& make(const SimConfig& config) {
        chronos_.push_back(std::make_unique<Chronometer>(config));
        return *chronos_.back();
    }

    // Connects, plans every component and transfers; the outcome code.
    int update(Chronometer& chrono, bool highSpeed) {
        devices_.attach("COM1", chrono);
        SerialLink link(devices_, clock_);
        if (!link.RsOpen("COM1")) {
            return -1;
        }
        PartitionTable tableRead, planned;
        resetTable(tableRead);
        if (!ConnCheck(link, tableRead, highSpeed, nullptr)) {
            return -2;
        }
        std::vector<PlanItem> items;
        for (int i = 0; i < 4; ++i) {
            items.push_back({i, &components_[i], true});
        }
        PlanVerdict verdict;
        if (!SistemaBlocchi(items, tableRead, planned, verdict, nullptr)) {
            return -3;
        }
        progress_.clear();
        auto onProgress = [this](int phase, int, int percent) {
            progress_.push_back({phase, percent});
        };
        TDownloader worker(link, planned, onProgress, nullptr, nullptr);
        return worker.run();
    }

    PartitionTable check(Chronometer& chrono) {
        devices_.attach("COM1", chrono);
        SerialLink link(devices_, clock_);
        PartitionTable t;
        resetTable(t);
        EXPECT_TRUE(link.RsOpen("COM1"));
        EXPECT_TRUE(ConnCheck(link, t, false, nullptr));
        return t;
    }

    std::vector<std::unique_ptr<Chronometer>> chronos_;
    std::vector<std::pair<int, int>> progress_;  // phase index, percent
    std::string file_;
    UpdateTable components_;
    VirtualClock clock_{1000};
    SimDevices devices_{clock_};
    test::RecordingUi ui_;
};

TEST_F(HostAgainstSimTest, CheckReadsTheConfiguredTable) {
    for (bool listFree : {false, true}) {  // the host skips listed free runs
        SimConfig cfg;
        cfg.listFreeBlocks = listFree;
        Chronometer& chrono = make(cfg);
        expectTable(check(chrono), {{8, 0, 1, "Boot VERS 1.00 BUILD 12"},
                                    {0, 1, 3, "Programma base VERS 2.10 BUILD 35"},
                                    {1, 4, 1, "Lingua italiano VERS 1.2 BUILD 4"},
                                    {9, 5, 1, ""},
                                    {1, 6, 1, "Tabelle gare VERS 1.0 BUILD 2"},
                                    {9, 7, 1, ""}});
        EXPECT_EQ(chrono.commandsReceived(), "tsAIBH");
    }
}

// Both timings: in the realistic one the chronometer takes a chronometer's
// time over everything, and reboots deaf after the restart, so the check
// that follows has to search for it.
TEST_F(HostAgainstSimTest, SampleUpdateGivesTheNewTable) {
    for (SimTiming timing : {SimTiming::Fast, SimTiming::Realistic}) {
        for (uint8_t start : {0, 2}) {
            for (bool high : {false, true}) {
                SCOPED_TRACE(testing::Message() << int(timing) << int(start) << high);
                SimConfig cfg;
                cfg.startSpeed = start;
                cfg.timing = timing;
                Chronometer& chrono = make(cfg);
                const uint32_t began = clock_.tickMs();
                ASSERT_EQ(update(chrono, high), 0);
                EXPECT_EQ(chrono.restartCount(), 1);
                if (timing == SimTiming::Realistic) {
                    // 104 data blocks of 262 bytes and more at 10 bits a byte.
                    EXPECT_GT(clock_.tickMs() - began,
                              104u * 262 * 10 * 1000 / (high ? 57600 : 19200));
                }
                // The chronometer's reports keep each phase's bar within 0..100
                // and never moving back.
                for (size_t i = 1; i < progress_.size(); ++i) {
                    EXPECT_LE(progress_[i].second, 100);
                    if (progress_[i].first == progress_[i - 1].first) {
                        EXPECT_GE(progress_[i].second, progress_[i - 1].second) << i;
                    }
                }
                EXPECT_GT(progress_.size(), 30u);
                EXPECT_TRUE(chrono.erased(6));
                EXPECT_TRUE(chrono.erased(7));
                expectTable(check(chrono), {{8, 0, 1, "Boot VERS 1.01 BUILD 14"},
                                            {0, 1, 3, "Programma base VERS 2.20 BUILD 41"},
                                            {1, 4, 1, "Lingua italiano VERS 1.3 BUILD 5"},
                                            {1, 5, 1, "Lingua inglese VERS 1.3 BUILD 5"},
                                            {9, 6, 2, ""}});
            }
        }
    }
}

TEST_F(HostAgainstSimTest, FaultsGiveTheTransferOutcome) {
    const struct {
        FaultRule rule;
        int outcome;
    } cases[] = {
        {{'B', 2, Fault::ListingCut}, TRANSFER_LISTING},
        {{'F', 1, Fault::WrongCode}, TRANSFER_PROGRAM_START},
        {{'E', 5, Fault::Silence}, TRANSFER_DATA_BLOCK},
        {{'C', 2, Fault::ProgressThenSilence}, TRANSFER_WRITE},
        {{'C', 1, Fault::WrongCode}, TRANSFER_WRITE},
        {{'C', 1, Fault::BadCheck}, TRANSFER_WRITE},
        {{'D', 2, Fault::WrongCode}, TRANSFER_ERASE},
        {{'J', 1, Fault::Garbage}, TRANSFER_RESTART},
    };
    for (const auto& c : cases) {
        SimConfig cfg;
        cfg.faults = {c.rule};
        Chronometer& chrono = make(cfg);
        EXPECT_EQ(update(chrono, false), c.outcome) << c.rule.command;
    }
}

}  // namespace
}  // namespace zor::sim
