// TfrmZORMain, what the user, a second start and the system do to it: the
// controls' signals, Enter and Esc, the close box, the wake-up
// (WM_SHOWINSTANCE) from a second start, and the requests to end (SIGTERM,
// SIGINT, SIGHUP), each handed to the core or answered by its rules.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <cstdio>

#include "platform/terminal.h"
#include "text/wizard_text.h"
#include "wizard/qt/main_form.h"
#include "wizard/window_rules.h"

namespace zor::qtui {

using wizard::Ctl;

void TfrmZORMain::wireEvents() {
    auto click = [this](Ctl button, void (wizard::Wizard::*handler)()) {
        QObject::connect(static_cast<QPushButton*>(widget(button)), &QPushButton::clicked, this,
                         [this, handler] { (core_.get()->*handler)(); });
    };
    click(Ctl::btnAvanti, &wizard::Wizard::btnAvantiClick);
    click(Ctl::btnIndietro, &wizard::Wizard::btnIndietroClick);
    click(Ctl::btnAnnulla, &wizard::Wizard::btnAnnullaClick);
    click(Ctl::btnAltro, &wizard::Wizard::btnAltroClick);
    click(Ctl::btnSfoglia, &wizard::Wizard::btnSfogliaClick);

    QObject::connect(static_cast<QLineEdit*>(widget(Ctl::FileName)), &QLineEdit::textChanged, this,
                     [this](const QString& text) { core_->fileNameOnChange(text.toStdString()); });

    QObject::connect(lwPorte_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = lwPorte_->selectedItems();
        core_->lwPorteOnchange(selected.isEmpty() ? -1
                                                  : lwPorte_->indexOfTopLevelItem(selected[0]));
    });
    QObject::connect(lwPorte_, &QTreeWidget::itemDoubleClicked, this,
                     [this] { core_->lwPorteDblClick(); });

    QObject::connect(
        lvSelLang_, &QTreeWidget::itemChanged, this,
        [this](QTreeWidgetItem* item, int column) { selLangItemChanged(item, column); });
    // A row that becomes the current one gains the focus mark.
    QObject::connect(lvSelLang_, &QTreeWidget::currentItemChanged, this,
                     [this](QTreeWidgetItem* item) {
                         if (!item)
                             return;
                         const bool checked = item->checkState(0) == Qt::Checked;
                         const wizard::RowState before{checked, item->isSelected(), false};
                         const wizard::RowState after{checked, item->isSelected(), true};
                         core_->lvSelLangChange(lvSelLang_->indexOfTopLevelItem(item), checked,
                                                wizard::listChange(before, after));
                     });
}

// A row's item changed: its check mark (column 0) or its text. The check
// mark is compared with the one last reported, since the item tells no more;
// a change in another column is the text's alone.
void TfrmZORMain::selLangItemChanged(QTreeWidgetItem* item, int column) {
    const int row = lvSelLang_->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(checks_.size()))
        return;
    const bool checked = item->checkState(0) == Qt::Checked;
    const bool selected = item->isSelected();
    const bool focused = item == lvSelLang_->currentItem();
    const wizard::RowState before{checks_[row], selected, focused};
    const wizard::RowState after{column == 0 ? checked : before.checked, selected, focused};
    checks_[row] = checked;
    core_->lvSelLangChange(row, checked, wizard::listChange(before, after));
}

Ctl TfrmZORMain::controlOf(const QWidget* w) const {
    for (int i = 0; i < wizard::CONTROL_COUNT; ++i) {
        if (w && widgets_[i] == w)
            return static_cast<Ctl>(i);
    }
    return Ctl::Form;
}

void TfrmZORMain::WMShowInstance(uint32_t wParam) {
    // Wake-ups are heard only from the event loop that runs once the window
    // is shown (after the command line's boxes), so it counts as shown here;
    // a form hidden since is shown again all the same.
    if (wizard::showInstanceAction(wParam, true) == wizard::ShowInstanceAction::Ignore)
        return;
    showMinimized();
    showNormal();
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = this;
    if (front->isVisible() && front->isEnabled()) {
        front->raise();
        front->activateWindow();
    }
}

void TfrmZORMain::closeEvent(QCloseEvent* event) {
    if (!core_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    core_->FormClose();
    event->accept();
}

void TfrmZORMain::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc press the button the form's rules name for them; a
    // hidden or disabled button takes no press.
    wizard::FormKey key;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        key = wizard::FormKey::Enter;
    } else if (event->key() == Qt::Key_Escape) {
        key = wizard::FormKey::Escape;
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    const Ctl target = wizard::keyTarget(key, controlOf(focusWidget()));
    auto* button = qobject_cast<QPushButton*>(widget(target));
    if (button && button->isEnabled() && button->isVisible())
        button->click();
}

std::unique_ptr<QSocketNotifier> listenForWakeUps(SingleInstance& instance, TfrmZORMain& form) {
    if (instance.listenFd() < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(instance.listenFd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&instance, &form] {
        instance.serviceRequests([&form](uint32_t message, uint32_t wParam, uint32_t) {
            if (message == WM_SHOWINSTANCE)
                form.WMShowInstance(wParam);
        });
    });
    return notifier;
}

std::unique_ptr<QSocketNotifier> listenForInterrupts(TfrmZORMain& form, int& endStatus) {
    return listenForInterrupts(
        form, [&form] { return form.core().page() == wizard::Page::Download; }, endStatus);
}

std::unique_ptr<QSocketNotifier> listenForInterrupts(QWidget& window, std::function<bool()> writing,
                                                     int& endStatus) {
    const int fd = watchInterruptsByPipe();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(
        notifier.get(), &QSocketNotifier::activated, &window, [&window, writing, &endStatus] {
            while (const int status = nextInterrupt()) {
                if (endStatus != 0)
                    continue;  // already ending: the rest only empties the pipe
                // The close box's own rule: a chronometer being written must not
                // be left half-written.
                if (writing()) {
                    std::fputs(interruptRefusedLine().c_str(), stderr);
                    continue;
                }
                // A box or the file dialog runs an event loop of its own, and the
                // window cannot close under it: dismissed first, as if answered
                // with Esc.
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                        dialog->reject();
                }
                if (!window.close())
                    continue;
                endStatus = status;
                // Every loop, the boxes' too, so that the window's loop returns
                // even when the request came while the check waited for a box.
                QCoreApplication::exit(status);
            }
        });
    return notifier;
}

}  // namespace zor::qtui
