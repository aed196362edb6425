#include "link/serial_link.h"

#include <algorithm>

#include "updatefile/crc16.h"
#include "updatefile/unit_assert.h"

namespace zor {

using namespace proto;

namespace {
// Trace bytes kept for one received frame: a whole stuffed frame of the largest
// receivable size, plus slack. Longer runs of garbage are traced cut.
constexpr size_t TRACE_LIMIT = 2 * RX_BUFFER_SIZE + 16;

// The limits of a command's answer, by its letter.
CommandLimit answerLimit(const uint8_t* bytes, size_t size, uint32_t timeoutMs) {
    for (size_t i = 0; size > 0 && i < sizeof COMMANDS / sizeof COMMANDS[0]; ++i) {
        if (COMMANDS[i].letter == bytes[0])
            return LIMITS[i];
    }
    return singleAnswerLimit(timeoutMs);
}
}  // namespace

int answerCode(const std::string& text) {
    if (text.size() < 3)
        return CODE_NOT_A_NUMBER;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return CODE_NOT_A_NUMBER;
        code = code * 10 + (c - '0');
    }
    return code;
}

std::string answerTextOf(const uint8_t* body, size_t count, size_t from) {
    std::string text;
    for (size_t i = from; i < count && body[i] != 0 && text.size() < MAX_ANSWER_TEXT; ++i) {
        text += static_cast<char>(body[i]);
    }
    return text;
}

SerialLink::SerialLink(SerialDeviceOpener& devices, Clock& clock)
    : devices_(devices), clock_(clock) {}

SerialLink::~SerialLink() = default;

Outcome SerialLink::RsOpen(const std::string& name) {
    RsClose();
    OpenResult opened = devices_.open(name, false);
    if (!opened.port)
        return Outcome::portOpenFailed(opened.failure, opened.osError);
    port_ = std::move(opened.port);
    lineLost_ = false;
    if (RsSetSpeed(SPEED_NORMAL)) {
        RsResetReceiver();
        return Outcome::success();
    }
    port_.reset();
    return Outcome::portConfigureFailed(configureError_);
}

bool SerialLink::RsSetSpeed(uint8_t speedIndex) {
    if (!port_)
        return false;
    ZOR_ASSERT_TEXT("Comunic", speedIndex < SPEED_COUNT, "false");
    const bool ok = port_->configure(SPEEDS[speedIndex]);
    configureError_ = ok ? 0 : port_->lastError();
    if (ok)
        lineSpeed_ = SPEEDS[speedIndex];
    RsPurge();
    return ok;
}

void SerialLink::RsPurge() {
    if (!port_)
        return;
    port_->purge();
    RsResetReceiver();
}

void SerialLink::RsClose() {
    port_.reset();
    lineSpeed_ = 0;
}

void SerialLink::RsResetReceiver() {
    rxHunt_ = true;
    rxEscape_ = 0;
}

bool SerialLink::RsSendFrame(const uint8_t* body, size_t size) {
    // A new exchange: whatever limited the last answer is over.
    limited_ = false;
    txCount_ = 0;
    bool fits = true;
    auto put = [&](uint8_t b) {
        if (txCount_ < tx_.size()) {
            tx_[txCount_++] = b;
        } else {
            fits = false;
        }
    };
    auto putStuffed = [&](uint8_t b) {
        if (b == FLAG || b == ESCAPE) {
            put(ESCAPE);
            put(b ^ ESCAPE_XOR);
        } else {
            put(b);
        }
    };
    put(FLAG);
    uint16_t fcs = CRC16_INIT;
    for (size_t i = 0; i < size && fits; ++i) {
        fcs = crc16Byte(fcs, body[i]);
        putStuffed(body[i]);
    }
    const uint16_t check = fcs ^ 0xFFFF;
    putStuffed(static_cast<uint8_t>(check & 0xFF));
    putStuffed(static_cast<uint8_t>(check >> 8));
    put(FLAG);
    if (!fits || !port_)
        return false;
    // Traced with the time the write began: a stalled line can keep it for
    // seconds.
    const uint32_t tick = clock_.tickMs();
    bytesSent_ += txCount_;
    const bool written = port_->write(tx_.data(), txCount_);
    if (trace_)
        trace_(written ? TraceKind::Sent : TraceKind::SendFailed, tx_.data(), txCount_, tick);
    return written;
}

bool SerialLink::RsSendCommand(const uint8_t* bytes, size_t size) {
    // The largest command ('E' + 259 bytes) is far below this; anything that
    // does not fit would not fit the transmit buffer either.
    std::array<uint8_t, TX_BUFFER_SIZE> body;
    if (size + 2 > body.size())
        return false;
    body[0] = HDR_STATION;
    body[1] = HDR_ANSWER;
    std::copy(bytes, bytes + size, body.begin() + 2);
    return RsSendFrame(body.data(), size + 2);
}

void SerialLink::traceRaw(uint8_t byte) {
    if (traceBytes_.size() < TRACE_LIMIT)
        traceBytes_ += static_cast<char>(byte);
}

void SerialLink::emitTrace(TraceKind kind) {
    trace_(kind, reinterpret_cast<const uint8_t*>(traceBytes_.data()), traceBytes_.size(),
           clock_.tickMs());
}

void SerialLink::RsLimitAnswer(const CommandLimit& limit) {
    limited_ = true;
    limitStartMs_ = clock_.tickMs();
    limitMs_ = limit.overallMs;
    framesLeft_ = limit.maxFrames;
}

bool SerialLink::RsReceiveFrame(uint32_t timeoutMs) {
    rxCount_ = 0;
    if (!port_ || (limited_ && framesLeft_ == 0))
        return false;
    // Bytes that keep coming restart the idle wait, never the answer's limit.
    // The clock is read once a byte (or once an empty read).
    auto withinLimit = [this](uint32_t now) {
        return !limited_ || static_cast<uint32_t>(now - limitStartMs_) < limitMs_;
    };
    // count keeps counting past the buffer so that the closing flag of an
    // oversize frame is still recognised as the end of a (dropped) frame.
    size_t count = 0;
    bool oversize = false;
    uint16_t fcs = CRC16_INIT;
    uint32_t now = clock_.tickMs();
    uint32_t start = now;
    while (static_cast<uint32_t>(now - start) < timeoutMs && withinLimit(now)) {
        uint8_t byte = 0;
        const int got = port_->readByte(byte);
        now = clock_.tickMs();
        // A failed read does not get better by asking again within the wait (a
        // vanished adapter, a closed pty answer at once): no answer.
        if (got < 0) {
            lineLost_ = true;
            return false;
        }
        if (got == 0)
            continue;
        start = now;
        ++bytesReceived_;
        if (trace_)
            traceRaw(byte);

        if (byte == ESCAPE) {
            rxEscape_ = ESCAPE_XOR;
            continue;
        }
        if (byte == FLAG) {
            if (rxEscape_ == 0 && count > 2) {
                rxEscape_ = 0;
                rxHunt_ = false;
                const bool good = !oversize && fcs == CRC16_GOOD;
                if (trace_) {
                    emitTrace(oversize ? TraceKind::Oversize
                              : good   ? TraceKind::Received
                                       : TraceKind::BadCheck);
                    traceBytes_.assign(1, static_cast<char>(FLAG));
                }
                rxCount_ = good ? count - 2 : 0;
                if (good && limited_)
                    --framesLeft_;
                return good;
            }
            // The opening flag, a flag after fewer than three bytes, or 7D 7E,
            // which is how the chronometer aborts a frame: start over.
            if (trace_) {
                const bool junk =
                    std::any_of(traceBytes_.begin(), traceBytes_.end() - 1,
                                [](char c) { return static_cast<uint8_t>(c) != FLAG; });
                if (junk) {
                    traceBytes_.pop_back();
                    emitTrace(TraceKind::Discarded);
                }
                traceBytes_.assign(1, static_cast<char>(FLAG));
            }
            rxEscape_ = 0;
            count = 0;
            oversize = false;
            rxHunt_ = false;
            fcs = CRC16_INIT;
            continue;
        }
        if (!rxHunt_) {
            const uint8_t data = byte ^ rxEscape_;
            if (count < rx_.size()) {
                rx_[count] = data;
            } else {
                oversize = true;
            }
            ++count;
            fcs = crc16Byte(fcs, data);
        }
        rxEscape_ = 0;
    }
    return false;
}

bool SerialLink::RsReceiveAnswer(uint32_t timeoutMs, std::string& text) {
    for (;;) {
        if (!RsReceiveFrame(timeoutMs))
            return false;
        if (rxCount_ >= 2 && rx_[0] == HDR_STATION && rx_[1] == HDR_ANSWER) {
            text = answerTextOf(rx_.data(), rxCount_, 2);
            return true;
        }
    }
}

int SerialLink::RsCommand(const uint8_t* bytes, size_t size, uint32_t timeoutMs) {
    lastAnswer_ = NO_ANSWER_TEXT;
    // An answer that came after its command had given up on it (a damaged
    // frame or noise ahead of it ended that wait) must not pass for this
    // command's answer: whatever the line holds now is stale.
    RsPurge();
    RsSendCommand(bytes, size);
    RsLimitAnswer(answerLimit(bytes, size, timeoutMs));
    std::string text;
    if (!RsReceiveAnswer(timeoutMs, text))
        return CODE_NO_ANSWER;
    lastAnswer_ = text;
    return answerCode(text);
}

int SerialLink::RsCommand(const std::string& bytes, uint32_t timeoutMs) {
    return RsCommand(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), timeoutMs);
}

void SerialLink::RsDisplay(const std::string& text) {
    const CommandInfo& display = command(Cmd::Display);
    RsCommand(std::string(1, static_cast<char>(display.letter)) + text, display.timeoutMs);
}

}  // namespace zor
