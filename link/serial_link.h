#pragma once
// Comunic: the one serial link to the chronometer. Port configuration, the
// framed request/answer exchange and lastAnswer.
//
// Frames on the wire: 0x7E, body, complemented CRC-16 of the body low byte
// first, 0x7E; 0x7E and 0x7D inside are sent as 0x7D, byte ^ 0x20.
//
// One instance per session (the wizard's, each command's, each station
// port's), passed by reference. Not thread-safe: the main thread and the
// transfer worker take turns, never overlap.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/outcome.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace zor {

enum class TraceKind {
    Sent,        // an encoded frame as written
    SendFailed,  // an encoded frame the port did not take (a write error, a stalled line)
    Received,    // an accepted frame, wire bytes from flag to flag
    BadCheck,    // a complete frame whose check failed
    Oversize,    // a frame longer than the receive buffer, dropped
    Discarded,   // bytes dropped: before the first flag, an aborted frame
};

// Called with the wire bytes of each frame sent or received and the tick at
// which it was written or completed. Only for diagnostics; may be empty.
using TraceHook =
    std::function<void(TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tickMs)>;

// The first three characters as a decimal number; CODE_NOT_A_NUMBER unless
// they are three ASCII digits.
int answerCode(const std::string& text);

// Body bytes from `from` on, up to the first zero byte and at most
// MAX_ANSWER_TEXT bytes (longer texts are cut, never overrun).
std::string answerTextOf(const uint8_t* body, size_t count, size_t from);

class SerialLink {
  public:
    SerialLink(SerialDeviceOpener& devices, Clock& clock);
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // ---- Port -------------------------------------------------------------

    // Closes any open port, opens name ("COMn" or a path) exclusively and sets
    // 19200 8N1. PortOpenFailed with the OS's error when it will not open;
    // PortConfigureFailed, with the port closed again, when it refuses the
    // settings. The receiver hunts afterwards.
    Outcome RsOpen(const std::string& name);
    // Speed index 0..2 (19200/38400/57600); anything else is a programming
    // error (assertion, unit Comunic). False without a message when no port is
    // open or the driver refuses. Purges in every case with a port open.
    bool RsSetSpeed(uint8_t speedIndex);
    // Discards pending data both ways and makes the receiver hunt for a flag.
    void RsPurge();
    void RsClose();
    void RsResetReceiver();
    bool RsIsOpen() const { return port_ != nullptr; }
    // A read of the open port failed since it was opened: the device went
    // away (an adapter unplugged, the far end of a pseudo-terminal closed).
    // The port stays open until closed; it will not work again.
    bool RsLineLost() const { return lineLost_; }

    // ---- Frames -----------------------------------------------------------

    // Encodes and writes one frame. Bodies that would not fit the transmit
    // buffer (proto::TX_BUFFER_SIZE) once stuffed are refused (false,
    // nothing written). False too when the port's write fails (traced as
    // SendFailed, not Sent).
    bool RsSendFrame(const uint8_t* body, size_t size);
    // RsSendFrame of 0x01 0x46 followed by the command bytes.
    bool RsSendCommand(const uint8_t* bytes, size_t size);
    // Waits for the next accepted frame; the wait restarts with every byte.
    // True with the body in rxBody()/rxCount(). False on time-out, on a
    // frame with a bad check (at once), on a frame longer than the receive
    // buffer (dropped whole, at its closing flag), on a failed port read and
    // past the answer's limits (RsLimitAnswer).
    bool RsReceiveFrame(uint32_t timeoutMs);
    // Limits everything received for the frame just sent: from now on at most
    // limit.overallMs in all and limit.maxFrames accepted frames, whatever
    // the idle waits. Past either, every wait ends as if the line had gone
    // silent. Sending the next frame lifts the limits.
    void RsLimitAnswer(const proto::CommandLimit& limit);
    // Waits for the next answer frame (0x01 0x46 ...), skipping any other
    // frame with a fresh wait; text gets the answer text (answerTextOf).
    bool RsReceiveAnswer(uint32_t timeoutMs, std::string& text);
    // Sends a command and waits for its answer: the answer code, -1 when the
    // answer does not start with three digits, -2 without an answer (also
    // past the command's limits, proto::LIMITS, found by its letter). What
    // the line held before the command (a late answer to an earlier one) is
    // discarded first, so an answer is never taken for a later command's.
    // lastAnswer is NO_ANSWER_TEXT until an answer replaces it.
    int RsCommand(const uint8_t* bytes, size_t size, uint32_t timeoutMs);
    int RsCommand(const std::string& bytes, uint32_t timeoutMs);
    // 'H' + text with the display command's wait (proto::COMMANDS); the
    // answer code is ignored.
    void RsDisplay(const std::string& text);
    std::string RsLastAnswer() const { return lastAnswer_; }
    void setLastAnswer(const std::string& text) { lastAnswer_ = text; }

    // Body of the last accepted frame (check bytes excluded).
    const uint8_t* rxBody() const { return rx_.data(); }
    size_t rxCount() const { return rxCount_; }

    // ---- Diagnostics ------------------------------------------------------

    void setTraceHook(TraceHook hook) { trace_ = std::move(hook); }
    Clock& clock() { return clock_; }
    // Line speed of the open port in bit/s, 0 when closed.
    uint32_t lineSpeed() const { return RsIsOpen() ? lineSpeed_ : 0; }
    // Wire bytes written and read since construction.
    uint64_t bytesSent() const { return bytesSent_; }
    uint64_t bytesReceived() const { return bytesReceived_; }

  private:
    void traceRaw(uint8_t byte);
    void emitTrace(TraceKind kind);

    SerialDeviceOpener& devices_;
    Clock& clock_;
    std::unique_ptr<SerialPort> port_;
    uint32_t lineSpeed_ = 0;
    int configureError_ = 0;  // the OS's error of the last refused configure
    bool lineLost_ = false;

    // Receiver state that outlives one RsReceiveFrame call.
    bool rxHunt_ = true;
    uint8_t rxEscape_ = 0;

    // Limits of the answer awaited (RsLimitAnswer); none after a send.
    bool limited_ = false;
    uint32_t limitStartMs_ = 0;
    uint32_t limitMs_ = 0;
    uint32_t framesLeft_ = 0;

    std::array<uint8_t, proto::TX_BUFFER_SIZE> tx_{};
    size_t txCount_ = 0;
    std::array<uint8_t, proto::RX_BUFFER_SIZE> rx_{};
    size_t rxCount_ = 0;
    std::string lastAnswer_;

    TraceHook trace_;
    std::string traceBytes_;  // wire bytes of the frame being received, for trace_
    uint64_t bytesSent_ = 0;
    uint64_t bytesReceived_ = 0;
};

}  // namespace zor
