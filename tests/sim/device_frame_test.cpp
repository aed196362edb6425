// The chronometer's framing against byte sequences worked out by hand.
#include <gtest/gtest.h>

#include "sim/device_frame.h"

namespace zor::sim {
namespace {

using Bytes = std::vector<uint8_t>;

struct Vector {
    const char* what;
    Bytes body;
    Bytes wire;
};

class EncodeTest : public ::testing::TestWithParam<Vector> {};

TEST_P(EncodeTest, MatchesHandWorkedBytes) {
    EXPECT_EQ(encodeFrame(GetParam().body), GetParam().wire);
}

TEST_P(EncodeTest, DecodesBackToTheBody) {
    FrameDecoder d;
    FrameDecoder::Result last = FrameDecoder::Result::None;
    for (uint8_t b : GetParam().wire) {
        last = d.push(b);
    }
    ASSERT_EQ(last, FrameDecoder::Result::Frame);
    EXPECT_EQ(d.body(), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, EncodeTest,
    ::testing::Values(
        Vector{"command A",
               {0x01, 0x46, 0x41, 0x00},
               {0x7E, 0x01, 0x46, 0x41, 0x00, 0x74, 0x6F, 0x7E}},
        Vector{"answer 000",
               {0x01, 0x46, '0', '0', '0'},
               {0x7E, 0x01, 0x46, 0x30, 0x30, 0x30, 0x91, 0x98, 0x7E}},
        Vector{"link test",
               {0xC0, 0x09, 't', 'e', 's', 't'},
               {0x7E, 0xC0, 0x09, 0x74, 0x65, 0x73, 0x74, 0xCE, 0x5A, 0x7E}},
        Vector{"stuffed body", {0x7E, 0x7D}, {0x7E, 0x7D, 0x5E, 0x7D, 0x5D, 0xF1, 0xCD, 0x7E}},
        Vector{"stuffed check byte",
               {0x01, 0x46, 0x87},
               {0x7E, 0x01, 0x46, 0x87, 0x11, 0x7D, 0x5E, 0x7E}}));

TEST(FrameDecoderTest, FramingRulesOfTheReceiver) {
    const Bytes a = encodeFrame({0x01, 0x46, 'A', 0x00});
    const Bytes b = encodeFrame({0x01, 0x46, 'I', 0x00});
    struct Case {
        const char* what;
        Bytes wire;
        std::vector<Bytes> frames;
        int bad;
    };
    Bytes shared = a;
    shared.insert(shared.end(), b.begin() + 1, b.end());  // one flag between the two
    Bytes noisy{0x11, 0x22, 0x46};
    noisy.insert(noisy.end(), a.begin(), a.end());
    Bytes aborted{0x7E, 0x01, 0x46, 0x7D};  // escape then flag aborts
    aborted.insert(aborted.end(), a.begin(), a.end());
    Bytes corrupt = a;
    corrupt[3] ^= 0x01;
    Bytes idle{0x7E, 0x7E, 0x7E, 0x01, 0x7E};
    const std::vector<Case> cases = {
        {"two frames share a flag", shared, {{0x01, 0x46, 'A', 0x00}, {0x01, 0x46, 'I', 0x00}}, 0},
        {"bytes before the first flag are dropped", noisy, {{0x01, 0x46, 'A', 0x00}}, 0},
        {"escape before a flag aborts the frame", aborted, {{0x01, 0x46, 'A', 0x00}}, 0},
        {"wrong check", corrupt, {}, 1},
        {"flags with fewer than three bytes between", idle, {}, 0},
    };
    for (const Case& c : cases) {
        FrameDecoder d;
        std::vector<Bytes> got;
        int bad = 0;
        for (uint8_t x : c.wire) {
            auto r = d.push(x);
            if (r == FrameDecoder::Result::Frame) {
                got.push_back(d.body());
            } else if (r == FrameDecoder::Result::BadFrame) {
                ++bad;
            }
        }
        EXPECT_EQ(got, c.frames) << c.what;
        EXPECT_EQ(bad, c.bad) << c.what;
    }
}

TEST(FrameDecoderTest, OverlongFrameIsRejectedNotStored) {
    FrameDecoder d;
    d.push(0x7E);
    for (size_t i = 0; i < FrameDecoder::MAX_BODY + 100; ++i) {
        EXPECT_EQ(d.push(0x55), FrameDecoder::Result::None);
    }
    EXPECT_EQ(d.push(0x7E), FrameDecoder::Result::BadFrame);
}

TEST(EncodeFrameTest, CorruptCheckIsRejected) {
    FrameDecoder d;
    FrameDecoder::Result last = FrameDecoder::Result::None;
    for (uint8_t b : encodeFrame({0x01, 0x46, '0', '0', '4'}, true)) {
        last = d.push(b);
    }
    EXPECT_EQ(last, FrameDecoder::Result::BadFrame);
}

}  // namespace
}  // namespace zor::sim
