// The wizard window's costs, offscreen: the time from the program's start to
// the first painted frame of the window, and the resident memory at its peak
// through a whole update (every component of the sample file) against the
// in-process chronometer, driven through the window's buttons.
//
//   bench_window              both figures
//   bench_window --first-paint  ends at the first paint (for timing the
//                               whole process from outside)
#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/version_block.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"
#include "wizard/qt/main_form.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point started = Clock::now();

double msSinceStart() {
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

// "VmHWM" (peak) or "VmRSS" (now) of this process in KiB.
long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key) + 1));
    }
    return -1;
}

class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && atMs < 0)
            atMs = msSinceStart();
        return false;
    }
    double atMs = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const bool firstPaintOnly = argc > 1 && std::strcmp(argv[1], "--first-paint") == 0;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    zor::test::TempDir dir("zor_bench_window");
    const std::string sample = dir.file("esempio.upd");
    zor::writeBytes(sample, zor::sim::sampleUpdateFile());
    zor::VirtualClock clock;
    zor::sim::SimDevices devices(clock);
    zor::sim::SimConfig config;
    config.flashStepMs = 1;
    zor::sim::Chronometer chrono(config);
    devices.attach("COM1", chrono);

    zor::qtui::TfrmZORMain form(
        {devices, clock, zor::programVersionBlock(), dir.file("zorload"), {sample}, dir.path()});
    FirstPaint paint;
    form.installEventFilter(&paint);
    if (!form.construct())
        return 1;
    form.show();
    while (paint.atMs < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("first paint: %.1f ms after start\n", paint.atMs);
    if (firstPaintOnly)
        return 0;

    using zor::wizard::Ctl;
    using zor::wizard::Page;
    auto* next = static_cast<QPushButton*>(form.widget(Ctl::btnAvanti));
    const long startKiB = statusKiB("VmRSS");
    for (int i = 0; i < 4; ++i)
        next->click();
    auto* list = static_cast<QTreeWidget*>(form.widget(Ctl::lvSelLang));
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, Qt::Checked);
    const double transferStart = msSinceStart();
    next->click();
    while (form.core().page() == Page::Download)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool done = form.core().page() == Page::Done;
    std::printf("update: %s in %.1f ms (virtual device time), %d restart(s)\n",
                done ? "done" : "FAILED", msSinceStart() - transferStart, chrono.restartCount());
    std::printf("resident: %ld KiB before the update, %ld KiB at the peak\n", startKiB,
                statusKiB("VmHWM"));
    return done ? 0 : 1;
}
