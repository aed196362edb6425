#pragma once
// Remembers every box an outcome is told with, the beeps, the busy changes
// and the pending-event passes, for assertions.
#include <functional>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "link/port_scan.h"
#include "text/outcome_text.h"

namespace zor::test {

struct RecordedBox {
    std::string text;
    std::string caption;
    BoxIcon icon;
    bool beeped;  // a beep came right before this box
};

class RecordingUi {
  public:
    // The outcome's boxes, as a window shows them; returns the outcome.
    const Outcome& tell(const Outcome& outcome, const std::string& appTitle = "Zorload") {
        for (const BoxRequest& box : boxesFor(outcome, appTitle)) {
            beeps += box.beep ? 1 : 0;
            boxes.push_back({box.text, box.caption, box.icon, box.beep});
        }
        return outcome;
    }
    // The hourglass as the loader and the port scan drive it.
    std::function<void(bool)> busyHook() {
        return [this](bool on) { busyDepth += on ? 1 : -1; };
    }
    // The port scan's steps as a window follows them: a pending-events pass
    // after every row, the no-port outcome told.
    PortScanSteps scanSteps() {
        PortScanSteps steps;
        steps.busy = busyHook();
        steps.rowAdded = [this](const PortRow&) { ++pumps; };
        steps.noPorts = [this](const Outcome& outcome) { tell(outcome); };
        return steps;
    }

    std::vector<RecordedBox> boxes;
    int beeps = 0;
    int busyDepth = 0;
    int pumps = 0;
};

}  // namespace zor::test
