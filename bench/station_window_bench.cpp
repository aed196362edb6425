// The bench window's costs, offscreen, with 16 bench positions on
// pseudo-terminals that nothing answers: the time from the program's start
// to the window's first painted frame, the resident memory, and the CPU the
// window and the station take while the 16 positions wait for chronometers
// (each probed about once a second).
//
//   bench_station_window [SECONDS]   the wait measured (default 10)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim/sample_file.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"
#include "wizard/qt/station_window_qt.h"

namespace {

using Steady = std::chrono::steady_clock;
const Steady::time_point started = Steady::now();

double msSince(Steady::time_point from) {
    return std::chrono::duration<double, std::milli>(Steady::now() - from).count();
}

long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key) + 1));
    }
    return -1;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && atMs < 0)
            atMs = msSince(started);
        return false;
    }
    double atMs = -1;
};

constexpr int POSITIONS = 16;

// The window's event loop, as the program runs it, for ms.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Sixteen cables with nothing at their far end: pseudo-terminals whose
    // masters this program holds and never answers on.
    std::vector<int> masters;
    std::vector<zor::BenchPosition> positions;
    for (int i = 0; i < POSITIONS; ++i) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return 1;
        masters.push_back(master);
        positions.push_back({"Posto " + std::to_string(i + 1), ptsname(master)});
    }
    zor::test::TempDir dir("zor_bench_station_window");
    const std::string sample = dir.file("esempio.upd");
    zor::writeBytes(sample, zor::sim::sampleUpdateFile());

    zor::stationwin::StationWindow window(
        zor::systemClock(),
        zor::stationwin::engineStations(zor::systemSerialDevices(), zor::systemClock()), positions);
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.resize(1200, 900);
    window.show();
    while (paint.atMs < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("first paint with %d tiles: %.1f ms after start\n", POSITIONS, paint.atMs);
    std::printf("resident at first paint: %ld KiB\n", statusKiB("VmRSS"));

    if (!window.openFile(sample) || !window.core().start())
        return 1;
    // The first probes open every port; the wait is measured after them.
    runFor(2000);
    const double cpuBefore = cpuSeconds();
    const Steady::time_point from = Steady::now();
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("while %d positions wait: %.2f %% of a core over %d s\n", POSITIONS,
                100.0 * cpu / (msSince(from) / 1000.0), seconds);
    std::printf("resident while waiting: %ld KiB (peak %ld KiB)\n", statusKiB("VmRSS"),
                statusKiB("VmHWM"));
    window.core().stop();
    while (window.core().running())
        runFor(250);
    for (int m : masters)
        close(m);
    return 0;
}
