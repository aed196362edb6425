#pragma once
// TfrmZORMain on Qt 6 Widgets: the window of the update wizard. It builds
// its controls from the form table (main_form.cpp), shows what the wizard
// core tells it (main_form_view.cpp) and hands every user action to the core
// (main_form_events.cpp).
#include <QSocketNotifier>
#include <QWidget>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "platform/single_instance.h"
#include "wizard/wizard.h"

class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace zor::qtui {

class ChartBox;
class AnimationBox;

// The form's font: a sans-serif face at 11 pixels, the size the layout was
// drawn for. Liberation Sans where installed, slightly tightened.
QFont formFont();

class TfrmZORMain : public QWidget, public wizard::WizardView {
  public:
    explicit TfrmZORMain(wizard::WizardEnvironment env, QWidget* parent = nullptr);
    ~TfrmZORMain() override;

    // The core's construction (command line boxes included); false when the
    // program is to end with core().exitStatus().
    bool construct();
    wizard::Wizard& core() { return *core_; }
    QWidget* widget(wizard::Ctl control) const { return widgets_[static_cast<int>(control)]; }
    // Every control that takes the keyboard with Tab, in order.
    std::vector<QWidget*> tabChain() const;
    // A second start woke this instance: what wizard::showInstanceAction says,
    // bringing the window (or the box it shows) to the front or nothing.
    void WMShowInstance(uint32_t wParam);

    // ---- WizardView ----
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void beep() override;
    void setBusy(bool on) override;
    void processPendingEvents() override;
    void showPage(wizard::Page page) override;
    void setVisible(wizard::Ctl control, bool visible) override;
    void setEnabled(wizard::Ctl control, bool enabled) override;
    void setCaption(wizard::Ctl control, const std::string& text) override;
    void setChecked(wizard::Ctl control, bool checked) override;
    bool isChecked(wizard::Ctl control) override;
    void setFocus(wizard::Ctl control) override;
    void clearPortRows() override;
    void addPortRow(const wizard::PortListRow& row) override;
    void focusPortRow(int row, bool select) override;
    void setComponentRows(const std::vector<wizard::ComponentListRow>& rows) override;
    void setBar(wizard::Ctl bar, int value) override;
    void repaintChart() override;
    void setAnimationPlaying(bool playing) override;
    void informationSound() override;
    bool openFileDialog(const wizard::FileDialogRequest& request, std::string& chosenPath) override;
    void closeWindow() override;
    void invokeAndWait(std::function<void()> fn) override;
    void post(std::function<void()> fn) override;

    using QWidget::setEnabled;
    using QWidget::setFocus;
    using QWidget::setVisible;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* createControl(const wizard::ControlSpec& def, QWidget* parent);
    void wireEvents();
    void appendTabChain(wizard::Ctl parent, std::vector<QWidget*>& chain) const;
    void selLangItemChanged(QTreeWidgetItem* item, int column);
    // The control of the table that w is; Ctl::Form for any other widget.
    wizard::Ctl controlOf(const QWidget* w) const;

    std::unique_ptr<wizard::Wizard> core_;
    std::array<QWidget*, wizard::CONTROL_COUNT> widgets_{};
    std::array<QWidget*, wizard::PAGE_COUNT> pages_{};
    QStackedWidget* pagine_ = nullptr;
    QTreeWidget* lwPorte_ = nullptr;
    QTreeWidget* lvSelLang_ = nullptr;
    wizard::Wizard* chartCore_ = nullptr;  // what the chart paints from; null once torn down
    ChartBox* chart_ = nullptr;
    AnimationBox* animation_ = nullptr;
    std::vector<bool> checks_;  // the component rows' check marks as last reported
    int busy_ = 0;
};

// The box for an exception that escapes the window's construction or its
// event loop: its message under the application's name, with the error icon.
void showStartupError(const std::exception& error);

// SIGINT, SIGTERM and SIGHUP, heard from the event loop (the handler only
// writes to a pipe), end the wizard as its close box does: any box or dialog
// still open is dismissed, the window closes (the port and the session log
// with it), every running event loop ends, and endStatus becomes 128 + the
// signal's number. A later QApplication::exec() would still run, so the
// caller starts it only while endStatus is 0. On the transfer page a request
// is refused as the close box is, with a line on stderr instead of the box.
// Null when no pipe could be made: the signals then end the program at once,
// as by default.
std::unique_ptr<QSocketNotifier> listenForInterrupts(TfrmZORMain& form, int& endStatus);
// The same for any window: writing() says whether a chronometer is being
// written, when a request to end is refused.
std::unique_ptr<QSocketNotifier> listenForInterrupts(QWidget& window, std::function<bool()> writing,
                                                     int& endStatus);

// Wakes form for every WM_SHOWINSTANCE that a second start sends to
// instance (the owner), from the event loop; null when nothing listens.
std::unique_ptr<QSocketNotifier> listenForWakeUps(SingleInstance& instance, TfrmZORMain& form);

}  // namespace zor::qtui
