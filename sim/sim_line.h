#pragma once
// The serial line at the chronometer's end: bytes take their time on the wire,
// a receiver at the wrong speed reads noise, the UART is deaf while it is
// reprogrammed, and the chronometer's answers wait in a queue until they are
// due at the host.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "sim/device_frame.h"

namespace zor::sim {

// Bits per second of a speed index; 0 for an index outside 0..2.
uint32_t speedBps(uint8_t index);

class SimLine {
  public:
    // speed: the index the chronometer listens at; wireTiming: bytes take 10
    // bit times each, otherwise a whole write arrives at once.
    SimLine(uint8_t speed, bool wireTiming);

    // Unsigned tick counts wrap; compare them by difference.
    static bool atOrAfter(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) >= 0; }
    static uint32_t later(uint32_t a, uint32_t b) { return atOrAfter(a, b) ? a : b; }

    // Called with the body of each intact frame the chronometer hears, and when.
    using FrameSink = std::function<void(const std::vector<uint8_t>& body, uint32_t atMs)>;
    // Bytes the host wrote at hostBps, from nowMs on.
    void receive(const uint8_t* data, size_t size, uint32_t hostBps, uint32_t nowMs,
                 const FrameSink& onFrame);
    // The next queued byte due at nowMs as a host at hostBps reads it.
    bool deliver(uint32_t nowMs, uint32_t hostBps, uint8_t& byte);
    bool hasQueued() const { return !out_.empty(); }
    // When the next queued byte is due; UINT32_MAX when none is.
    uint32_t nextQueuedMs() const { return out_.empty() ? UINT32_MAX : out_.front().due; }
    // Drops queued bytes due at or before nowMs.
    void discardDue(uint32_t nowMs);
    // Applies a speed switch whose time has come, and the end of the deafness after it.
    void advanceTo(uint32_t nowMs);

    // When bytes queued for atMs start to leave: at once, or once the line is free.
    uint32_t sendStart(uint32_t atMs) const { return later(atMs, txLineFreeAt_); }
    // Queues bytes from sendStart(atMs), at the current speed.
    void send(const std::vector<uint8_t>& bytes, uint32_t atMs);
    // count bytes of noise without flags.
    std::vector<uint8_t> noise(size_t count);
    // After the bytes queued so far have left (or at atMs if that is later), the
    // chronometer listens at speed index and is deaf for settleMs.
    void switchAfterSent(uint8_t index, uint32_t settleMs, uint32_t atMs);
    // When the last queued byte leaves.
    uint32_t txFreeAtMs() const { return txLineFreeAt_; }

    // The line drops: nothing more is sent or heard.
    void close();
    bool closed() const { return closed_; }
    uint8_t speed() const { return speed_; }
    int badFrames() const { return badFrames_; }

  private:
    struct Outgoing {
        uint32_t due;
        uint8_t byte;
        uint32_t bps;
    };

    // Turns a byte sent at fromBps into what a receiver at toBps reads; false
    // when the receiver never sees it.
    bool garble(uint8_t& byte, uint32_t fromBps, uint32_t toBps);
    uint8_t noiseByte();

    const bool wireTiming_;
    uint8_t speed_;
    bool pendingSpeed_ = false;
    uint8_t nextSpeed_ = 0;
    uint32_t switchAtMs_ = 0;
    uint32_t switchSettleMs_ = 0;  // deaf this long after the pending switch
    bool settling_ = false;
    uint32_t settledAtMs_ = 0;
    bool closed_ = false;

    FrameDecoder decoder_;
    int badFrames_ = 0;
    uint32_t rxLineFreeAt_ = 0;
    uint32_t txLineFreeAt_ = 0;
    std::deque<Outgoing> out_;
    uint32_t dropCounter_ = 0;
    uint32_t noise_ = 0x1234567;
};

}  // namespace zor::sim
