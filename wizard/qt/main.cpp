// zorload: the update wizard. One instance at a time: a second start wakes
// the running window and ends. SIGTERM, SIGINT and SIGHUP end it as its close
// box does, lock and socket removed, except while a chronometer is written.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/version_block.h"
#include "text/wizard_text.h"
#include "wizard/qt/main_form.h"

int main(int argc, char** argv) {
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
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
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
