#pragma once
// A UI sink that remembers every box, beep and busy change, for assertions.
#include <string>
#include <vector>

#include "app/ui_sink.h"

namespace zor::test {

struct RecordedBox {
    std::string text;
    std::string caption;
    BoxIcon icon;
    bool beeped;  // a beep came right before this box
};

class RecordingUi : public UiSink {
  public:
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        boxes.push_back({text, caption, icon, pendingBeep});
        pendingBeep = false;
    }
    void beep() override {
        ++beeps;
        pendingBeep = true;
    }
    void setBusy(bool on) override { busyDepth += on ? 1 : -1; }
    void processPendingEvents() override { ++pumps; }

    std::vector<RecordedBox> boxes;
    int beeps = 0;
    int busyDepth = 0;
    int pumps = 0;

  private:
    bool pendingBeep = false;
};

}  // namespace zor::test
