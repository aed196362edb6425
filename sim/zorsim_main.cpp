// zorsim: a simulated chronometer on a pseudo-terminal, in real time.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/posix/path_walk.h"
#include "sim/chronometer.h"
#include "sim/pty_line.h"
#include "sim/sample_file.h"
#include "sim/zorsim_options.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

void traceFrame(bool fromHost, uint32_t ms, const std::vector<uint8_t>& body) {
    std::string hex, text;
    for (uint8_t b : body) {
        char h[4];
        std::snprintf(h, sizeof h, "%02X ", b);
        hex += h;
        text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    }
    std::fprintf(stderr, "%10u %s %s |%s|\n", ms, fromHost ? "host->crono" : "crono->host",
                 hex.c_str(), text.c_str());
}

// Writes bytes to a fresh file beside path and renames it into place: what
// stood at path before (a file, or a link someone planted) is replaced, never
// written through, and a reader sees the old file or the whole new one. The
// folder is reached as every file the programs write is, and both names are
// taken relative to its descriptor. Empty on success, else why not.
std::string writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    zor::FileProblem problem;
    const zor::posix::FolderOf where = zor::posix::openFolderOf(path, false, problem);
    const int folder = where.folder.get();
    if (!where.folder.isOpen()) {
        return problem.refusal == zor::FileRefusal::RefusedLink
                   ? problem.at + ": collegamento simbolico di un altro utente, non seguito"
                   : std::strerror(problem.error);
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temp[48];
        std::snprintf(temp, sizeof temp, ".zorsim-%ld-%08x", static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()));
        const int fd =
            ::openat(folder, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return std::strerror(errno);
        size_t done = 0;
        int error = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0 && ::renameat(folder, temp, folder, where.leaf.c_str()) != 0)
            error = errno;
        if (error != 0)
            ::unlinkat(folder, temp, 0);
        return error == 0 ? std::string() : std::strerror(error);
    }
    return std::strerror(EEXIST);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zor::sim;
    ZorsimOptions opt;
    std::string error;
    if (!parseZorsimArgs(std::vector<std::string>(argv + 1, argv + argc), opt, error)) {
        std::fprintf(stderr, "zorsim: %s\n%s", error.c_str(), zorsimUsage().c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(zorsimUsage().c_str(), stdout);
        return 0;
    }
    if (opt.version) {
        std::printf("zorsim %s\n", ZORSIM_VERSION);
        return 0;
    }
    if (!opt.writeSample.empty()) {
        const std::string problem = writeNewFile(opt.writeSample, sampleUpdateFile());
        if (!problem.empty()) {
            std::fprintf(stderr, "zorsim: impossibile scrivere %s: %s\n", opt.writeSample.c_str(),
                         problem.c_str());
            return 1;
        }
        std::printf("%s\n", opt.writeSample.c_str());
        return 0;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    Chronometer chrono(opt.config);
    if (opt.trace) {
        chrono.setTrace(traceFrame);
    }
    chrono.setOnViolation([](const std::string& what) {
        std::fprintf(stderr, "zorsim: violazione del protocollo: %s\n", what.c_str());
    });
    // A chronometer plugged in later: nothing at the link until then.
    for (uint32_t waited = 0; waited < opt.plugAfterMs && !stopRequested; waited += 50)
        ::usleep(50 * 1000);
    PtyLine line;
    if (!line.open(opt.link, error)) {
        std::fprintf(stderr, "zorsim: %s\n", error.c_str());
        return 1;
    }
    // One line, at once: scripts wait for it (or for the link) before they
    // open the port.
    std::printf("zorsim: cronometro su %s (collegamento %s)\n", line.slavePath().c_str(),
                opt.link.c_str());
    std::fflush(stdout);

    zor::Clock& clock = zor::systemClock();
    // The host's line speed: the pty's, or with --trust-link-speed the one
    // the chronometer is at (a speed switch whose time has come applied
    // first), so that the host's bytes always arrive intact.
    auto hostBps = [&](uint32_t now) {
        if (!opt.trustLinkSpeed) {
            return line.hostBps();
        }
        chrono.advanceTo(now);
        return speedBps(chrono.speedIndex());
    };
    int status = 0;
    bool restartSeen = false;
    uint32_t restartAt = 0;
    std::vector<uint8_t> out;
    uint8_t buf[1024];
    while (!stopRequested) {
        uint32_t now = clock.tickMs();
        const uint32_t bps = hostBps(now);
        out.clear();
        uint8_t b;
        while (chrono.transmit(now, bps, b)) {
            out.push_back(b);
        }
        if (!out.empty()) {
            line.write(out.data(), out.size());
        }
        if (chrono.lineClosed()) {
            std::fprintf(stderr, "zorsim: linea interrotta (guasto simulato)\n");
            break;
        }
        if (opt.once && chrono.restartCount() > 0 && chrono.nextDueMs() == UINT32_MAX) {
            // Give the host time to read the restart answer before the pty goes.
            if (!restartSeen) {
                restartSeen = true;
                restartAt = now;
            } else if (now - restartAt >= 500) {
                break;
            }
        }
        int wait = 50;
        uint32_t next = chrono.nextDueMs();
        if (next != UINT32_MAX) {
            int32_t until = static_cast<int32_t>(next - now);
            wait = until < 0 ? 0 : until < wait ? until : wait;
        }
        long n = line.read(buf, sizeof buf, wait);
        if (n < 0) {
            std::perror("zorsim: read");
            status = 1;
            break;
        }
        if (n > 0) {
            now = clock.tickMs();
            chrono.receive(buf, static_cast<size_t>(n), hostBps(now), now);
        }
    }
    line.close();
    // However the session ended, a host that broke the protocol fails it.
    if (!chrono.violations().empty()) {
        std::fprintf(stderr, "zorsim: %zu violazioni del protocollo\n", chrono.violations().size());
        return 3;
    }
    return status;
}
