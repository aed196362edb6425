// Frames, the receiver state machine and the request/answer exchange, against
// a scripted far end; port opening against the simulated devices.
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include "fake_port.h"
#include "sim/sim_port.h"
#include "support/recording_ui.h"

namespace zor::test {
namespace {

const char NONE[] = "Mancata risposta da parte del cronometro";
const std::string CMD_A("A\0", 2);

class SerialLinkTest : public ::testing::Test, protected ScriptedLink {
  protected:
    void SetUp() override { ASSERT_TRUE(link.RsIsOpen()); }
    Bytes body() const { return Bytes(link.rxBody(), link.rxBody() + link.rxCount()); }
};

TEST_F(SerialLinkTest, EncodesFramesWithStuffingOfBodyAndCheckBytes) {
    struct Case {
        Bytes body;
        Bytes wire;
    } cases[] = {
        {{0x01, 'F', 'A', 0x00}, {0x7E, 0x01, 0x46, 0x41, 0x00, 0x74, 0x6F, 0x7E}},
        {{0xC0, 0x09, 't', 'e', 's', 't'},
         {0x7E, 0xC0, 0x09, 0x74, 0x65, 0x73, 0x74, 0xCE, 0x5A, 0x7E}},
        // Check bytes 0x7E (low) and 0x7D (high) are stuffed too.
        {{0x01, 'F', 'E', 0x6C}, {0x7E, 0x01, 0x46, 0x45, 0x6C, 0x7D, 0x5E, 0xA1, 0x7E}},
        {{0x01, 'F', 'E', 0x16}, {0x7E, 0x01, 0x46, 0x45, 0x16, 0xA3, 0x7D, 0x5D, 0x7E}},
        {{0x7E, 0x7D, 0x11}, frame({0x7E, 0x7D, 0x11})},
    };
    for (const Case& c : cases) {
        port().written.clear();
        EXPECT_TRUE(link.RsSendFrame(c.body.data(), c.body.size()));
        EXPECT_EQ(port().written, c.wire);
    }
    EXPECT_EQ(Bytes(port().written.begin(), port().written.begin() + 5),
              (Bytes{0x7E, 0x7D, 0x5E, 0x7D, 0x5D}));
    port().written.clear();
    link.RsSendCommand(reinterpret_cast<const uint8_t*>(CMD_A.data()), CMD_A.size());
    EXPECT_EQ(port().written, cases[0].wire);

    const Bytes huge(1600, 0x7E);  // 3200 bytes once stuffed: refused, nothing written
    port().written.clear();
    EXPECT_FALSE(link.RsSendFrame(huge.data(), huge.size()));
    EXPECT_TRUE(port().written.empty());
}

TEST_F(SerialLinkTest, ReceiverEdgeCases) {
    // Two frames sharing one flag.
    Bytes one = frame({0xC0, 0x0A, 1});
    one.pop_back();
    port().queue(one);
    port().queue(frame({0xC0, 0x0A, 2}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A, 1}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A, 2}));

    // 7D 7E aborts the frame; the bytes after it form a new one.
    port().queue({0x7E, 0x01, 0x46, 0x30, 0x7D});
    port().queue(frame({0xC0, 0x0D}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0D}));

    // A flag after only two bytes starts over instead of closing a frame.
    port().queue({0x7E, 0x11, 0x22, 0x7E});
    port().queue(frame({0xC0, 0x0A, 3}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A, 3}));

    // An escape survives the end of a call: 7D, time-out, then 5E is 0x7E.
    const Bytes split = frame({0x7E, 0x0A, 4});
    port().queue(Bytes(split.begin(), split.begin() + 2));
    EXPECT_FALSE(link.RsReceiveFrame(500));
    port().queue(Bytes(split.begin() + 2, split.end()));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0x7E, 0x0A, 4}));

    // After a purge, bytes before the first flag are dropped.
    link.RsPurge();
    port().queue({0x01, 0x46, '9', '9', '9', 0x12, 0x34});
    port().queue(frame({0xC0, 0x0A}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A}));

    // A frame longer than the receive buffer is dropped whole, never stored past it.
    Bytes big{0x7E, 0x01, 0x46};
    big.insert(big.end(), 3100, '1');
    big.push_back(0x7E);
    port().queue(big);
    port().queue(frame({0xC0, 0x0A}));
    EXPECT_FALSE(link.RsReceiveFrame(500));
    EXPECT_EQ(link.rxCount(), 0u);
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A}));
}

TEST_F(SerialLinkTest, AnswerCodesAndLastAnswer) {
    Bytes bad = answer("000");
    bad[bad.size() - 2] ^= 0x01;
    struct Case {
        std::vector<Bytes> replies;
        int code;
        std::string lastAnswer;
    } cases[] = {
        {{{0x7E, 0x01, 0x46, 0x30, 0x30, 0x30, 0x91, 0x98, 0x7E}}, 0, "000"},
        {{answer("007 ZX SN 1234")}, 7, "007 ZX SN 1234"},
        {{answer("abc")}, -1, "abc"},
        {{answer("12")}, -1, "12"},
        {{}, -2, NONE},
        {{bad, answer("000")}, -2, NONE},  // a bad check ends the wait
        {{report("   12"), frame({0xC0, 0x0A}), answer("004")}, 4, "004"},
        {{answer(std::string("001\0tail", 8))}, 1, "001"},
        {{answer("001" + std::string(400, 'x'))}, 1, "001" + std::string(197, 'x')},
    };
    for (const Case& c : cases) {
        port().toHost.clear();
        for (const Bytes& r : c.replies)
            port().queue(r);
        EXPECT_EQ(link.RsCommand(CMD_A, 1000), c.code) << c.lastAnswer;
        EXPECT_EQ(link.RsLastAnswer(), c.lastAnswer);
    }
}

TEST_F(SerialLinkTest, IdleTimeRestartsWithEveryByteAndAFailedReadEndsAtOnce) {
    uint32_t before = clock.tickMs();
    EXPECT_FALSE(link.RsReceiveFrame(1000));
    EXPECT_GE(clock.tickMs() - before, 1000u);
    EXPECT_LT(clock.tickMs() - before, 1200u);

    // A byte every 100 ms for about 3 s keeps a 500 ms wait alive.
    port().perByteMs = 100;
    port().queue(Bytes(30, 0x55));
    port().queue(frame({0xC0, 0x0A}));
    before = clock.tickMs();
    EXPECT_TRUE(link.RsReceiveFrame(500));
    EXPECT_GT(clock.tickMs() - before, 3000u);

    port().readFails = true;
    before = clock.tickMs();
    EXPECT_EQ(link.RsCommand(CMD_A, 6000), proto::CODE_NO_ANSWER);
    EXPECT_LE(clock.tickMs() - before, 100u);
}

// A scripted far end whose line can stop taking bytes.
class StallingPort : public ScriptedPort {
  public:
    using ScriptedPort::ScriptedPort;
    bool write(const uint8_t* data, size_t size) override {
        return !stalled && ScriptedPort::write(data, size);
    }
    bool stalled = false;
};

class StallingDevices : public SerialDeviceOpener {
  public:
    explicit StallingDevices(VirtualClock& clock) : clock_(clock) {}
    OpenResult open(const std::string&, bool) override {
        OpenResult r;
        r.port = std::make_unique<StallingPort>(clock_);
        port = static_cast<StallingPort*>(r.port.get());
        return r;
    }
    StallingPort* port = nullptr;

  private:
    VirtualClock& clock_;
};

TEST(SerialLinkTrace, AFrameTheLineRefusedIsTracedAsFailedNotSent) {
    VirtualClock clock;
    StallingDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock};
    ASSERT_TRUE(link.RsOpen("COM1"));
    std::vector<std::pair<TraceKind, Bytes>> traced;
    link.setTraceHook([&](TraceKind kind, const uint8_t* bytes, size_t size, uint32_t) {
        traced.push_back({kind, Bytes(bytes, bytes + size)});
    });
    const Bytes body{0x01, 0x46, 'A', 0x00};
    for (bool stalled : {false, true}) {
        devices.port->stalled = stalled;
        traced.clear();
        EXPECT_EQ(link.RsSendFrame(body.data(), body.size()), !stalled);
        ASSERT_EQ(traced.size(), 1u);
        EXPECT_EQ(traced[0].first, stalled ? TraceKind::SendFailed : TraceKind::Sent);
        EXPECT_EQ(traced[0].second, frame(body));
    }
}

TEST(SerialLinkPort, OpenFailuresAndSpeeds) {
    VirtualClock clock;
    sim::SimDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock};
    devices.addEmptyPort("COM1");
    devices.addEmptyPort("COM2");
    devices.setFailure("COM2", OpenFailure::InUse);

    EXPECT_FALSE(ui.tell(link.RsOpen("COM2")));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Errore apertura file");
    EXPECT_TRUE(ui.boxes[0].beeped);
    EXPECT_FALSE(link.RsIsOpen());

    devices.setConfigureFails("COM1", true);
    EXPECT_FALSE(ui.tell(link.RsOpen("COM1")));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "Impossibile impostare la porta!");
    EXPECT_EQ(ui.boxes[1].caption, "Errore:");
    EXPECT_FALSE(devices.isOpen("COM1"));

    devices.setConfigureFails("COM1", false);
    ASSERT_TRUE(link.RsOpen("COM1"));
    ASSERT_TRUE(link.RsOpen("COM1"));  // exclusive: only works if the first handle went first
    EXPECT_TRUE(link.RsSetSpeed(1));
    EXPECT_EQ(link.lineSpeed(), 38400u);

    link.RsClose();
    link.RsClose();
    link.RsPurge();
    EXPECT_FALSE(devices.isOpen("COM1"));
    EXPECT_FALSE(link.RsSetSpeed(2));

    ASSERT_TRUE(link.RsOpen("COM1"));
    EXPECT_DEATH(link.RsSetSpeed(3), "false.*Comunic");
}

}  // namespace
}  // namespace zor::test
