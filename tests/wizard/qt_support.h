#pragma once
// Helpers for tests of the Qt window: pumping the event loop until something
// holds, and closing the modal boxes the window shows (remembering them).
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace zor::test {

// Processes events until done() holds or timeoutMs passes; returns done().
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// While it lives, every modal message box is answered with OK shortly after
// it opens; texts holds what they said.
class BoxCloser {
  public:
    BoxCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text().toStdString());
                shown.push_back(
                    {box->text().toStdString(), box->windowTitle().toStdString(), box->icon()});
                box->accept();
            }
        });
        timer_.start(20);
    }
    std::vector<std::string> texts;
    struct Shown {
        std::string text;
        std::string caption;
        QMessageBox::Icon icon;
    };
    std::vector<Shown> shown;

  private:
    QTimer timer_;
};

}  // namespace zor::test
