#pragma once
// The host's end of a line to a Chronometer, driven by hand on a private
// millisecond count: send bodies, then collect the frames that come back.
// The chronometer's protocol violations must all be taken by the test
// (newViolations) before the wire goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/chronometer.h"
#include "sim/device_frame.h"

namespace zor::test {

using Bytes = std::vector<uint8_t>;

struct Heard {
    std::vector<Bytes> frames;
    std::vector<uint32_t> at;  // when each frame's closing flag arrived
    int bad = 0;
    size_t bytes = 0;
    // Texts of the answer frames (0x01 'F'); progress reports in reports.
    std::vector<std::string> answers() const { return texts(0x46); }
    std::vector<std::string> reports() const { return texts(0x47); }
    std::vector<std::string> texts(uint8_t kind) const {
        std::vector<std::string> out;
        for (const Bytes& f : frames) {
            if (f.size() >= 2 && f[0] == 0x01 && f[1] == kind) {
                out.emplace_back(f.begin() + 2, f.end());
            }
        }
        return out;
    }
};

struct Wire {
    sim::Chronometer& chrono;
    uint32_t now = 0;
    uint32_t bps = 19200;
    size_t violationsTaken = 0;

    ~Wire() { EXPECT_EQ(newViolations(), std::vector<std::string>{}); }
    // The violations recorded since the last call.
    std::vector<std::string> newViolations() {
        const std::vector<std::string>& all = chrono.violations();
        std::vector<std::string> out(all.begin() + static_cast<long>(violationsTaken), all.end());
        violationsTaken = all.size();
        return out;
    }

    void send(const Bytes& body) {
        Bytes w = sim::encodeFrame(body);
        chrono.receive(w.data(), w.size(), bps, now);
    }
    void command(char letter, const Bytes& args = {0x00}) {
        Bytes body(args.size() + 3);
        body[0] = 0x01;
        body[1] = 0x46;
        body[2] = static_cast<uint8_t>(letter);
        std::copy(args.begin(), args.end(), body.begin() + 3);
        send(body);
    }
    // Everything that arrives within ms.
    Heard listen(uint32_t ms = 10000) {
        Heard h;
        sim::FrameDecoder d;
        const uint32_t end = now + ms;
        for (;;) {
            uint8_t b;
            while (chrono.transmit(now, bps, b)) {
                ++h.bytes;
                auto r = d.push(b);
                if (r == sim::FrameDecoder::Result::Frame) {
                    h.frames.push_back(d.body());
                    h.at.push_back(now);
                } else if (r == sim::FrameDecoder::Result::BadFrame) {
                    ++h.bad;
                }
            }
            uint32_t next = chrono.nextDueMs();
            if (next == UINT32_MAX || next > end) {
                now = end;
                chrono.advanceTo(now);
                return h;
            }
            now = next;
        }
    }
};

}  // namespace zor::test
