// The transfer worker against the simulated chronometer (and, for the odd
// progress reports it never sends, a scripted one).
#include "link/downloader.h"

#include <gtest/gtest.h>

#include <future>

#include "fake_port.h"
#include "sim/component_image.h"
#include "sim/sim_port.h"
#include "sim_link.h"
#include "support/recording_ui.h"

namespace zor::test {
namespace {

using Progress = std::tuple<int, int, int>;

Segmento component(uint8_t type, uint8_t blocks, size_t dataBlocks, const std::string& name) {
    Segmento s;
    s.datiSize = static_cast<uint32_t>(dataBlocks);
    s.dati = sim::componentBlocks({type, blocks, name}, dataBlocks, dataBlocks);
    return s;
}

class DownloaderTest : public SimLinkTest {
  protected:
    void start(sim::SimConfig config = {}) {
        link.RsClose();
        config.flashStepMs = 1;
        attach(config);
        chrono->setTrace([this](bool fromHost, uint32_t, const std::vector<uint8_t>& body) {
            if (fromHost && body.size() > 2 && body[0] == 0x01)
                sent.push_back(body);
        });
        ASSERT_TRUE(link.RsOpen("COM1"));
        resetTable(plan);
    }
    int transfer() {
        TDownloader worker(
            link, plan,
            [this](int i, int n, int p) {
                progress.push_back({i, n, p});
            },
            nullptr, nullptr);
        const int code = worker.run();
        phaseIndex = worker.phaseIndex();
        return code;
    }
    std::vector<int> percentsOfPhase(int phase) const {
        std::vector<int> out;
        for (const Progress& p : progress) {
            if (std::get<0>(p) == phase)
                out.push_back(std::get<2>(p));
        }
        return out;
    }
    PartitionTable plan;
    std::vector<Progress> progress;
    std::vector<Bytes> sent;
    int phaseIndex = -1;
};

TEST_F(DownloaderTest, WritesAndErasesWithTheirProgressThenRestarts) {
    start();
    // 64 data blocks: 16576 bytes, five 4 KiB sectors for the chronometer,
    // which then reports 3 and 1 sectors left in each of its three steps.
    const int N = 64;
    const Segmento pgm = component(PT_PGM, 3, N, "PGM VERS 3.0");
    ASSERT_TRUE(addPartition(plan, PT_PGM, 1, "PGM VERS 3.0", &pgm, 1, 3));
    plan.entries[plan.count - 1].changed = 1;  // the free run 4..7 is erased
    ASSERT_EQ(plan.entries[plan.count - 1].blockCount, 4);
    plan.entries[plan.count - 1].blockCount = 3;  // erase 4..6 only

    EXPECT_EQ(transfer(), 0);
    EXPECT_EQ(progress.front(), Progress(0, 0, 0));
    // Data blocks 0, 8 .. 56 (50 * i / 63), 50 before 'C', then per step
    // 50 + ((5 - left) * 33 / 5 + done * 33) / 2 for 3 and 1 left, and 100.
    EXPECT_EQ(percentsOfPhase(1),
              (std::vector<int>{0, 0, 6, 12, 19, 25, 31, 38, 44, 50, 56, 63, 73, 79, 89, 96, 100}));
    EXPECT_EQ(percentsOfPhase(2),
              (std::vector<int>{0, 33, 66, 100, 100, 100}));  // the last after the phases
    EXPECT_EQ(progress.back(), Progress(2, 2, 100));

    EXPECT_EQ(chrono->commandsReceived(), "BHF" + std::string(N, 'E') + "CDDDHJ");
    ASSERT_GE(sent.size(), 4u + N + 3u);
    EXPECT_EQ(sent[4].size(), 2u + 260u);  // 'E' and bytes 1..259 of the block
    EXPECT_TRUE(std::equal(sent[4].begin() + 3, sent[4].end(), pgm.dati.begin() + 261));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sent[4 + N + i], (Bytes{0x01, 0x46, 'D', uint8_t(4 + i), 0x01}));
    EXPECT_EQ(chrono->restartCount(), 1);
    EXPECT_EQ(chrono->partitions()[1].name, "PGM VERS 3.0");
}

TEST_F(DownloaderTest, EmptyPlanOnlyRestartsAndOneBlockComponentDoesNotDivideByZero) {
    start();
    EXPECT_EQ(transfer(), 0);
    EXPECT_EQ(progress, (std::vector<Progress>{{0, 0, 0}, {0, 1, 100}}));
    EXPECT_EQ(chrono->displayHistory().back(), "\f\r\n               Riavvio...");
    EXPECT_EQ(sent.back(), (Bytes{0x01, 0x46, 'J', 0x01}));

    progress.clear();
    const Segmento milo = component(PT_MILO, 1, 1, "MILO");
    resetTable(plan);
    ASSERT_TRUE(addPartition(plan, PT_MILO, 0, "MILO", &milo, 1, 1));
    EXPECT_EQ(transfer(), 0);
    const std::vector<int> write = percentsOfPhase(1);
    EXPECT_EQ(std::vector<int>(write.begin(), write.begin() + 3), (std::vector<int>{0, 0, 50}));
}

TEST_F(DownloaderTest, EachOutcomeCodeWithItsLastAnswer) {
    const char* NONE = "Mancata risposta da parte del cronometro";
    struct Case {
        sim::FaultRule fault;
        uint8_t entryType;
        int code;
        std::string lastAnswer;
        bool eraseBlock0First = false;
    } cases[] = {
        {{'B', 1, sim::Fault::ListingCut}, PT_PGM, 106, NONE},
        {{'F', 1, sim::Fault::Silence}, PT_PGM, 101, NONE},
        {{'F', 1, sim::Fault::WrongCode}, PT_PGM, 101, "009 Comando rifiutato"},
        {{'E', 2, sim::Fault::Silence}, PT_PGM, 102, NONE},
        {{'C', 1, sim::Fault::ProgressThenSilence}, PT_PGM, 103, "Blocco 1: avvio scrittura"},
        {{'C', 1, sim::Fault::Silence}, PT_PGM, 103, "001 Blocco ricevuto"},
        {{'C', 1, sim::Fault::WrongCode}, PT_PGM, 103, "009 Errore di scrittura"},
        {{'J', 1, sim::Fault::WrongCode}, PT_PGM, 104, "009 Comando rifiutato"},
        {{'D', 1, sim::Fault::Silence}, PT_FREE, 108, NONE},
        {{'A', 1, sim::Fault::None}, 3, 107, NONE},
        {{'A', 1, sim::Fault::None}, 3, 107, "004 Blocco cancellato", true},
    };
    for (const Case& c : cases) {
        sim::SimConfig config;
        config.faults = {c.fault};
        start(config);
        const Segmento pgm = component(PT_PGM, 2, 9, "P");
        ASSERT_TRUE(
            addPartition(plan, c.entryType == PT_FREE ? PT_PGM : c.entryType, 1, "P", &pgm, 1, 2));
        if (c.entryType == PT_FREE)
            plan.entries[1].type = PT_FREE;
        plan.entries[0].changed = c.eraseBlock0First;
        EXPECT_EQ(transfer(), c.code) << c.fault.command;
        EXPECT_EQ(link.RsLastAnswer(), c.lastAnswer) << c.fault.command;
        EXPECT_EQ(chrono->restartCount(), 0);
    }

    link.RsClose();
    link.setLastAnswer("prima");
    EXPECT_EQ(transfer(), 100);
    EXPECT_EQ(link.RsLastAnswer(), "prima");
}

// A damaged frame or noise ahead of a display's answer leaves that answer
// late on the line; it is never taken for the next command's answer.
TEST_F(DownloaderTest, LateAnswersAreNeverTakenForTheNextCommand) {
    const char* NONE = "Mancata risposta da parte del cronometro";
    using F = sim::Fault;
    struct Case {
        std::vector<sim::FaultRule> faults;  // 'H' 1: the write display, 'H' 2: "Riavvio..."
        int code;
        std::string lastAnswer;
        int restarts;
    } cases[] = {
        {{{'H', 2, F::BadFrameFirst}, {'J', 1, F::Silence}}, 104, NONE, 0},
        {{{'H', 2, F::BadFrameFirst}, {'J', 1, F::WrongCode}}, 104, "009 Comando rifiutato", 0},
        {{{'H', 2, F::NoiseFirst}, {'J', 1, F::Silence}}, 104, NONE, 0},
        {{{'H', 1, F::NoiseFirst}}, 0, "000 Riavvio", 1},
        {{{'H', 1, F::BadFrameFirst}}, 0, "000 Riavvio", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.faults[0].occurrence << " " << c.code);
        sim::SimConfig config;
        config.faults = c.faults;
        start(config);
        const Segmento pgm = component(PT_PGM, 2, 9, "P");
        ASSERT_TRUE(addPartition(plan, PT_PGM, 1, "P", &pgm, 1, 2));
        EXPECT_EQ(transfer(), c.code);
        EXPECT_EQ(link.RsLastAnswer(), c.lastAnswer);
        EXPECT_EQ(chrono->restartCount(), c.restarts);
        EXPECT_EQ(chrono->partitions()[1].name, "P");  // the component was written
    }
}

TEST_F(DownloaderTest, FailureInSecondOfThreePhasesStopsThere) {
    sim::SimConfig config;
    config.faults = {{'F', 2, sim::Fault::WrongCode}};
    start(config);
    const Segmento milo = component(PT_MILO, 1, 2, "M");
    const Segmento pgm = component(PT_PGM, 2, 2, "P");
    ASSERT_TRUE(addPartition(plan, PT_MILO, 0, "M", &milo, 1, 1));
    ASSERT_TRUE(addPartition(plan, PT_PGM, 1, "P", &pgm, 1, 2));
    plan.entries[2].changed = 1;
    EXPECT_EQ(transfer(), 101);
    EXPECT_EQ(phaseIndex, 2);
    EXPECT_EQ(std::get<1>(progress.back()), 3);
    EXPECT_EQ(chrono->commandsReceived().find('J'), std::string::npos);
}

TEST(DownloaderScripted, OddWriteReportsArePassedOnAsComputed) {
    ScriptedLink scripted;
    SerialLink& link = scripted.link;
    ScriptedDevices& devices = scripted.devices;
    ASSERT_TRUE(link.RsIsOpen());
    devices.port->respond = [](const Bytes& w, std::deque<uint8_t>& out) {
        const uint8_t letter = w[3];  // 7E 01 46 letter ...
        std::vector<Bytes> replies;
        if (letter == 'F')
            replies = {answer("002")};
        if (letter == 'E')
            replies = {answer("001")};
        // A count before any total (total 1), a step done, then a total that
        // comes too late, a count above it and counts no chronometer has.
        if (letter == 'C') {
            replies = {report("CAN     0"),
                       report("CAN  Done"),
                       report("CAN  Cancella 0016"),
                       report("CAN     8"),
                       report("CAN  -99999999999999999999"),
                       report("CAN  99999999999999999999"),
                       answer("004")};
        }
        for (const Bytes& r : replies)
            out.insert(out.end(), r.begin(), r.end());
    };
    std::vector<int> seen;
    PartitionTable plan;
    TDownloader worker(
        link, plan, [&](int, int, int p) { seen.push_back(p); }, nullptr, nullptr);
    const Segmento pgm = component(PT_PGM, 1, 3, "P");
    EXPECT_EQ(worker.WriteProgram(2, pgm), 0);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 4), (std::vector<int>{0, 50, 66, -49}));
    EXPECT_GT(seen[4], 100);  // huge counts are cut, not overflowed
    EXPECT_LT(seen[5], 0);
    EXPECT_EQ(seen[6], 100);
    EXPECT_DEATH(worker.WriteProgram(8, pgm), "destinationBlock >= 0.*Comunic");
}

TEST_F(DownloaderTest, RunsOnItsOwnThread) {
    start();
    // Progress handed over through invokeAndWait; the end call-back on the worker.
    std::thread::id worker;
    int handedOver = 0;
    std::promise<int> ended;
    auto* downloader = new TDownloader(
        link, plan, [&](int, int, int) { worker = std::this_thread::get_id(); },
        [&](std::function<void()> fn) {
            ++handedOver;
            fn();
        },
        [&](int code) { ended.set_value(code); });
    downloader->start();
    EXPECT_EQ(ended.get_future().get(), 0);
    delete downloader;  // joins
    EXPECT_EQ(handedOver, 2);
    EXPECT_NE(worker, std::this_thread::get_id());

    // A worker that deletes itself from its end call-back is detached, not joined.
    std::promise<int> code;
    TDownloader* self = nullptr;
    self = new TDownloader(link, plan, nullptr, nullptr, [&](int c) {
        delete self;
        code.set_value(c);
    });
    self->start();
    EXPECT_EQ(code.get_future().get(), 0);
}

}  // namespace
}  // namespace zor::test
