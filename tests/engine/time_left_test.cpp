// The time left against whole transfers to the simulated chronometer with its
// own timing, on virtual time: the bytes it expects are the bytes sent, and
// from the halfway point on (later where a pause longer than typical comes
// late) every reading is within a fifth of the time that was really left.
#include "engine/time_left.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "link/downloader.h"
#include "sim/component_image.h"
#include "sim/sim_port.h"

namespace zor::test {
namespace {

// The link's clock on the line's virtual time, calling back at every reading.
class WatchedClock : public Clock {
  public:
    explicit WatchedClock(VirtualClock& time) : time_(time) {}
    uint32_t tickMs() override {
        const uint32_t now = time_.tickMs();
        if (onTick)
            onTick(now);
        return now;
    }
    void sleepMs(uint32_t ms) override { time_.sleepMs(ms); }
    std::function<void(uint32_t)> onTick;

  private:
    VirtualClock& time_;
};

Segmento component(uint8_t type, uint8_t blocks, size_t dataBlocks, const char* name) {
    Segmento s;
    s.datiSize = static_cast<uint32_t>(dataBlocks);
    s.dati = sim::componentBlocks({type, blocks, name}, dataBlocks, static_cast<uint32_t>(type));
    return s;
}

// Plans over the simulated chronometer's own table (MILO 0, PGM 1..3,
// DATAREL 4 and 6).
enum class PlanKind { LanguageAndErase, BootAndProgram, Unchanged };

struct Plan {
    Segmento boot = component(PT_MILO, 1, 20, "Boot VERS 1.01");
    Segmento program = component(PT_PGM, 3, 60, "Programma VERS 2.20");
    Segmento language = component(PT_DATAREL, 1, 12, "Lingua VERS 1.3");
    PartitionTable table;

    explicit Plan(PlanKind kind) {
        resetTable(table);
        const bool boots = kind == PlanKind::BootAndProgram;
        addPartition(table, PT_MILO, 0, "Boot", boots ? &boot : nullptr, boots, 1);
        addPartition(table, PT_PGM, 1, "Programma", boots ? &program : nullptr, boots, 3);
        const bool language = kind == PlanKind::LanguageAndErase;
        addPartition(table, PT_DATAREL, 4, "Lingua", language ? &this->language : nullptr, language,
                     1);
        if (language)
            table.entries[3].changed = PT_FREE;  // blocks 5..7 erased
    }
};

struct Row {
    const char* name;
    PlanKind plan;
    uint8_t speed;
    std::map<char, uint32_t> replyDelays;  // the chronometer slower than typical
    bool everyFrame;  // fed at every frame, else at progress reports and once a second
    int checkedFrom;  // per cent of the transfer's time
};

TEST(TimeLeft, FollowsWholeTransfers) {
    const Row rows[] = {
        {"write and erase", PlanKind::LanguageAndErase, 0, {}, true, 50},
        {"write and erase, high speed", PlanKind::LanguageAndErase, 2, {}, true, 50},
        // The first erase is answered at about 62 % of the time: from then on
        // the other two count at its pace.
        {"erases four times slower", PlanKind::LanguageAndErase, 0, {{'D', 600}}, true, 70},
        // Data blocks answered late, as through an adapter that holds what it
        // reads for its latency time.
        {"two writes, answers 40 ms late", PlanKind::BootAndProgram, 2, {{'E', 40}}, true, 50},
        {"fed now and then", PlanKind::BootAndProgram, 0, {}, false, 50},
        {"nothing to change", PlanKind::Unchanged, 0, {}, true, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Plan plan(row.plan);
        VirtualClock time;
        WatchedClock clock(time);
        sim::SimConfig config;
        config.timing = sim::SimTiming::Realistic;
        config.startSpeed = row.speed;
        config.replyDelayByCommand = row.replyDelays;
        sim::Chronometer chrono(config);
        sim::SimDevices devices(time);
        devices.attach("COM1", chrono);
        SerialLink link(devices, clock);
        ASSERT_TRUE(link.RsOpen("COM1"));
        ASSERT_TRUE(link.RsSetSpeed(row.speed));

        TimeLeft estimate(plan.table, link.lineSpeed());
        uint64_t sent = 0;
        int phase = 0, phaseCount = 0;
        uint32_t fedAt = time.tickMs();
        auto feed = [&] {
            fedAt = time.tickMs();
            estimate.update(fedAt, sent, phase, phaseCount);
        };
        link.setTraceHook([&](TraceKind kind, const uint8_t*, size_t size, uint32_t) {
            if (kind != TraceKind::Sent)
                return;
            sent += size;
            if (row.everyFrame)
                feed();
        });
        const uint32_t start = time.tickMs();
        std::vector<std::pair<uint32_t, int64_t>> readings;  // at every tick of the clock
        clock.onTick = [&](uint32_t now) {
            if (!row.everyFrame && now - fedAt >= 1000)
                feed();
            if (readings.empty() || readings.back().first != now)
                readings.emplace_back(now - start, estimate.leftMs(now));
        };
        struct : TransferListener {
            std::function<void()> onRestart;
            void restarting() override { onRestart(); }
        } listener;
        uint32_t restartAt = 0;
        listener.onRestart = [&] { restartAt = time.tickMs() - start; };
        TDownloader worker(
            link, plan.table,
            [&](int index, int count, int) {
                phase = index;
                phaseCount = count;
                feed();
            },
            nullptr, nullptr, &listener);
        ASSERT_EQ(worker.run(), 0);
        clock.onTick = nullptr;
        const int64_t total = time.tickMs() - start;

        EXPECT_EQ(estimate.totalBytes(), sent);
        if (row.everyFrame) {
            EXPECT_EQ(estimate.framesSent(), estimate.frameCount());
        }
        // Unknown until the line has carried a whole exchange, known from then on.
        const auto known = std::find_if(readings.begin(), readings.end(),
                                        [](const auto& r) { return r.second >= 0; });
        EXPECT_NE(known, readings.begin());
        EXPECT_TRUE(
            std::all_of(known, readings.end(), [](const auto& r) { return r.second >= 0; }));
        for (const auto& [at, left] : readings) {
            // Fed now and then, the restart's pause shows only once the
            // bytes of its text have been read.
            if (100 * at < row.checkedFrom * total || (!row.everyFrame && at >= restartAt))
                continue;
            const int64_t actual = total - at;
            ASSERT_NEAR(left, actual, actual / 5 + 50) << "at " << at << " of " << total << " ms";
        }
    }
}

}  // namespace
}  // namespace zor::test
