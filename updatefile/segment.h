#pragma once
// One component of a loaded update file and the program-wide table of them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor {

constexpr size_t UPDATE_SLOTS = 10;
constexpr size_t BLOCK_SIZE = 260;     // one data block of a component
constexpr size_t PROLOGUE_SIZE = 512;  // skipped, never interpreted
constexpr size_t HEADER_SIZE = 164;
constexpr size_t VERSION_SIZE = 76;
constexpr size_t CHECK_SIZE = 2;
constexpr size_t MIN_SEGMENT_SIZE = PROLOGUE_SIZE + HEADER_SIZE + CHECK_SIZE;  // 678
constexpr uint32_t SEGSIZE_WHOLE_FILE = 0x20202020;  // four blanks: "the whole file"

// Header offsets (little-endian fields).
constexpr size_t HDR_MAGIC = 0;
constexpr size_t HDR_VERSION = 72;
constexpr size_t HDR_SEGSIZE = 148;
constexpr size_t HDR_POSN = 152;
constexpr size_t HDR_INFOTYPE = 154;  // stored as its ones' complement
constexpr size_t HDR_BLKS = 156;
constexpr size_t HDR_ID = 160;

extern const char UPDATE_MAGIC[8];  // "$UPDATE$", no terminator

struct Segmento {
    // The 164 header bytes as read, except InfoType, which holds the plain
    // (un-complemented) value once the segment is accepted.
    std::array<char, 8> Magic{};
    std::array<uint8_t, 64> reserved1{};
    std::array<char, VERSION_SIZE> Version{};  // Windows-1252, blank or NUL padded
    uint32_t SegSize = 0;
    uint16_t Posn = 0;      // low 4 bits: first flash block wanted
    uint16_t InfoType = 0;  // low 4 bits: partition type (PGM 0, DATAREL 1, MILO 8)
    uint16_t Blks = 0;      // low 8 bits: length in flash blocks
    uint16_t reserved2 = 0;
    uint32_t ID = 0;

    // Number of BLOCK_SIZE blocks in dati; 0 marks an empty slot.
    uint32_t datiSize = 0;
    std::vector<uint8_t> dati;

    // The full 76-character component text, padding included.
    std::string versionText() const { return std::string(Version.data(), Version.size()); }
    // Fills the header fields from 164 raw bytes (InfoType as stored).
    void setHeader(const uint8_t* raw);
    // Whether the slot holds a component read from a file (an empty slot has
    // no data blocks).
    bool hasData() const { return datiSize != 0; }
    // Releases the data and marks the slot empty.
    void clear();
};

using UpdateTable = std::array<Segmento, UPDATE_SLOTS>;

void emptyTable(UpdateTable& components);

}  // namespace zor
