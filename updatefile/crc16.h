#pragma once
// The one checksum of the system: CRC-16/X-25 (the HDLC frame check sequence),
// used for the data blocks of update files and for every serial frame.
//
// Convention shared by all callers: start the register at CRC16_INIT, run it
// over the protected bytes, store or send register ^ 0xFFFF low byte first.
// A reader runs from CRC16_INIT over the bytes and both check bytes and
// accepts exactly when the register equals CRC16_GOOD.
#include <cstddef>
#include <cstdint>

namespace zor {

constexpr uint16_t CRC16_INIT = 0xFFFF;
constexpr uint16_t CRC16_GOOD = 0xF0B8;

extern const uint16_t crc16Table[256];

inline uint16_t crc16Byte(uint16_t reg, uint8_t byte) {
    return static_cast<uint16_t>(crc16Table[(reg ^ byte) & 0xFF] ^ (reg >> 8));
}

// Runs the register over length bytes in address order; no start value or
// final XOR is applied here.
uint16_t crc16Update(uint16_t reg, const uint8_t* data, size_t length);

}  // namespace zor
