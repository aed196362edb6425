// zorload: the update wizard. One instance at a time: a second start wakes
// the running window and ends. SIGTERM, SIGINT and SIGHUP end it as its close
// box does, lock and socket removed, except while a chronometer is written.
// With -banco the bench window opens instead, beside any wizard or bench
// already running: each port is taken exclusively when opened, so two
// programs can never write one chronometer.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/bench_positions.h"
#include "app/command_line.h"
#include "app/version_info.h"
#include "history/history_run.h"
#ifdef ZOR_MQTT
#include "history/mqtt_events.h"
#endif
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/version_block.h"
#include "text/app_text.h"
#include "text/station_text.h"
#include "text/station_window_text.h"
#include "text/wizard_text.h"
#include "wizard/qt/main_form.h"
#include "wizard/qt/station_window_qt.h"

namespace {

// zorload -banco [-avvia] [FILE]: the bench window on the positions of the
// user's banco.ini (none when it has a fault, after a box saying so). With
// -avvia and a file that loads, every component, started at once. Its runs
// go to the history and its events to the broker that [storico] names.
int runBench(char** argv, const zor::CommandLineResult& line) {
    using namespace zor;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QString::fromUtf8(STATION_WINDOW_TITLE));
    try {
        for (const BoxRequest& box :
             commandLineBoxes(line, programFileName(programPath()), programVersionBlock()))
            stationwin::showBox(box, nullptr);
        if (line.exitProcess)
            return line.exitStatus;
        const std::string path = benchPositionsPath();
        PositionsResult positions = readBenchPositions(path);
        if (!positions.ok() && positions.fault != PositionsFault::Missing) {
            stationwin::showBox({positionsIgnoredText(positionsFaultText(path, positions)),
                                 STATION_WINDOW_TITLE, BoxIcon::Exclamation, true},
                                nullptr);
        }
        std::vector<BoxRequest> boxes;
        const BenchSettings settings = stationwin::benchWindowSettings(path, positions, boxes);
        // The events on the centre's broker, from the client library's
        // thread: a broker that is down or slow never holds up the window.
        // Made before the window, so that it outlives the window's sink.
#ifdef ZOR_MQTT
        std::unique_ptr<MqttEvents> mqtt;
        MqttAddress broker;
        if (!settings.mqtt.empty() && !parseMqttAddress(settings.mqtt, broker)) {
            boxes.push_back({benchEventsNotSentText(badBenchMqttText(path)), STATION_WINDOW_TITLE,
                             BoxIcon::Exclamation, true});
        } else if (!settings.mqtt.empty()) {
            mqtt = std::make_unique<MqttEvents>(broker, benchHostName());
            std::string why;
            if (!mqtt->start(why)) {
                boxes.push_back({benchEventsNotSentText(why), STATION_WINDOW_TITLE,
                                 BoxIcon::Exclamation, true});
                mqtt.reset();
            }
        }
#else
        if (!settings.mqtt.empty()) {
            boxes.push_back({benchEventsNotSentText(NO_BENCH_MQTT_TEXT), STATION_WINDOW_TITLE,
                             BoxIcon::Exclamation, true});
        }
#endif
        for (const BoxRequest& box : boxes)
            stationwin::showBox(box, nullptr);
        stationwin::StationWindow window(
            systemClock(), stationwin::engineStations(systemSerialDevices(), systemClock()),
            positions.positions);
        if (settings.benchHistory) {
            window.core().keepRunsIn(std::make_unique<RunHistory>("", settings.historyPlace),
                                     getVersionString("FileVersion", ""));
        }
#ifdef ZOR_MQTT
        if (mqtt) {
            window.core().sendEventsTo(
                [&mqtt](const std::string& port, const std::string& event,
                        const std::string& json) { mqtt->publish(port, event, json); });
        }
#endif
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            window.resize(window.sizeHint().expandedTo(screen->availableSize() * 0.85));
            window.move(screen->availableGeometry().center() - window.rect().center());
        }
        // SIGTERM, SIGINT and SIGHUP end it as its close box does: refused
        // while chronometers are written.
        int interrupted = 0;
        const auto interrupts = qtui::listenForInterrupts(
            window, [&window] { return window.core().transfersRunning() > 0; }, interrupted);
        window.show();
        if (!line.FileDaCaricare.empty() && window.openFile(line.FileDaCaricare) && line.autoStart)
            window.core().start();
        const int status = QApplication::exec();
        return interrupted != 0 ? interrupted : status;
    } catch (const std::exception& e) {
        qtui::showStartupError(e);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const zor::CommandLineResult line =
        zor::ParseCommandLine(args, zor::SlashRule::OptionUnlessPath);
    if (line.bench)
        return runBench(argv, line);

    zor::SingleInstance instance;
    if (!instance.CheckSingleInstance())
        return 0;
    if (instance.unguarded()) {
        // Someone else's folder (or one anyone may write to) stands where the
        // lock belongs: run, but without the one-instance rule.
        std::fputs(zor::unguardedStartLine(instance.folder()).c_str(), stderr);
    }

    // Every argument is the program's: Qt sees none, so that -reverse, -style
    // and the like get the unknown-option box like any option the program
    // does not know. The platform plugin still comes from QT_QPA_PLATFORM.
    int qtArgc = 1;
    int status = 0;
    {
        QApplication app(qtArgc, argv);
        QApplication::setApplicationName(zor::WIZARD_TITLE);
        try {
            zor::qtui::TfrmZORMain form({zor::systemSerialDevices(), zor::systemClock(),
                                         zor::programVersionBlock(), zor::programPath(), args,
                                         QDir::currentPath().toStdString()});
            // Heard from the command line's first box on; the lock and the
            // socket go below, as at every end.
            int interrupted = 0;
            const auto interrupts = zor::qtui::listenForInterrupts(form, interrupted);
            if (!form.construct()) {
                status = form.core().exitStatus();
            } else if (interrupted == 0) {
                QApplication::setApplicationName(
                    QString::fromStdString(form.core().applicationTitle()));
                const auto wakeUps = zor::qtui::listenForWakeUps(instance, form);
                if (QScreen* screen = QGuiApplication::primaryScreen())
                    form.move(screen->availableGeometry().center() - form.rect().center());
                form.show();
                QApplication::exec();
            }
            if (interrupted != 0)
                status = interrupted;
        } catch (const std::exception& e) {
            zor::qtui::showStartupError(e);
        }
    }
    instance.ReleaseSingleInstance();
    return status;
}
