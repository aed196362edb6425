// What the history costs the bench: storing one chronometer's run in the
// local SQLite file (as each update and each station port does), and
// `zorload-cli history --serial S` on a history of 100,000 runs (1,000
// chronometers with 100 runs each, the one asked about among them).
// With $ZOR_BENCH_POSTGRES naming a PostgreSQL database (bench/history_postgres.sh
// starts a local one): storing one run on the server, and a run through the
// bench's outbox to the server (kept unsent, sent, taken off the outbox).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "history/sqlite_history.h"
#ifdef ZOR_HISTORY_SERVER
#include "history/outbox_history.h"
#include "history/postgres_history.h"
#endif
#include "support/temp_dir.h"

namespace zor {
namespace {

HistoryRun sampleRun(int serial, int n) {
    char sn[16], time[32];
    std::snprintf(sn, sizeof sn, "0412-%04d", serial);
    std::snprintf(time, sizeof time, "2026-%02d-%02dT%02d:%02d:00Z", 1 + n / 28 % 12, 1 + n % 28,
                  serial % 24, serial % 60);
    HistoryRun r;
    r.runId = newRunId();
    r.time = time;
    r.bench = "banco-1";
    r.user = "anna";
    r.program = "zorload-cli";
    r.version = "2.1.0.155";
    r.port = "COM1";
    r.device = "/dev/ttyS0";
    r.identification = std::string("007 Cronometro S/N ") + sn + " boot 1.30";
    r.serial = sn;
    r.file = "esempio.upd";
    r.fileId = "0214-002A";
    r.fileSha256 = std::string(64, 'a');
    r.selected =
        R"([{"slot": 0, "text": "Boot VERS 1.01 BUILD 14"}, {"slot": 1, "text": "Programma base VERS 2.20 BUILD 41"}])";
    r.tableRead =
        R"([{"first": 0, "length": 1, "type": "MILO", "name": "Boot VERS 1.00 BUILD 12"}, {"first": 1, "length": 3, "type": "PGM", "name": "Programma base VERS 2.10 BUILD 35"}, {"first": 4, "length": 1, "type": "DATAREL", "name": "Lingua italiano VERS 1.2 BUILD 4"}])";
    r.tablePlanned =
        R"([{"first": 0, "length": 1, "type": "MILO", "name": "Boot VERS 1.01 BUILD 14", "action": "write", "installed": "Boot VERS 1.00 BUILD 12"}, {"first": 1, "length": 3, "type": "PGM", "name": "Programma base VERS 2.20 BUILD 41", "action": "write", "installed": "Programma base VERS 2.10 BUILD 35"}, {"first": 4, "length": 4, "type": "FREE", "name": "", "action": "erase"}])";
    r.verdict = verdict::COMPLETE;
    const bool failed = n % 10 == 9;
    r.code = failed ? 103 : 0;
    r.meaning = failed ? meaning::TRANSFER_FAILED : meaning::DONE;
    r.lastAnswer = "000 Riavvio";
    r.seconds = 19.2;
    r.bytes = 28433;
    return r;
}

std::unique_ptr<SqliteHistory> openHistory(const std::string& path) {
    HistoryResult result;
    return SqliteHistory::open(path, false, result);
}

// One run, one transaction, on a history already open (the station's case).
void BM_StoreOneRun(benchmark::State& state) {
    test::TempDir dir("zor_bench_history");
    auto history = openHistory(dir.file("storico.sqlite"));
    int n = 0;
    for (auto _ : state) {
        if (!history->store(sampleRun(n % 1000, n)).added)
            state.SkipWithError("not stored");
        ++n;
    }
}
BENCHMARK(BM_StoreOneRun)->Unit(benchmark::kMicrosecond);

// Opening the history and storing one run (update's case: one run per
// process), on a history that already holds runs.
void BM_OpenAndStoreOneRun(benchmark::State& state) {
    test::TempDir dir("zor_bench_history");
    const std::string path = dir.file("storico.sqlite");
    int n = 0;
    for (auto _ : state) {
        auto history = openHistory(path);
        if (!history || !history->store(sampleRun(n % 1000, n)).added)
            state.SkipWithError("not stored");
        ++n;
    }
}
BENCHMARK(BM_OpenAndStoreOneRun)->Unit(benchmark::kMicrosecond);

// `zorload-cli history --table --serial 0412-0500` on 100,000 runs: the command
// itself, opening the history, its queries, the answer and the table
// (written to /dev/null).
void BM_HistorySerial(benchmark::State& state) {
    test::TempDir dir("zor_bench_history");
    const std::string path = dir.file("storico.sqlite");
    {
        auto history = openHistory(path);
        for (int n = 0; n < 100; ++n) {
            for (int serial = 0; serial < 1000; ++serial)
                history->store(sampleRun(serial, n));
        }
    }
    ::setenv("ZORLOAD_HISTORY", path.c_str(), 1);
    // The command's output goes to /dev/null, the benchmark's own back to stdout.
    std::fflush(stdout);
    const int shown = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    for (auto _ : state) {
        if (cli::cmdHistory({"--table", "--serial", "0412-0500"}) != 0)
            state.SkipWithError("history failed");
    }
    std::fflush(stdout);
    ::dup2(shown, 1);
    ::close(shown);
    ::close(null);
}
BENCHMARK(BM_HistorySerial)->Unit(benchmark::kMillisecond);

#ifdef ZOR_HISTORY_SERVER
std::string benchServer() {
    const char* url = ::getenv("ZOR_BENCH_POSTGRES");
    return url ? url : "";
}

// One run, one INSERT ... ON CONFLICT, on a connection already open (the
// recorder's thread, once the server answers).
void BM_PostgresStoreOneRun(benchmark::State& state) {
    if (benchServer().empty()) {
        state.SkipWithError("ZOR_BENCH_POSTGRES not set");
        return;
    }
    HistoryResult result;
    auto server = PostgresHistory::open(benchServer(), result);
    if (!server) {
        state.SkipWithError(result.message.c_str());
        return;
    }
    int n = 0;
    for (auto _ : state) {
        if (!server->store(sampleRun(n % 1000, n)).added)
            state.SkipWithError("not stored");
        ++n;
    }
}
BENCHMARK(BM_PostgresStoreOneRun)->Unit(benchmark::kMicrosecond);

// A station's run as the recorder handles it with a server: kept unsent
// in the bench's file, sent, taken off the outbox.
void BM_OutboxStoreAndSendOneRun(benchmark::State& state) {
    if (benchServer().empty()) {
        state.SkipWithError("ZOR_BENCH_POSTGRES not set");
        return;
    }
    test::TempDir dir("zor_bench_history");
    OutboxHistory history(openHistory(dir.file("storico.sqlite")), benchServer());
    int n = 0;
    for (auto _ : state) {
        if (!history.store(sampleRun(n % 1000, n)).added || history.sendPending().waiting != 0)
            state.SkipWithError("not sent");
        ++n;
    }
}
BENCHMARK(BM_OutboxStoreAndSendOneRun)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
}  // namespace zor

BENCHMARK_MAIN();
