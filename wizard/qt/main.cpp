// zorload: the update wizard. One instance at a time: a second start wakes
// the running window and ends.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <exception>

#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/version_block.h"
#include "wizard/qt/main_form.h"

int main(int argc, char** argv) {
    zor::SingleInstance instance("MorvantiZorloadMutex");
    if (!instance.CheckSingleInstance())
        return 0;

    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("Zorload");
        try {
            // Qt has taken its own options out of the arguments by now.
            std::vector<std::string> args;
            const QStringList all = QCoreApplication::arguments();
            for (int i = 1; i < all.size(); ++i)
                args.push_back(all[i].toStdString());
            zor::qtui::TfrmZORMain form({zor::systemSerialDevices(), zor::systemClock(),
                                         zor::programVersionBlock(), zor::programPath(), args,
                                         QDir::currentPath().toStdString()});
            if (!form.construct()) {
                status = form.core().exitStatus();
            } else {
                QApplication::setApplicationName(
                    QString::fromStdString(form.core().applicationTitle()));
                const auto wakeUps = zor::qtui::listenForWakeUps(instance, form);
                if (QScreen* screen = QGuiApplication::primaryScreen())
                    form.move(screen->availableGeometry().center() - form.rect().center());
                form.show();
                QApplication::exec();
            }
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, QApplication::applicationName(),
                                  QString::fromLocal8Bit(e.what()));
        }
    }
    instance.ReleaseSingleInstance();
    return status;
}
