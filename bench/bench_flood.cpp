// A device that floods the line without end, on a pseudo-terminal: the CPU the
// host spends while it keeps sending the identification command and reading
// what comes back, through the real POSIX port and the link's frame receiver.
//
//   frames    well-formed 2990-byte frames that are no answer: each command
//             ends at its frame cap
//   oversize  5000-byte frames, longer than the receive buffer: each is
//             dropped whole and ends its command
//   garbage   bytes without a single flag: each command reads them until
//             its overall limit
//
// A pty has no line speed: unpaced, the flood comes as fast as the host takes
// it, so the host stays busy whatever a byte costs it, and cpu_s_per_MB is the
// figure to compare. The paced runs send at most a given number of bytes a
// second, in the small bursts a UART hands over: 5760 is the chronometer's
// fastest line (57600 bit/s), 200000 a flood that reading one byte per call
// could still keep up with. There cpu_s_per_s is what the flood costs.
//
// cpu_s_per_s: the host thread's CPU time over the wall time (the flooding
// thread is not counted); MB_per_s: what the host read in that time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link.h"
#include "support/temp_dir.h"
#include "updatefile/crc16.h"

namespace {

using namespace zor;

enum Flood { FRAMES, OVERSIZE, GARBAGE };

void putStuffed(std::vector<uint8_t>& out, uint8_t b) {
    if (b == proto::FLAG || b == proto::ESCAPE) {
        out.push_back(proto::ESCAPE);
        out.push_back(b ^ proto::ESCAPE_XOR);
    } else {
        out.push_back(b);
    }
}

// One frame with a right check; its header is a progress report's, which no
// command takes for its answer.
void putFrame(std::vector<uint8_t>& out, size_t bodySize, std::mt19937& random) {
    std::vector<uint8_t> body(bodySize);
    for (uint8_t& b : body)
        b = static_cast<uint8_t>(random());
    body[0] = proto::HDR_STATION;
    body[1] = proto::HDR_PROGRESS;
    out.push_back(proto::FLAG);
    uint16_t fcs = CRC16_INIT;
    for (uint8_t b : body) {
        fcs = crc16Byte(fcs, b);
        putStuffed(out, b);
    }
    const uint16_t check = fcs ^ 0xFFFF;
    putStuffed(out, static_cast<uint8_t>(check & 0xFF));
    putStuffed(out, static_cast<uint8_t>(check >> 8));
    out.push_back(proto::FLAG);
}

// About 64 KiB of flood, written over and over.
std::vector<uint8_t> floodBytes(Flood kind) {
    std::mt19937 random(7);
    std::vector<uint8_t> out;
    while (out.size() < 64 * 1024) {
        if (kind == GARBAGE) {
            const auto b = static_cast<uint8_t>(random());
            out.push_back(b == proto::FLAG ? 0 : b);
        } else {
            putFrame(out, kind == FRAMES ? 2990 : 5000, random);
        }
    }
    return out;
}

// The far end: floods the master side (at most bytesPerSecond, 0 for as fast
// as the host takes it) and throws away what the host sends, so that the
// host's commands never stall on a full line.
void flood(int master, const std::vector<uint8_t>& bytes, double bytesPerSecond,
           const std::atomic<bool>& stop) {
    std::vector<uint8_t> sink(4096);
    const auto start = std::chrono::steady_clock::now();
    uint64_t sent = 0;
    size_t at = 0;
    while (!stop) {
        size_t allowed = bytes.size() - at;
        if (bytesPerSecond > 0) {
            // What a UART would have handed over by now, in the small bursts
            // its receive interrupts deliver.
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const auto due = static_cast<uint64_t>(elapsed * bytesPerSecond);
            allowed = std::min<uint64_t>(allowed, due - std::min(due, sent));
        }
        pollfd p{master, static_cast<short>(POLLIN | (allowed > 0 ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, bytesPerSecond > 0 ? 1 : 100) <= 0)
            continue;
        if (p.revents & POLLIN)
            (void)::read(master, sink.data(), sink.size());
        if ((p.revents & POLLOUT) && allowed > 0) {
            const ssize_t n = ::write(master, bytes.data() + at, allowed);
            if (n > 0) {
                sent += static_cast<uint64_t>(n);
                at = (at + static_cast<size_t>(n)) % bytes.size();
            }
        }
        if (p.revents & (POLLHUP | POLLERR))
            return;
    }
}

// User and system time of the calling thread.
double threadCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_Flood(benchmark::State& state, Flood kind, double bytesPerSecond) {
    // Our lock file goes to a folder of our own, not the system's.
    const test::TempDir locks("zorload-bench-flood");
    ::setenv("ZORLOAD_LOCK_DIR", locks.path().c_str(), 1);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    SerialLink link(systemSerialDevices(), systemClock());
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        !link.RsOpen(::ptsname(master)).ok()) {
        state.SkipWithError("no pseudo-terminal to flood");
        ::close(master);
        return;
    }
    const std::vector<uint8_t> bytes = floodBytes(kind);
    std::atomic<bool> stop{false};
    std::thread far(flood, master, std::cref(bytes), bytesPerSecond, std::cref(stop));

    const uint8_t identify = command(proto::Cmd::Identify).letter;
    const uint32_t wait = command(proto::Cmd::Identify).timeoutMs;
    const uint64_t readBefore = link.bytesReceived();
    const double cpuBefore = threadCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(link.RsCommand(&identify, 1, wait));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const auto read = static_cast<double>(link.bytesReceived() - readBefore);

    stop = true;
    far.join();
    link.RsClose();
    ::close(master);
    state.counters["cpu_s_per_s"] = cpu / wall;
    state.counters["MB_per_s"] = read / wall / 1e6;
    state.counters["cpu_s_per_MB"] = read > 0 ? cpu / (read / 1e6) : 0;
}
BENCHMARK_CAPTURE(BM_Flood, frames, FRAMES, 0.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(10.0);
BENCHMARK_CAPTURE(BM_Flood, oversize, OVERSIZE, 0.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(10.0);
BENCHMARK_CAPTURE(BM_Flood, garbage, GARBAGE, 0.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(10.0);
BENCHMARK_CAPTURE(BM_Flood, frames_5760Bps, FRAMES, 5760.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(10.0);
BENCHMARK_CAPTURE(BM_Flood, frames_200kBps, FRAMES, 200000.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(10.0);

}  // namespace

BENCHMARK_MAIN();
