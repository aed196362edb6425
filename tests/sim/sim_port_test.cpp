// SimPort and SimDevices: the host's view of a simulated cable.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "sim/device_frame.h"
#include "sim/sim_port.h"

namespace zor::sim {
namespace {

using Bytes = std::vector<uint8_t>;

void writeBody(SerialPort& p, const Bytes& body) {
    Bytes w = encodeFrame(body);
    ASSERT_TRUE(p.write(w.data(), w.size()));
}

class SimPortTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const auto& c : chronos_)
            EXPECT_EQ(c->violations(), std::vector<std::string>{});
    }
    Chronometer& chrono(const SimConfig& config) {
        chronos_.push_back(std::make_unique<Chronometer>(config));
        return *chronos_.back();
    }

  private:
    std::vector<std::unique_ptr<Chronometer>> chronos_;
};

TEST_F(SimPortTest, ReadsRunOnVirtualTime) {
    VirtualClock clock(5000);
    SimConfig cfg;
    cfg.replyDelayMs = 30;
    Chronometer& c = chrono(cfg);
    SimPort port(c, clock);
    ASSERT_TRUE(port.configure(19200));
    uint8_t b;
    EXPECT_EQ(port.readByte(b), 0);
    EXPECT_EQ(clock.tickMs(), 5100u);

    writeBody(port, {0x01, 0x46, 'A', 0x00});
    EXPECT_EQ(port.readByte(b), 1);  // due 30 ms later: the clock jumps there
    EXPECT_EQ(b, 0x7E);
    EXPECT_EQ(clock.tickMs(), 5130u);
    Bytes rest;
    while (port.readByte(b) == 1) {
        rest.push_back(b);
    }
    FrameDecoder d;
    d.push(0x7E);
    FrameDecoder::Result last = FrameDecoder::Result::None;
    for (uint8_t x : rest) {
        last = d.push(x);
    }
    ASSERT_EQ(last, FrameDecoder::Result::Frame);
    EXPECT_EQ(std::string(d.body().begin() + 2, d.body().end()), "000 Pronto");
    EXPECT_EQ(rest.back(), 0x7E);
    EXPECT_EQ(clock.tickMs(), 5230u);  // the last read waited its full 100 ms
}

TEST_F(SimPortTest, ReplyLaterThanTheReadTimeoutNeedsSecondRead) {
    VirtualClock clock;
    SimConfig cfg;
    cfg.replyDelayMs = 150;
    Chronometer& c = chrono(cfg);
    SimPort port(c, clock);
    port.configure(19200);
    writeBody(port, {0x01, 0x46, 'A', 0x00});
    uint8_t b;
    EXPECT_EQ(port.readByte(b), 0);
    EXPECT_EQ(port.readByte(b), 1);
    EXPECT_EQ(clock.tickMs(), 150u);
}

TEST_F(SimPortTest, PurgeDropsOnlyWhatHasArrived) {
    VirtualClock clock;
    SimConfig cfg;
    cfg.flashStepMs = 40;
    Chronometer& c = chrono(cfg);
    SimPort port(c, clock);
    port.configure(19200);
    writeBody(port, {0x01, 0x46, 'D', 3, 0x01});  // answered after a flash step
    writeBody(port, {0x01, 0x46, 'A', 0x00});     // this one first, after 2 ms
    clock.advance(10);
    port.purge();
    uint8_t b;
    Bytes got;
    while (port.readByte(b) == 1) {
        got.push_back(b);
    }
    ASSERT_GT(got.size(), 6u);
    EXPECT_EQ(std::string(got.begin() + 3, got.begin() + 6), "004");
}

TEST_F(SimPortTest, ClosedLineFailsReadsAndWrites) {
    VirtualClock clock;
    SimConfig cfg;
    cfg.faults = {{'A', 1, Fault::CloseLine}};
    Chronometer& c = chrono(cfg);
    SimPort port(c, clock);
    port.configure(19200);
    writeBody(port, {0x01, 0x46, 'A', 0x00});
    uint8_t b;
    EXPECT_EQ(port.readByte(b), -1);
    EXPECT_EQ(port.lastError(), EIO);
    uint8_t x = 0;
    EXPECT_FALSE(port.write(&x, 1));
}

TEST(SimDevicesTest, OpenOutcomesByName) {
    VirtualClock clock;
    Chronometer c;
    SimDevices dev(clock);
    dev.attach("COM2", c);
    dev.addEmptyPort("COM3");
    dev.setFailure("COM1", OpenFailure::InUse);
    dev.setFailure("/dev/ttyUSB9", OpenFailure::Other, EACCES);

    dev.attach("COM5", c);
    dev.setModemStatus("COM5", MODEM_CTS_ON | MODEM_DSR_ON);  // a cable without carrier
    dev.setFailure("COM6", OpenFailure::NotSerial);

    // The modem lines with DTR and RTS as opened (low), then raised: the
    // chronometer's cable echoes them.
    struct Case {
        const char* name;
        OpenFailure failure;
        int osError;
        uint32_t lowered, raised;
    };
    const uint32_t ALL = MODEM_CTS_ON | MODEM_DSR_ON | MODEM_RLSD_ON;
    const Case cases[] = {
        {"COM1", OpenFailure::InUse, EBUSY, 0, 0},
        {"com2", OpenFailure::None, 0, 0, ALL},
        {"COM3", OpenFailure::None, 0, 0, 0},
        {"COM4", OpenFailure::NotInstalled, ENOENT, 0, 0},
        {"COM5", OpenFailure::None, 0, 0, MODEM_CTS_ON | MODEM_DSR_ON},
        {"COM6", OpenFailure::NotSerial, ENOTTY, 0, 0},
        {"/dev/ttyUSB9", OpenFailure::Other, EACCES, 0, 0},
    };
    for (const Case& k : cases) {
        OpenResult r = dev.open(k.name, true);
        EXPECT_EQ(r.failure, k.failure) << k.name;
        EXPECT_EQ(r.osError, k.osError) << k.name;
        EXPECT_EQ(r.port != nullptr, k.failure == OpenFailure::None) << k.name;
        if (r.port) {
            auto& port = static_cast<SimPort&>(*r.port);
            uint32_t bits = 0xFFFF;
            EXPECT_TRUE(port.modemStatus(bits));
            EXPECT_EQ(bits, k.lowered) << k.name;
            EXPECT_TRUE(port.enableDtrRts());
            EXPECT_TRUE(port.dtr() && port.rts());
            EXPECT_TRUE(port.modemStatus(bits));
            EXPECT_EQ(bits, k.raised) << k.name;
        }
    }
}

TEST(SimDevicesTest, OpenIsExclusiveUntilThePortIsClosed) {
    VirtualClock clock;
    Chronometer c;
    SimDevices dev(clock);
    dev.attach("COM1", c);
    OpenResult first = dev.open("COM1", false);
    ASSERT_TRUE(first.port);
    EXPECT_TRUE(dev.isOpen("COM1"));
    EXPECT_EQ(dev.open("COM1", false).failure, OpenFailure::InUse);
    first.port.reset();
    EXPECT_FALSE(dev.isOpen("COM1"));
    EXPECT_TRUE(dev.open("COM1", false).port);
    EXPECT_EQ(dev.openCount("COM1"), 2);

    dev.setConfigureFails("COM1", true);
    OpenResult r = dev.open("COM1", false);
    ASSERT_TRUE(r.port);
    EXPECT_FALSE(r.port->configure(19200));
}

}  // namespace
}  // namespace zor::sim
