// One planner run, as the component page does on every tick-mark change: a
// ten-component update file against a chronometer with five partitions.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "flash/partition_table.h"
#include "flash/planner.h"

namespace {

using namespace zor;

struct Fixture {
    UpdateTable components;
    std::vector<PlanItem> items;
    PartitionTable installed;

    Fixture() {
        struct Row {
            uint16_t type, posn, blks;
            const char* text;
            bool checked;
        };
        const Row rows[UPDATE_SLOTS] = {
            {8, 0, 1, "Milo VERS 4.1 BUILD 12", true},
            {0, 1, 3, "Programma base VERS 2.10 BUILD 35", true},
            {1, 0, 1, "Lingua italiana VERS 1 BUILD 4", true},
            {1, 0, 1, "Lingua inglese VERS 1 BUILD 4", true},
            {1, 0, 1, "Dati gara VERS 1.0", true},
            {1, 0, 1, "Lingua tedesca VERS 1 BUILD 2", false},
            {1, 0, 1, "Lingua francese VERS 1 BUILD 2", false},
            {5, 0, 1, "Modulo radio VERS 3 BUILD 1", false},
            {1, 0, 2, "Percorsi VERS 2 BUILD 9", false},
            {1, 0, 1, "Lingua spagnola VERS 1 BUILD 1", false},
        };
        for (size_t i = 0; i < UPDATE_SLOTS; ++i) {
            Segmento& s = components[i];
            s.Version.fill(' ');
            std::memcpy(s.Version.data(), rows[i].text, std::strlen(rows[i].text));
            s.InfoType = rows[i].type;
            s.Posn = rows[i].posn;
            s.Blks = rows[i].blks;
            s.datiSize = 1;
            items.push_back({int(i), &s, rows[i].checked});
        }
        resetTable(installed);
        addPartition(installed, PT_MILO, 0, "Milo VERS 4.0 BUILD 9", nullptr, 0, 1);
        addPartition(installed, PT_PGM, 1, "Programma base VERS 2.9 BUILD 30", nullptr, 0, 3);
        addPartition(installed, PT_DATAREL, 4, "Lingua italiana VERS 1 BUILD 3", nullptr, 0, 1);
        addPartition(installed, PT_DATAREL, 5, "Dati gara VERS 1.0", nullptr, 0, 1);
    }

    bool plans() const {
        PartitionTable planned;
        PlanVerdict verdict;
        return SistemaBlocchi(items, installed, planned, verdict, LogWriter()) &&
               installed.count == 5;
    }
};

void BM_PlannerWithLog(benchmark::State& state) {
    Fixture f;
    if (!f.plans())
        state.SkipWithError("the fixture does not plan");
    std::string logText;
    const LogWriter log = [&logText](const std::string& line) {
        logText += line;
        logText += "\r\n";
    };
    PartitionTable planned;
    PlanVerdict verdict;
    for (auto _ : state) {
        logText.clear();
        benchmark::DoNotOptimize(SistemaBlocchi(f.items, f.installed, planned, verdict, log));
        benchmark::DoNotOptimize(logText.data());
    }
    state.counters["log_bytes"] = double(logText.size());
}
BENCHMARK(BM_PlannerWithLog);

void BM_PlannerNoLog(benchmark::State& state) {
    Fixture f;
    if (!f.plans())
        state.SkipWithError("the fixture does not plan");
    PartitionTable planned;
    PlanVerdict verdict;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            SistemaBlocchi(f.items, f.installed, planned, verdict, LogWriter()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlannerNoLog);

}  // namespace

BENCHMARK_MAIN();
