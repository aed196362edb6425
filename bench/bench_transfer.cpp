// A full 8-block update (MILO 1 block, PGM 5, DATAREL 2; 64 data blocks per
// flash block) against the in-process chronometer with no device delay: what
// the host itself costs per exchange, against the time the same bytes take
// on the wire at 57600 bit/s.
#include <benchmark/benchmark.h>

#include <chrono>

#include "link/downloader.h"
#include "sim/component_image.h"
#include "sim/sim_port.h"

namespace {

using namespace zor;

constexpr size_t DATA_BLOCKS_PER_FLASH_BLOCK = 64;
constexpr double WIRE_BPS = 57600.0;
constexpr double BITS_PER_BYTE = 10.0;

Segmento component(uint8_t type, uint8_t flashBlocks, const std::string& name) {
    Segmento s;
    s.datiSize = static_cast<uint32_t>(flashBlocks * DATA_BLOCKS_PER_FLASH_BLOCK);
    s.dati = sim::componentBlocks({type, flashBlocks, name}, s.datiSize, type);
    return s;
}

void BM_FullUpdate(benchmark::State& state) {
    const Segmento milo = component(PT_MILO, 1, "Boot VERS 1.01");
    const Segmento pgm = component(PT_PGM, 5, "Programma VERS 2.20");
    const Segmento datarel = component(PT_DATAREL, 2, "Lingua VERS 1.3");
    PartitionTable plan;
    resetTable(plan);
    addPartition(plan, PT_MILO, 0, "Boot", &milo, 1, 1);
    addPartition(plan, PT_PGM, 1, "Programma", &pgm, 1, 5);
    addPartition(plan, PT_DATAREL, 6, "Lingua", &datarel, 1, 2);

    double hostSeconds = 0;
    uint64_t exchanges = 0;
    uint64_t wireBytes = 0;
    for (auto _ : state) {
        VirtualClock clock;
        sim::SimConfig config;
        config.startSpeed = 2;
        config.replyDelayMs = 0;
        config.flashStepMs = 0;
        sim::Chronometer chrono(config);
        sim::SimDevices devices(clock);
        devices.attach("COM1", chrono);
        SerialLink link(devices, clock);
        link.RsOpen("COM1");
        link.RsSetSpeed(2);

        const auto start = std::chrono::steady_clock::now();
        TDownloader worker(link, plan, nullptr, nullptr, nullptr);
        const int result = worker.run();
        hostSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != 0)
            state.SkipWithError("transfer failed");
        exchanges += chrono.commandsReceived().size();
        wireBytes += link.bytesSent() + link.bytesReceived();
    }
    const double hostPerExchange = hostSeconds / static_cast<double>(exchanges);
    const double wirePerExchange =
        static_cast<double>(wireBytes) * BITS_PER_BYTE / WIRE_BPS / static_cast<double>(exchanges);
    state.counters["exchanges"] =
        static_cast<double>(exchanges) / static_cast<double>(state.iterations());
    state.counters["wire_bytes"] =
        static_cast<double>(wireBytes) / static_cast<double>(state.iterations());
    state.counters["host_us_per_exchange"] = hostPerExchange * 1e6;
    state.counters["wire_us_per_exchange"] = wirePerExchange * 1e6;
    state.counters["host_to_wire_ratio"] = hostPerExchange / wirePerExchange;
}
BENCHMARK(BM_FullUpdate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
