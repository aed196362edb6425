// TfrmZORMain as the core's view: boxes, sounds, the hourglass, pages,
// captions, visibility, check marks, focus, the two lists, the bars, the
// chart and the animation, the file dialog, closing, and running the core's
// work on the window's thread.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/percent.h"
#include "text/app_text.h"
#include "wizard/qt/main_form.h"
#include "wizard/qt/main_form_parts.h"

namespace zor::qtui {

using wizard::Ctl;
using wizard::Page;

// For scripts and tests that run the real program: with ZORLOAD_ANSWER_BOXES
// set, a box about to show is told on stderr and answered with OK at once.
static void answerForScripts(QMessageBox& box) {
    if (qEnvironmentVariableIsEmpty("ZORLOAD_ANSWER_BOXES"))
        return;
    std::fprintf(stderr, "%s: %s\n", box.windowTitle().toStdString().c_str(),
                 box.text().toStdString().c_str());
    QTimer::singleShot(0, &box, &QMessageBox::accept);
}

void TfrmZORMain::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    const QString body = qs(lfLineEnds(text));
    QMessageBox box(icon == BoxIcon::Information   ? QMessageBox::Information
                    : icon == BoxIcon::Exclamation ? QMessageBox::Warning
                                                   : QMessageBox::Critical,
                    qs(caption), body, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setFont(font());
    answerForScripts(box);
    // The hourglass of a running check must not hide the box's button.
    const int busy = busy_;
    for (int i = 0; i < busy; ++i)
        QApplication::restoreOverrideCursor();
    box.exec();
    for (int i = 0; i < busy; ++i)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfrmZORMain::beep() {
    QApplication::beep();
}

void TfrmZORMain::setBusy(bool on) {
    if (on) {
        ++busy_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busy_ > 0) {
        --busy_;
        QApplication::restoreOverrideCursor();
    }
}

void TfrmZORMain::processPendingEvents() {
    QCoreApplication::processEvents();
}

void TfrmZORMain::showPage(Page page) {
    pagine_->setCurrentIndex(static_cast<int>(page));
}

void TfrmZORMain::setVisible(Ctl control, bool visible) {
    widget(control)->setVisible(visible);
}

void TfrmZORMain::setEnabled(Ctl control, bool enabled) {
    widget(control)->setEnabled(enabled);
}

void TfrmZORMain::setCaption(Ctl control, const std::string& text) {
    const QString value = qs(text);
    if (control == Ctl::Form) {
        setWindowTitle(value);
        return;
    }
    QWidget* w = widget(control);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // The core made this change itself: no change event back.
        const QSignalBlocker quiet(edit);
        edit->setText(value);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        memo->setPlainText(value);
    }
}

void TfrmZORMain::setChecked(Ctl control, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(widget(control)))
        box->setChecked(checked);
}

bool TfrmZORMain::isChecked(Ctl control) {
    auto* box = qobject_cast<QCheckBox*>(widget(control));
    return box && box->isChecked();
}

void TfrmZORMain::setFocus(Ctl control) {
    widget(control)->setFocus();
}

void TfrmZORMain::clearPortRows() {
    const QSignalBlocker quiet(lwPorte_);
    lwPorte_->clear();
}

void TfrmZORMain::addPortRow(const wizard::PortListRow& row) {
    const QSignalBlocker quiet(lwPorte_);
    lwPorte_->addTopLevelItem(new QTreeWidgetItem({qs(row.port), qs(row.status)}));
}

void TfrmZORMain::focusPortRow(int row, bool select) {
    QTreeWidgetItem* item = lwPorte_->topLevelItem(row);
    if (!item)
        return;
    const QSignalBlocker quiet(lwPorte_);
    // The focus mark alone leaves the selection as it is.
    lwPorte_->selectionModel()->setCurrentIndex(
        lwPorte_->indexFromItem(item),
        select ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
               : QItemSelectionModel::NoUpdate);
}

void TfrmZORMain::setComponentRows(const std::vector<wizard::ComponentListRow>& rows) {
    const QSignalBlocker quiet(lvSelLang_);
    lvSelLang_->clear();
    checks_.assign(rows.size(), false);
    for (const wizard::ComponentListRow& row : rows) {
        auto* item = new QTreeWidgetItem({qs(row.name), qs(row.version)});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, Qt::UserRole, row.slot);
        lvSelLang_->addTopLevelItem(item);
    }
}

void TfrmZORMain::setBar(Ctl bar, int value) {
    static_cast<QProgressBar*>(widget(bar))->setValue(clampPercent(value));
}

void TfrmZORMain::repaintChart() {
    chart_->repaint();
}

void TfrmZORMain::setAnimationPlaying(bool playing) {
    animation_->setPlaying(playing);
}

void TfrmZORMain::informationSound() {
    QApplication::beep();
}

bool TfrmZORMain::openFileDialog(const wizard::FileDialogRequest& request,
                                 std::string& chosenPath) {
    QStringList filters;
    for (const wizard::FileFilter& f : request.filters)
        filters << QString::fromUtf8(f.description);
    QFileDialog dialog(this, qs(request.title), qs(request.initialDirectory));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosenPath = dialog.selectedFiles().first().toStdString();
    return true;
}

void TfrmZORMain::closeWindow() {
    close();
}

void TfrmZORMain::invokeAndWait(std::function<void()> fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(fn), Qt::BlockingQueuedConnection);
}

void TfrmZORMain::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void showStartupError(const std::exception& error) {
    const QString text = QString::fromLocal8Bit(error.what());
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    answerForScripts(box);
    box.exec();
}

}  // namespace zor::qtui
