#include "sim/device_frame.h"

#include "updatefile/crc16.h"

namespace zor::sim {

namespace {
void putStuffed(std::vector<uint8_t>& out, uint8_t b) {
    if (b == FLAG || b == ESCAPE) {
        out.push_back(ESCAPE);
        out.push_back(static_cast<uint8_t>(b ^ 0x20));
    } else {
        out.push_back(b);
    }
}
}  // namespace

std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& body, bool corruptCheck) {
    std::vector<uint8_t> out;
    out.reserve(body.size() * 2 + 6);
    out.push_back(FLAG);
    uint16_t reg = CRC16_INIT;
    for (uint8_t b : body) {
        reg = crc16Byte(reg, b);
        putStuffed(out, b);
    }
    uint16_t check = static_cast<uint16_t>(reg ^ 0xFFFF);
    if (corruptCheck) {
        check = static_cast<uint16_t>(~check);
    }
    putStuffed(out, static_cast<uint8_t>(check & 0xFF));
    putStuffed(out, static_cast<uint8_t>(check >> 8));
    out.push_back(FLAG);
    return out;
}

FrameDecoder::Result FrameDecoder::push(uint8_t byte) {
    if (byte == FLAG) {
        Result r = Result::None;
        // An escape right before the flag is the sender's abort: drop quietly.
        if (inFrame_ && !escape_ && buf_.size() >= 3) {
            if (overflow_) {
                r = Result::BadFrame;
            } else if (crc16Update(CRC16_INIT, buf_.data(), buf_.size()) == CRC16_GOOD) {
                body_.assign(buf_.begin(), buf_.end() - 2);
                r = Result::Frame;
            } else {
                r = Result::BadFrame;
            }
        }
        inFrame_ = true;
        escape_ = false;
        overflow_ = false;
        buf_.clear();
        return r;
    }
    if (!inFrame_) {
        return Result::None;
    }
    if (byte == ESCAPE) {
        escape_ = true;
        return Result::None;
    }
    if (buf_.size() >= MAX_BODY + 2) {
        overflow_ = true;
    } else {
        buf_.push_back(static_cast<uint8_t>(escape_ ? byte ^ 0x20 : byte));
    }
    escape_ = false;
    return Result::None;
}

void FrameDecoder::reset() {
    inFrame_ = false;
    escape_ = false;
    overflow_ = false;
    buf_.clear();
}

}  // namespace zor::sim
