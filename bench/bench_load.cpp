// Loading a typical update file (~200 KB, several components) from disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "updatefile/loader.h"
#include "updatefile/update_writer.h"

namespace {

void BM_ReadUpdateFile(benchmark::State& state) {
    char tmpl[] = "/tmp/zor_bench_load_XXXXXX";
    if (!mkdtemp(tmpl)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string dir = tmpl, path = dir + "/bench.upd";

    // A base program, race data, a language pack and the loader module.
    zor::UpdateFileWriter writer;
    const size_t blocks[] = {420, 200, 120, 40};
    for (size_t i = 0; i < 4; ++i) {
        zor::ComponentSpec c;
        c.version = "Componente " + std::to_string(i) + " VERS 1.0 BUILD 1";
        c.infoType = i == 3 ? 8 : static_cast<uint16_t>(i == 1);
        c.data = zor::patternBlocks(blocks[i], static_cast<uint32_t>(i));
        writer.add(c);
    }
    const std::vector<uint8_t> bytes = writer.bytes();
    zor::writeBytes(path, bytes);

    zor::UpdateTable components;
    std::string lines, id;
    for (auto _ : state) {
        if (!zor::LoadUpdateFile(path, components, lines, id)) {
            state.SkipWithError("load refused");
            break;
        }
        benchmark::DoNotOptimize(components[0].dati.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadUpdateFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
