// Every wait and pause of the host, pinned on the virtual clock: an answer on
// the last millisecond of its wait is taken, one a millisecond later is not;
// the pauses last exactly as long as the chronometer needs them to.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "sim/component_image.h"
#include "sim_link.h"

namespace zor::test {
namespace {

class TimingTest : public SimLinkTest {
  protected:
    // A fresh chronometer on COM1 with this configuration, the port open at
    // 19200 bit/s, and the times of the frames the chronometer hears.
    void start(sim::SimConfig config) {
        link.RsClose();
        heard.clear();
        attach(config).setTrace([this](bool fromHost, uint32_t ms, const std::vector<uint8_t>& b) {
            if (fromHost && b.size() >= 2)
                heard.push_back({ms, b[0] == 0x01 ? static_cast<char>(b[2]) : 'L'});
        });
        ASSERT_TRUE(link.RsOpen("COM1"));
    }
    // When the chronometer heard the n-th frame with this letter ('L' link control).
    uint32_t heardAt(char letter, int n = 1) const {
        for (const auto& [ms, l] : heard) {
            if (l == letter && --n == 0)
                return ms;
        }
        ADD_FAILURE() << "never heard " << letter;
        return 0;
    }
    int restartOnly() {
        resetTable(plan);
        return TDownloader(link, plan, nullptr, nullptr, nullptr).run();
    }
    int write() {
        const Segmento pgm = program();
        resetTable(plan);
        return TDownloader(link, plan, nullptr, nullptr, nullptr).WriteProgram(1, pgm);
    }
    Segmento program() {
        Segmento s;
        s.datiSize = 9;
        s.dati = sim::componentBlocks({PT_PGM, 2, "P"}, 9, 1);
        return s;
    }

    PartitionTable plan;
    PartitionTable table;
    std::vector<std::pair<uint32_t, char>> heard;
};

// Each answer on the last millisecond of its wait, then one millisecond late.
TEST_F(TimingTest, EveryAnswerIsTakenUpToTheEndOfItsWaitAndNotAfter) {
    struct Wait {
        const char* what;
        char key;  // as the simulator names the command
        uint32_t waitMs;
        std::function<int()> run;
        int inTime, late;
    };
    const Wait waits[] = {
        {"link test", 't', 500, [&] { return int(RsTestLink(link)); }, 1, 0},
        {"speed change", 's', 500, [&] { return int(RsChangeSpeed(link, 2)); }, 1, 0},
        {"'A'", 'A', 1000, [&] { return int(ConnCheck(link, table, false, nullptr).ok()); }, 1, 0},
        {"'I'", 'I', 500, [&] { return int(ConnCheck(link, table, false, nullptr).ok()); }, 1, 0},
        {"'B'", 'B', 500, [&] { return int(RsReadListing(link, table, nullptr)); }, 1, 0},
        {"'F'", 'F', 2000, [&] { return write(); }, 0, 101},
        {"'E'", 'E', 500, [&] { return write(); }, 0, 102},
        {"'C' first report", 'C', 6000, [&] { return write(); }, 0, 103},
        {"'D'", 'D', 6000, [&] { return TDownloader(link, plan, {}, {}, {}).EraseBlocks(5, 1); }, 0,
         108},
        {"'J'", 'J', 1000, [&] { return restartOnly(); }, 0, 104},
    };
    for (const Wait& w : waits) {
        for (const uint32_t extra : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << w.what << " after " << w.waitMs + extra << " ms");
            sim::SimConfig config;
            config.replyDelayByCommand[w.key] = w.waitMs + extra;
            start(config);
            EXPECT_EQ(w.run(), extra ? w.late : w.inTime);
        }
    }
    // The write's idle wait restarts with every progress report.
    for (const uint32_t gap : {6000u, 6001u}) {
        SCOPED_TRACE(testing::Message() << "'C' reports " << gap << " ms apart");
        sim::SimConfig config;
        config.flashStepMs = gap;
        start(config);
        EXPECT_EQ(write(), gap == 6000 ? 0 : 103);
    }
}

// The pauses, and the display's wait, to the millisecond: answers come at
// once here, so every gap between frames is the host's own.
TEST_F(TimingTest, PausesLastExactlyTheirTime) {
    sim::SimConfig instant;
    instant.replyDelayMs = 0;

    // 500 ms for the restart text to be read, then 'J'.
    start(instant);
    EXPECT_EQ(restartOnly(), 0);
    EXPECT_EQ(heardAt('J') - heardAt('H'), 500u);

    // A display that gets no answer is waited for 500 ms.
    sim::SimConfig mute = instant;
    mute.faults = {{'H', 0, sim::Fault::Silence}};
    start(mute);
    EXPECT_EQ(restartOnly(), 0);
    EXPECT_EQ(heardAt('J') - heardAt('H'), 1000u);

    // 300 ms for the chronometer to switch its line speed before 'A'.
    start(instant);
    ASSERT_TRUE(ConnCheck(link, table, true, nullptr));
    EXPECT_EQ(heardAt('A') - heardAt('L', 2), 300u);

    // The search: each speed's link test waits 500 ms, then 500 ms of pause
    // before the next speed; a chronometer at 57600 bit/s is heard third.
    sim::SimConfig fast = instant;
    fast.startSpeed = 2;
    start(fast);
    const uint32_t searchStart = clock.tickMs();
    RsFindSpeed(link);
    EXPECT_EQ(link.lineSpeed(), 57600u);
    EXPECT_EQ(heardAt('L') - searchStart, 2000u);

    // The port scan lets the modem lines settle 50 ms on each port it opens.
    link.RsClose();
    devices.addEmptyPort("COM3");
    const uint32_t scanStart = clock.tickMs();
    const PortScan scan = ScanPorts(devices, link, clock);
    EXPECT_EQ(scan.rows[0].status, PortStatus::AvailableCableConnected);
    EXPECT_EQ(clock.tickMs() - scanStart, 100u);
}

// A device that never stops answering: progress reports or listing lines
// without end (each frame counts towards the answer's cap), or bytes that
// trickle in under every idle wait (only the overall limit ends that). Each
// command ends as a silent chronometer would end it there, and not before its
// limit: a real chronometer is never cut short.
TEST_F(TimingTest, NoAnswerOutlastsItsLimits) {
    using sim::Fault;
    struct Case {
        const char* what;
        char key;  // as the simulator names the command
        Fault fault;
        std::function<int()> run;
        int outcome;
        proto::CommandLimit limit;
    };
    const auto linkTest = [&] { return int(RsTestLink(link)); };
    const auto speedChange = [&] { return int(RsChangeSpeed(link, 2)); };
    const auto check = [&] { return int(ConnCheck(link, table, false, nullptr).ok()); };
    const auto display = [&] { return link.RsCommand(std::string("H\fProva"), 500); };
    const auto writeOne = [&] { return write(); };
    const auto erase = [&] { return TDownloader(link, plan, {}, {}, {}).EraseBlocks(5, 1); };
    const auto transfer = [&] { return restartOnly(); };
    // Limits as the chronometer's documented waits justify them: a single
    // answer four waits and four frames, the listing 64 lines of 500 ms, the
    // write 400 frames and ten minutes.
    const Case cases[] = {
        {"link test", 't', Fault::Trickle, linkTest, 0, {2000, 1}},
        {"speed change", 's', Fault::Trickle, speedChange, 0, {2000, 1}},
        {"'A'", 'A', Fault::Trickle, check, 0, {4000, 4}},
        {"'A'", 'A', Fault::EndlessProgress, check, 0, {4000, 4}},
        {"'I'", 'I', Fault::Trickle, check, 0, {2000, 4}},
        {"'I'", 'I', Fault::EndlessProgress, check, 0, {2000, 4}},
        {"check's listing", 'B', Fault::Trickle, check, 0, {32000, 64}},
        {"transfer's listing", 'B', Fault::EndlessListing, transfer, 106, {32000, 64}},
        {"'H'", 'H', Fault::Trickle, display, -2, {2000, 4}},
        {"'H'", 'H', Fault::EndlessProgress, display, -2, {2000, 4}},
        {"'F'", 'F', Fault::Trickle, writeOne, 101, {8000, 4}},
        {"'F'", 'F', Fault::EndlessProgress, writeOne, 101, {8000, 4}},
        {"'E'", 'E', Fault::Trickle, writeOne, 102, {2000, 4}},
        {"'E'", 'E', Fault::EndlessProgress, writeOne, 102, {2000, 4}},
        {"'C'", 'C', Fault::Trickle, writeOne, 103, {600000, 400}},
        {"'C'", 'C', Fault::EndlessProgress, writeOne, 103, {600000, 400}},
        {"'D'", 'D', Fault::Trickle, erase, 108, {24000, 4}},
        {"'D'", 'D', Fault::EndlessProgress, erase, 108, {24000, 4}},
        {"'J'", 'J', Fault::Trickle, transfer, 104, {4000, 4}},
        {"'J'", 'J', Fault::EndlessProgress, transfer, 104, {4000, 4}},
    };
    for (const Case& c : cases) {
        const bool trickle = c.fault == Fault::Trickle;
        SCOPED_TRACE(testing::Message() << c.what << (trickle ? " trickling" : " without end"));
        sim::SimConfig config;
        config.faults = {{c.key, 1, c.fault}};
        config.flashStepMs = 1;  // endless reports 1 ms apart, listing lines 2 ms
        config.endlessForMs = 2 * c.limit.overallMs;  // a host without limits fails, not hangs
        start(config);
        // When the chronometer heard each frame, by its own key, and when the
        // host took each frame.
        std::vector<std::pair<uint32_t, char>> frames;
        chrono->setTrace([&](bool fromHost, uint32_t ms, const std::vector<uint8_t>& b) {
            if (fromHost && b.size() >= 2)
                frames.push_back({ms, b[0] == 0x01   ? static_cast<char>(b[2])
                                      : b[1] == 0x09 ? 't'
                                                     : 's'});
        });
        std::vector<uint32_t> taken;
        link.setTraceHook([&](TraceKind kind, const uint8_t*, size_t, uint32_t tick) {
            if (kind == TraceKind::Received)
                taken.push_back(tick);
        });
        EXPECT_EQ(c.run(), c.outcome);
        link.setTraceHook(nullptr);

        // The command ends when the host moves on to its next frame, or returns.
        const auto hit = std::find_if(frames.begin(), frames.end(),
                                      [&](const auto& f) { return f.second == c.key; });
        ASSERT_NE(hit, frames.end());
        const uint32_t sent = hit->first;
        const uint32_t ended = hit + 1 != frames.end() ? (hit + 1)->first : clock.tickMs();
        const auto answerFrames = std::count_if(taken.begin(), taken.end(),
                                                [&](uint32_t t) { return t > sent && t <= ended; });
        if (trickle) {
            // Bytes every 300 ms keep every idle wait alive: the limit ends it,
            // within one read of the port.
            EXPECT_GE(ended - sent, c.limit.overallMs);
            EXPECT_LE(ended - sent, c.limit.overallMs + 100);
            EXPECT_EQ(answerFrames, 0);
        } else {
            // Frames ms apart: the cap ends it long before the time limit.
            EXPECT_LT(ended - sent, c.limit.overallMs / 10);
            EXPECT_EQ(answerFrames, static_cast<long>(c.limit.maxFrames));
        }
    }
}

}  // namespace
}  // namespace zor::test
