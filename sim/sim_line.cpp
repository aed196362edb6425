#include "sim/sim_line.h"

namespace zor::sim {

namespace {

// Time the line needs for count bytes of 10 bits each.
uint32_t lineMs(size_t count, uint32_t bps) {
    if (bps == 0) {
        bps = 9600;
    }
    return static_cast<uint32_t>((count * 10000 + bps - 1) / bps);
}

}  // namespace

uint32_t speedBps(uint8_t index) {
    switch (index) {
        case 0:
            return 19200;
        case 1:
            return 38400;
        case 2:
            return 57600;
        default:
            return 0;
    }
}

SimLine::SimLine(uint8_t speed, bool wireTiming) : wireTiming_(wireTiming), speed_(speed) {}

void SimLine::advanceTo(uint32_t nowMs) {
    if (pendingSpeed_ && atOrAfter(nowMs, switchAtMs_)) {
        speed_ = nextSpeed_;
        pendingSpeed_ = false;
        settling_ = switchSettleMs_ > 0;
        settledAtMs_ = switchAtMs_ + switchSettleMs_;
        // Whatever was half-heard at the old speed is gone with the old setting.
        decoder_.reset();
    }
    if (settling_ && atOrAfter(nowMs, settledAtMs_)) {
        settling_ = false;
    }
}

uint8_t SimLine::noiseByte() {
    noise_ = noise_ * 1103515245u + 12345u;
    return static_cast<uint8_t>(0x80 | (noise_ >> 16));
}

bool SimLine::garble(uint8_t& byte, uint32_t fromBps, uint32_t toBps) {
    // A receiver slower than the sender sees several bits per sample and
    // misses start bits: fewer bytes arrive. Either way the bits are wrong, and
    // the samples of a mark-heavy line read high, so no flag or escape ever
    // comes through.
    // A receiver that has not been given a speed hears nothing.
    if (toBps == 0)
        return false;
    if (toBps < fromBps) {
        uint32_t keepEvery = (fromBps + toBps / 2) / toBps;
        if (keepEvery > 1 && (dropCounter_++ % keepEvery) != 0) {
            return false;
        }
    }
    noise_ = noise_ * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(0x80 | ((byte ^ (noise_ >> 16)) & 0x7F));
    return true;
}

void SimLine::receive(const uint8_t* data, size_t size, uint32_t hostBps, uint32_t nowMs,
                      const FrameSink& onFrame) {
    if (closed_) {
        return;
    }
    uint32_t start = wireTiming_ ? later(nowMs, rxLineFreeAt_) : nowMs;
    uint32_t at = start;
    for (size_t i = 0; i < size && !closed_; ++i) {
        at = wireTiming_ ? start + lineMs(i + 1, hostBps) : nowMs;
        advanceTo(at);
        if (settling_) {
            continue;  // the UART is being reprogrammed: the byte is lost
        }
        uint8_t b = data[i];
        uint32_t mine = speedBps(speed_);
        if (hostBps != mine && !garble(b, hostBps, mine)) {
            continue;
        }
        switch (decoder_.push(b)) {
            case FrameDecoder::Result::Frame:
                onFrame(decoder_.body(), at);
                break;
            case FrameDecoder::Result::BadFrame:
                ++badFrames_;
                break;
            case FrameDecoder::Result::None:
                break;
        }
    }
    if (wireTiming_) {
        rxLineFreeAt_ = at;
    }
}

bool SimLine::deliver(uint32_t nowMs, uint32_t hostBps, uint8_t& byte) {
    while (!closed_ && !out_.empty() && atOrAfter(nowMs, out_.front().due)) {
        Outgoing o = out_.front();
        out_.pop_front();
        uint8_t b = o.byte;
        if (o.bps != hostBps && !garble(b, o.bps, hostBps)) {
            continue;
        }
        byte = b;
        return true;
    }
    return false;
}

void SimLine::discardDue(uint32_t nowMs) {
    while (!out_.empty() && atOrAfter(nowMs, out_.front().due)) {
        out_.pop_front();
    }
}

void SimLine::send(const std::vector<uint8_t>& bytes, uint32_t atMs) {
    const uint32_t bps = speedBps(speed_);
    const uint32_t start = sendStart(atMs);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t due = wireTiming_ ? start + lineMs(i + 1, bps) : start;
        out_.push_back({due, bytes[i], bps});
        txLineFreeAt_ = due;
    }
}

std::vector<uint8_t> SimLine::noise(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) {
        b = noiseByte();
    }
    return bytes;
}

void SimLine::switchAfterSent(uint8_t index, uint32_t settleMs, uint32_t atMs) {
    pendingSpeed_ = true;
    nextSpeed_ = index;
    switchSettleMs_ = settleMs;
    switchAtMs_ = later(txLineFreeAt_, atMs);
}

void SimLine::close() {
    closed_ = true;
    out_.clear();
}

}  // namespace zor::sim
