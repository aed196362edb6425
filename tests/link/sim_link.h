#pragma once
// The host's link with a simulated chronometer at the far end, all on one
// virtual clock: what the link tests start from. Every chronometer a test puts
// on the line must end the test without having seen the host break the
// protocol.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/serial_link.h"
#include "sim/sim_port.h"
#include "support/recording_ui.h"

namespace zor::test {

// The chronometer in use, and every one used before it in the test: a new
// one assigned here does not destroy the old, so that its record stays.
class ChronometerSlot {
  public:
    ChronometerSlot& operator=(std::unique_ptr<sim::Chronometer> chrono) {
        all_.push_back(std::move(chrono));
        return *this;
    }
    sim::Chronometer* operator->() const { return all_.back().get(); }
    sim::Chronometer& operator*() const { return *all_.back(); }
    const std::vector<std::unique_ptr<sim::Chronometer>>& all() const { return all_; }

  private:
    std::vector<std::unique_ptr<sim::Chronometer>> all_;
};

class SimLinkTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const auto& c : chrono.all())
            EXPECT_EQ(c->violations(), std::vector<std::string>{});
    }

    // A chronometer with this configuration answers on COM1 from now on.
    sim::Chronometer& attach(const sim::SimConfig& config) {
        chrono = std::make_unique<sim::Chronometer>(config);
        devices.attach("COM1", *chrono);
        return *chrono;
    }

    VirtualClock clock;
    sim::SimDevices devices{clock};
    ChronometerSlot chrono;
    RecordingUi ui;
    SerialLink link{devices, clock};
};

}  // namespace zor::test
