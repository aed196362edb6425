// How far the time left shown during a transfer is from the time it really
// took. Whole updates through the update session against the in-process
// chronometer with its own timing (bytes at the line's rate, flash work at a
// serial NOR flash's pace, restart), on virtual time: each plan runs once to
// learn its real length, then again with the estimate read at 25, 50 and 75 %
// of it, beside the share-of-phases formula the station used before
// (timeLeftAtPace, which zorload-cli's progress line still shows). Not a Google Benchmark: it
// prints one table.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/percent.h"
#include "engine/time_left.h"
#include "engine/update_session.h"
#include "sim/component_image.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace {

using namespace zor;

constexpr double POINTS[] = {0.25, 0.50, 0.75};
constexpr int POINT_COUNT = 3;

// The session's clock on the simulated line's virtual time; reads the
// estimate at each sample point as time passes it.
class SamplingClock : public Clock {
  public:
    explicit SamplingClock(VirtualClock& time) : time_(time) {}
    uint32_t tickMs() override {
        const uint32_t now = time_.tickMs();
        if (onTick)
            onTick(now);
        return now;
    }
    void sleepMs(uint32_t ms) override {
        tickMs();
        time_.sleepMs(ms);
    }
    std::function<void(uint32_t)> onTick;

  private:
    VirtualClock& time_;
};

// Feeds the estimate as a front end would: every progress report and every
// frame written.
class Feeder : public SessionObserver {
  public:
    explicit Feeder(Clock& clock) : clock_(clock) {}
    void start(const PartitionTable& plan, uint32_t bps) {
        estimate.emplace(plan, bps);
        bytes = 0;
        overall = 0;
    }
    void progress(int phase, int count, int /*percent*/, int all) override {
        phase_ = phase;
        count_ = count;
        overall = std::clamp(all, 0, 100);
        feed();
    }
    void dataSent(uint64_t size) override {
        bytes += size;
        feed();
    }
    std::optional<TimeLeft> estimate;
    uint64_t bytes = 0;
    int overall = 0;

  private:
    void feed() {
        if (estimate)
            estimate->update(clock_.tickMs(), bytes, phase_, count_);
    }
    Clock& clock_;
    int phase_ = 0, count_ = 0;
};

struct Plan {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<int> slots;  // components ticked
};

struct Run {
    bool ok = false;
    uint32_t totalMs = 0;
    uint64_t expectedBytes = 0, sentBytes = 0;
    double estimateError[POINT_COUNT] = {NAN, NAN, NAN};
    double oldError[POINT_COUNT] = {NAN, NAN, NAN};
};

// One whole update; with totalMs known, the errors at the sample points.
Run runOnce(const Plan& plan, const std::string& path, bool high, bool slow,
            uint32_t knownTotalMs) {
    Run run;
    VirtualClock time;
    SamplingClock clock(time);
    sim::SimConfig config;
    config.timing = sim::SimTiming::Realistic;
    if (slow) {
        // A chronometer far from the typical figures the estimate starts
        // from: answers four times later, a flash at its worst-case erase
        // times, a slow restart.
        config.replyDelayByCommand = {{'E', 12},   {'H', 40},  {'F', 100},
                                      {'C', 1200}, {'D', 600}, {'J', 600}};
    }
    sim::Chronometer chrono(config);
    sim::SimDevices devices(time);
    devices.attach("COM1", chrono);
    Feeder feeder(clock);
    UpdateSession session(devices, clock, feeder);
    if (!session.loadFile(path) || !session.open("COM1") || !session.check(high, nullptr)) {
        return run;
    }
    std::vector<PlanItem> items;
    for (int slot : plan.slots)
        items.push_back({slot, &session.components()[static_cast<size_t>(slot)], true});
    PlanVerdict verdict;
    if (!session.plan(items, verdict, nullptr))
        return run;

    feeder.start(session.planned(), session.link().lineSpeed());
    const uint32_t start = time.tickMs();
    int next = 0;
    clock.onTick = [&](uint32_t now) {
        while (knownTotalMs != 0 && next < POINT_COUNT &&
               static_cast<uint32_t>(now - start) >= POINTS[next] * knownTotalMs) {
            const uint32_t at = start + static_cast<uint32_t>(POINTS[next] * knownTotalMs);
            const double elapsed = at - start;
            const double actual = knownTotalMs - elapsed;
            const int64_t estimate = feeder.estimate->leftMs(at);
            if (estimate >= 0)
                run.estimateError[next] = 100.0 * (static_cast<double>(estimate) - actual) / actual;
            const int p = feeder.overall;
            if (p > 0 && p < 100)
                run.oldError[next] = 100.0 * (timeLeftAtPace(elapsed, p) - actual) / actual;
            ++next;
        }
    };
    const uint64_t before = session.link().bytesSent();
    run.ok = static_cast<bool>(session.runTransfer());
    clock.onTick = nullptr;
    run.totalMs = time.tickMs() - start;
    run.sentBytes = session.link().bytesSent() - before;
    run.expectedBytes = feeder.estimate->totalBytes();
    return run;
}

std::vector<uint8_t> fullFlashFile() {
    // Each flash block as full as the 259 bytes sent per data block allow.
    const size_t perBlock = sim::FLASH_BLOCK_BYTES / sim::SENT_BYTES_PER_BLOCK;
    return sim::updateFileOf({{PT_MILO, 0, 1, perBlock, "Boot VERS 1.02 BUILD 15"},
                              {PT_PGM, 1, 5, 5 * perBlock, "Programma gare VERS 3.00 BUILD 2"},
                              {PT_DATAREL, 0, 2, 2 * perBlock, "Lingua tedesco VERS 1.0 BUILD 1"}},
                             7);
}

std::string cell(double value) {
    if (std::isnan(value))
        return "    -";
    char text[16];
    std::snprintf(text, sizeof text, "%+5.0f", value);
    return text;
}

}  // namespace

int main() {
    test::TempDir temp("zor_bench_time_left");
    // The sample file on the default chronometer: MILO, the program over blocks
    // 1..3, two language releases; the program alone drops the data releases
    // and erases blocks 4..7.
    const std::vector<Plan> plans = {
        {"file di esempio intero", sim::sampleUpdateFile(), {0, 1, 2, 3}},
        {"un componente (lingua)", sim::sampleUpdateFile(), {2}},
        {"programma + 4 cancell.", sim::sampleUpdateFile(), {1}},
        {"flash intera (8 blocchi)", fullFlashFile(), {0, 1, 2}},
    };
    std::printf("%-25s %6s %-6s %8s %9s %9s | %-17s | %-17s\n", "piano", "bit/s", "cronom.",
                "reale s", "byte att.", "byte inv.", "stima err% 25/50/75",
                "vecchia err% 25/50/75");
    bool allOk = true;
    for (size_t i = 0; i < plans.size(); ++i) {
        const std::string path = temp.file("piano" + std::to_string(i) + ".upd");
        writeBytes(path, plans[i].file);
        for (int variant = 0; variant < 4; ++variant) {
            const bool high = variant % 2 == 1;
            const bool slow = variant >= 2;
            const Run first = runOnce(plans[i], path, high, slow, 0);
            const Run run = first.ok ? runOnce(plans[i], path, high, slow, first.totalMs) : first;
            allOk = allOk && run.ok;
            if (!run.ok) {
                std::printf("%-25s %6s  transfer failed\n", plans[i].name,
                            high ? "57600" : "19200");
                continue;
            }
            std::printf("%-25s %6s %-6s %8.1f %9llu %9llu | %s %s %s | %s %s %s\n", plans[i].name,
                        high ? "57600" : "19200", slow ? "lento" : "tipico", run.totalMs / 1000.0,
                        static_cast<unsigned long long>(run.expectedBytes),
                        static_cast<unsigned long long>(run.sentBytes),
                        cell(run.estimateError[0]).c_str(), cell(run.estimateError[1]).c_str(),
                        cell(run.estimateError[2]).c_str(), cell(run.oldError[0]).c_str(),
                        cell(run.oldError[1]).c_str(), cell(run.oldError[2]).c_str());
        }
    }
    return allOk ? 0 : 1;
}
