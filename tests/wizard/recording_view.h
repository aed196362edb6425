#pragma once
// A window without a toolkit: remembers the state of every control, every
// box and sound, and answers the file dialog from a script. The transfer
// worker's hand-over runs through a MainThreadQueue that the test pumps.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_thread_queue.h"
#include "wizard/wizard.h"

namespace zor::test {

struct ViewBox {
    std::string text;
    std::string caption;
    BoxIcon icon;
    bool beeped;
    wizard::Page page;  // shown when the box appeared
    bool animating;
};

class RecordingView : public wizard::WizardView {
  public:
    struct ControlState {
        bool visible = true;
        bool enabled = true;
        bool checked = false;
        std::string caption;
    };

    RecordingView() {
        for (const wizard::ControlSpec& c : wizard::formControls())
            controls[c.id] = {!c.hidden, true, false, c.caption};
    }

    wizard::Wizard* wizard = nullptr;  // for the close rule

    // ---- Boxes, beep, hourglass, pending events ----
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        record("box " + caption);
        boxes.push_back({text, caption, icon, pendingBeep, page, animating});
        pendingBeep = false;
        if (onBox)
            onBox(boxes.back());
    }
    void beep() override {
        pendingBeep = true;
        ++warningBeeps;
    }
    void setBusy(bool on) override {
        record(on ? "busy" : "idle");
        busyDepth += on ? 1 : -1;
    }
    void processPendingEvents() override {
        record("pump");
        ++pumps;
        if (onPump)
            onPump();
    }

    // ---- WizardView ----
    void showPage(wizard::Page p) override {
        page = p;
        pages.push_back(p);
    }
    void setVisible(wizard::Ctl c, bool v) override { controls[c].visible = v; }
    void setEnabled(wizard::Ctl c, bool e) override { controls[c].enabled = e; }
    void setCaption(wizard::Ctl c, const std::string& t) override { controls[c].caption = t; }
    void setChecked(wizard::Ctl c, bool v) override { controls[c].checked = v; }
    bool isChecked(wizard::Ctl c) override { return controls[c].checked; }
    void setFocus(wizard::Ctl c) override { focus = c; }
    void clearPortRows() override {
        record("clear");
        ports.clear();
        selectedPort = focusedPort = -1;
        ++scans;
    }
    void addPortRow(const wizard::PortListRow& row) override {
        record("row " + row.port);
        ports.push_back(row);
    }
    void focusPortRow(int row, bool select) override {
        record((select ? "select " : "focus ") + std::to_string(row));
        focusedPort = row;
        if (select)
            selectedPort = row;
    }
    void setComponentRows(const std::vector<wizard::ComponentListRow>& rows) override {
        components = rows;
        checks.assign(rows.size(), false);
    }
    void setBar(wizard::Ctl bar, int value) override { bars[bar] = value; }
    void repaintChart() override { ++chartPaints; }
    void setAnimationPlaying(bool on) override { animating = on; }
    void informationSound() override { ++infoSounds; }
    bool openFileDialog(const wizard::FileDialogRequest& request, std::string& path) override {
        dialogs.push_back(request);
        if (dialogAnswer.empty())
            return false;
        path = dialogAnswer;
        return true;
    }
    void closeWindow() override {
        if (wizard->FormCloseQuery()) {
            wizard->FormClose();
            closed = true;
        }
    }
    void invokeAndWait(std::function<void()> fn) override {
        queue.invokeAndWait([this, fn] {
            fn();
            if (onProgress)
                onProgress();
        });
    }
    void post(std::function<void()> fn) override { queue.post(std::move(fn)); }

    // ---- Test helpers ----
    // Ticks or unticks a component row as a user would.
    void tick(int row, bool on) {
        checks[row] = on;
        wizard->lvSelLangChange(row, on, wizard::Wizard::ListChange::State);
    }
    // Pumps the worker's hand-over until the transfer has ended.
    void finishTransfer() {
        queue.runUntil([this] { return !wizard->transferRunning(); });
    }
    const std::string& caption(wizard::Ctl c) { return controls[c].caption; }
    bool visible(wizard::Ctl c) { return controls[c].visible; }
    bool enabled(wizard::Ctl c) { return controls[c].enabled; }

    std::map<wizard::Ctl, ControlState> controls;
    std::map<wizard::Ctl, int> bars;
    wizard::Page page = wizard::Page::Pres;
    std::vector<wizard::Page> pages;
    wizard::Ctl focus = wizard::Ctl::Form;
    std::vector<wizard::PortListRow> ports;
    int selectedPort = -1;
    int focusedPort = -1;
    int scans = 0;  // times the port list was emptied for a scan
    std::vector<wizard::ComponentListRow> components;
    std::vector<bool> checks;
    std::vector<ViewBox> boxes;
    std::vector<wizard::FileDialogRequest> dialogs;
    std::string dialogAnswer;
    int warningBeeps = 0;
    int infoSounds = 0;
    int busyDepth = 0;
    int pumps = 0;
    int chartPaints = 0;
    bool animating = false;
    bool closed = false;
    std::function<void(const ViewBox&)> onBox;
    std::function<void()> onPump;
    std::function<void()> onProgress;  // after each progress report was shown
    // Boxes, busy changes, pumps and port list changes in the order they came,
    // with onCall run as each is recorded.
    std::vector<std::string> calls;
    std::function<void(const std::string&)> onCall;
    MainThreadQueue queue;

  private:
    void record(const std::string& call) {
        calls.push_back(call);
        if (onCall)
            onCall(call);
    }
    bool pendingBeep = false;
};

}  // namespace zor::test
