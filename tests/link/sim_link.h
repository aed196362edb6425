#pragma once
// The host's link with a simulated chronometer at the far end, all on one
// virtual clock: what the link tests start from.
#include <gtest/gtest.h>

#include <memory>

#include "link/serial_link.h"
#include "sim/sim_port.h"
#include "support/recording_ui.h"

namespace zor::test {

class SimLinkTest : public ::testing::Test {
  protected:
    // A chronometer with this configuration answers on COM1 from now on.
    sim::Chronometer& attach(const sim::SimConfig& config) {
        chrono = std::make_unique<sim::Chronometer>(config);
        devices.attach("COM1", *chrono);
        return *chrono;
    }

    VirtualClock clock;
    sim::SimDevices devices{clock};
    std::unique_ptr<sim::Chronometer> chrono;
    RecordingUi ui;
    SerialLink link{devices, clock, ui};
};

}  // namespace zor::test
