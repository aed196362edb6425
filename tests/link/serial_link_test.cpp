// Frames, the receiver state machine and the request/answer exchange, against
// a scripted far end.
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include "fake_port.h"
#include "support/recording_ui.h"

namespace zor::test {
namespace {

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(link.RsOpen("COM1")); }
    ScriptedPort& port() { return *devices.port; }
    void queue(const Bytes& bytes) {
        port().toHost.insert(port().toHost.end(), bytes.begin(), bytes.end());
    }
    Bytes body() const { return Bytes(link.rxBody(), link.rxBody() + link.rxCount()); }

    VirtualClock clock;
    ScriptedDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock, ui};
};

TEST_F(SerialLinkTest, EncodesFramesWithStuffingOfBodyAndCheckBytes) {
    struct Case {
        Bytes body;
        bool command;
        Bytes wire;
    } cases[] = {
        {{'A', 0x00}, true, {0x7E, 0x01, 0x46, 0x41, 0x00, 0x74, 0x6F, 0x7E}},
        {{0xC0, 0x09, 't', 'e', 's', 't'},
         false,
         {0x7E, 0xC0, 0x09, 0x74, 0x65, 0x73, 0x74, 0xCE, 0x5A, 0x7E}},
        // Low check byte 0x7E, high check byte 0x7D.
        {{'E', 0x6C}, true, {0x7E, 0x01, 0x46, 0x45, 0x6C, 0x7D, 0x5E, 0xA1, 0x7E}},
        {{'E', 0x16}, true, {0x7E, 0x01, 0x46, 0x45, 0x16, 0xA3, 0x7D, 0x5D, 0x7E}},
    };
    for (const Case& c : cases) {
        devices.log.written.clear();
        if (c.command) {
            EXPECT_TRUE(link.RsSendCommand(c.body.data(), c.body.size()));
        } else {
            EXPECT_TRUE(link.RsSendFrame(c.body.data(), c.body.size()));
        }
        EXPECT_EQ(devices.log.written, c.wire);
    }
    devices.log.written.clear();
    const Bytes flagAndEscape{0x7E, 0x7D, 0x11};
    link.RsSendFrame(flagAndEscape.data(), flagAndEscape.size());
    EXPECT_EQ(devices.log.written, frame(flagAndEscape));
    EXPECT_EQ(Bytes(devices.log.written.begin(), devices.log.written.begin() + 5),
              (Bytes{0x7E, 0x7D, 0x5E, 0x7D, 0x5D}));
}

TEST_F(SerialLinkTest, RefusesBodyTooLargeForTransmitBuffer) {
    const Bytes huge(1600, 0x7E);  // 3200 bytes once stuffed
    EXPECT_FALSE(link.RsSendFrame(huge.data(), huge.size()));
    EXPECT_TRUE(devices.log.written.empty());
}

TEST_F(SerialLinkTest, AnswerZeroArrivesAsGivenBytes) {
    queue({0x7E, 0x01, 0x46, 0x30, 0x30, 0x30, 0x91, 0x98, 0x7E});
    EXPECT_EQ(link.RsCommand("A" + std::string(1, '\0'), 1000), 0);
    EXPECT_EQ(link.RsLastAnswer(), "000");
}

TEST_F(SerialLinkTest, ReceiverEdgeCases) {
    // Two frames sharing one flag.
    Bytes one = frame({0xC0, 0x0A, 1});
    Bytes two = frame({0xC0, 0x0A, 2});
    one.pop_back();
    queue(one);
    queue(two);
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A, 1}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A, 2}));

    // 7D 7E aborts the frame; the bytes after it form a new one.
    Bytes after = frame({0xC0, 0x0D});
    queue({0x7E, 0x01, 0x46, 0x30, 0x7D});
    queue(after);
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0D}));

    // After a purge, bytes before the first flag are dropped, even ones that
    // look like a frame's body.
    link.RsPurge();
    queue({0x01, 0x46, '9', '9', '9', 0x12, 0x34});
    queue(frame({0xC0, 0x0A}));
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A}));
}

TEST_F(SerialLinkTest, BadCheckEndsTheWaitEvenWhenAGoodAnswerFollows) {
    Bytes bad = answer("000");
    bad[bad.size() - 2] ^= 0x01;
    queue(bad);
    queue(answer("000"));
    EXPECT_EQ(link.RsCommand("A" + std::string(1, '\0'), 1000), proto::CODE_NO_ANSWER);
    EXPECT_EQ(link.RsLastAnswer(), "Mancata risposta da parte del cronometro");
}

TEST_F(SerialLinkTest, OversizeFrameIsDroppedWholeAndTheNextOneIsReceived) {
    Bytes big{0x7E, 0x01, 0x46};
    big.insert(big.end(), 3100, '1');
    big.push_back(0x7E);
    queue(big);
    queue(frame({0xC0, 0x0A}));
    EXPECT_FALSE(link.RsReceiveFrame(500));
    EXPECT_EQ(link.rxCount(), 0u);
    ASSERT_TRUE(link.RsReceiveFrame(500));
    EXPECT_EQ(body(), (Bytes{0xC0, 0x0A}));
}

TEST_F(SerialLinkTest, AnswerCodes) {
    const std::string cmd = "A" + std::string(1, '\0');
    struct Case {
        std::vector<Bytes> replies;
        int code;
        std::string lastAnswer;
    } cases[] = {
        {{answer("007 ZX-300 SN 1234")}, 7, "007 ZX-300 SN 1234"},
        {{answer("abc")}, -1, "abc"},
        {{answer("12")}, -1, "12"},
        {{answer("1 2")}, -1, "1 2"},
        {{}, -2, "Mancata risposta da parte del cronometro"},
        {{report("   12"), answer("004")}, 4, "004"},
        {{frame({0xC0, 0x0A}), answer("002")}, 2, "002"},
        {{answer(std::string("001\0tail", 8))}, 1, "001"},
    };
    for (const Case& c : cases) {
        for (const Bytes& r : c.replies)
            queue(r);
        EXPECT_EQ(link.RsCommand(cmd, 1000), c.code) << c.lastAnswer;
        EXPECT_EQ(link.RsLastAnswer(), c.lastAnswer);
    }
}

TEST_F(SerialLinkTest, LongAnswerTextIsCutAt200Bytes) {
    queue(answer("001" + std::string(400, 'x')));
    EXPECT_EQ(link.RsCommand("E", 500), 1);
    EXPECT_EQ(link.RsLastAnswer(), "001" + std::string(197, 'x'));
}

TEST_F(SerialLinkTest, SilenceEndsAfterTheIdleTimeAndAFailedReadAtOnce) {
    const uint32_t before = clock.tickMs();
    EXPECT_FALSE(link.RsReceiveFrame(1000));
    EXPECT_GE(clock.tickMs() - before, 1000u);
    EXPECT_LT(clock.tickMs() - before, 1200u);

    port().readFails = true;
    const uint32_t failedAt = clock.tickMs();
    EXPECT_EQ(link.RsCommand("A", 6000), proto::CODE_NO_ANSWER);
    EXPECT_EQ(clock.tickMs(), failedAt);
}

TEST_F(SerialLinkTest, IdleTimeRestartsWithEveryByte) {
    // A byte every 100 ms for about 4 s keeps a 500 ms wait alive.
    port().perByteMs = 100;
    for (int i = 0; i < 30; ++i)
        queue({0x55});
    queue(frame({0xC0, 0x0A}));
    const uint32_t before = clock.tickMs();
    EXPECT_TRUE(link.RsReceiveFrame(500));
    EXPECT_GT(clock.tickMs() - before, 3000u);
}

TEST_F(SerialLinkTest, TraceSeesSentAndReceivedFrames) {
    std::vector<std::pair<TraceKind, Bytes>> seen;
    link.setTraceHook([&](TraceKind k, const uint8_t* b, size_t n, uint32_t) {
        seen.push_back({k, Bytes(b, b + n)});
    });
    Bytes bad = answer("000");
    bad[3] ^= 0x40;
    queue({0x33});
    queue(bad);
    link.RsCommand("A", 500);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, TraceKind::Sent);
    EXPECT_EQ(seen[1].first, TraceKind::Discarded);
    EXPECT_EQ(seen[1].second, Bytes{0x33});
    EXPECT_EQ(seen[2].first, TraceKind::BadCheck);
    EXPECT_EQ(seen[2].second, bad);
}

TEST(SerialLinkPort, OpenFailuresAndSpeeds) {
    VirtualClock clock;
    ScriptedDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock, ui};

    devices.failures["COM2"] = {OpenFailure::InUse, EBUSY};
    EXPECT_FALSE(link.RsOpen("COM2"));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Errore apertura file");
    EXPECT_TRUE(ui.boxes[0].beeped);
    EXPECT_FALSE(link.RsIsOpen());

    devices.setup = [](ScriptedPort& p) { p.configureFails = true; };
    EXPECT_FALSE(link.RsOpen("COM1"));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "Impossibile impostare la porta!");
    EXPECT_EQ(ui.boxes[1].caption, "Errore:");
    EXPECT_FALSE(link.RsIsOpen());
    EXPECT_EQ(devices.log.closes, 1);

    devices.setup = nullptr;
    ASSERT_TRUE(link.RsOpen("COM1"));
    ASSERT_TRUE(link.RsOpen("COM1"));  // the first handle goes first
    EXPECT_EQ(devices.log.closes, 2);
    EXPECT_TRUE(link.RsSetSpeed(1));
    EXPECT_EQ(devices.log.speeds.back(), 38400u);
    EXPECT_EQ(link.lineSpeed(), 38400u);

    link.RsClose();
    link.RsClose();
    link.RsPurge();
    EXPECT_EQ(devices.log.closes, 3);
    EXPECT_FALSE(link.RsSetSpeed(2));
}

TEST(SerialLinkDeathTest, SpeedIndexOutOfRangeStopsTheProgram) {
    VirtualClock clock;
    ScriptedDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock, ui};
    ASSERT_TRUE(link.RsOpen("COM1"));
    EXPECT_DEATH(link.RsSetSpeed(3), "false.*Comunic");
}

}  // namespace
}  // namespace zor::test
