#pragma once
// Builds update files for tests, benchmarks and the simulator's sample file.
// Programs that load update files never link this.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zor {

// How a segment's SegSize field is written.
struct SegSizeField {
    enum Kind { Exact, Blanks, Value };
    Kind kind = Exact;
    uint32_t value = 0;  // Value only

    static SegSizeField exact() { return {Exact, 0}; }
    static SegSizeField blanks() { return {Blanks, 0}; }
    static SegSizeField of(uint32_t v) { return {Value, v}; }
};

struct ComponentSpec {
    std::string version;    // Windows-1252 text, cut or padded to 76 characters
    char versionPad = ' ';  // ' ' or '\0'
    uint16_t posn = 0;
    uint16_t infoType = 0;  // plain value; written complemented
    uint16_t blks = 1;
    uint32_t id = 0;
    std::vector<uint8_t> data;  // whole blocks of BLOCK_SIZE bytes
    SegSizeField segSize;
    std::string magic = "$UPDATE$";        // first 8 bytes of the header
    std::vector<uint8_t> prologue;         // cut or zero-padded to PROLOGUE_SIZE
    std::vector<uint8_t> afterCheck;       // written after the check bytes, not counted in SegSize
    std::optional<size_t> flipDataBit;     // bit index into data, flipped after the CRC is taken
    std::optional<unsigned> flipCheckBit;  // 0..15, bit of the two check bytes
};

// n blocks of a reproducible byte pattern that differs with seed.
std::vector<uint8_t> patternBlocks(size_t n, uint32_t seed = 0);

// The 678 + 260 n bytes a component occupies with an exact SegSize.
uint32_t exactSegmentSize(size_t blocks);

class UpdateFileWriter {
  public:
    UpdateFileWriter& add(const ComponentSpec& component);
    // Bytes after the last segment.
    UpdateFileWriter& trailing(const std::vector<uint8_t>& bytes);

    std::vector<uint8_t> bytes() const;
    bool writeTo(const std::string& path) const;

  private:
    std::vector<ComponentSpec> components_;
    std::vector<uint8_t> trailing_;
};

// Writes bytes to path, replacing it; false when that fails.
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace zor
