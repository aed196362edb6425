#pragma once
// The chronometer's side of the wire format: flag 0x7E, escape 0x7D with the
// next byte XOR 0x20, CRC-16/X-25 over the unstuffed body, check bytes low
// first. Written apart from the host's framing on purpose, so that a framing
// mistake on one side is not mirrored on the other.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zor::sim {

constexpr uint8_t FLAG = 0x7E;
constexpr uint8_t ESCAPE = 0x7D;

// The bytes on the line for one body: flag, stuffed body, stuffed check bytes,
// flag. With corruptCheck the check bytes are inverted, so the far end rejects
// the frame.
std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& body, bool corruptCheck = false);

// Byte-at-a-time receiver. Drops everything until a flag; a flag closes the
// frame in progress and opens the next (two frames may share one flag).
class FrameDecoder {
  public:
    enum class Result {
        None,      // nothing complete yet
        Frame,     // body() holds an intact frame's body
        BadFrame,  // a frame closed with a wrong check or overlong
    };
    static constexpr size_t MAX_BODY = 1024;

    Result push(uint8_t byte);
    const std::vector<uint8_t>& body() const { return body_; }
    // Back to hunting for a flag.
    void reset();

  private:
    bool inFrame_ = false;
    bool escape_ = false;
    bool overflow_ = false;
    std::vector<uint8_t> buf_;
    std::vector<uint8_t> body_;
};

}  // namespace zor::sim
