#include "updatefile/update_writer.h"

#include <filesystem>
#include <fstream>

#include "updatefile/crc16.h"
#include "updatefile/segment.h"

namespace zor {
namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    put16(out, at, static_cast<uint16_t>(v));
    put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

void appendSegment(std::vector<uint8_t>& out, const ComponentSpec& c) {
    std::vector<uint8_t> prologue = c.prologue;
    prologue.resize(PROLOGUE_SIZE, 0);
    out.insert(out.end(), prologue.begin(), prologue.end());

    std::vector<uint8_t> header(HEADER_SIZE, 0);
    for (size_t i = 0; i < 8 && i < c.magic.size(); ++i)
        header[HDR_MAGIC + i] = static_cast<uint8_t>(c.magic[i]);
    for (size_t i = 0; i < VERSION_SIZE; ++i)
        header[HDR_VERSION + i] =
            static_cast<uint8_t>(i < c.version.size() ? c.version[i] : c.versionPad);
    const size_t blocks = c.data.size() / BLOCK_SIZE;
    switch (c.segSize.kind) {
        case SegSizeField::Exact:
            put32(header, HDR_SEGSIZE, exactSegmentSize(blocks));
            break;
        case SegSizeField::Blanks:
            put32(header, HDR_SEGSIZE, SEGSIZE_WHOLE_FILE);
            break;
        case SegSizeField::Value:
            put32(header, HDR_SEGSIZE, c.segSize.value);
            break;
    }
    put16(header, HDR_POSN, c.posn);
    put16(header, HDR_INFOTYPE, static_cast<uint16_t>(~c.infoType));
    put16(header, HDR_BLKS, c.blks);
    put32(header, HDR_ID, c.id);
    out.insert(out.end(), header.begin(), header.end());

    const uint16_t check =
        static_cast<uint16_t>(crc16Update(CRC16_INIT, c.data.data(), c.data.size()) ^ 0xFFFF);
    const size_t dataAt = out.size();
    out.insert(out.end(), c.data.begin(), c.data.end());
    if (c.flipDataBit)
        out[dataAt + *c.flipDataBit / 8] ^= static_cast<uint8_t>(1u << (*c.flipDataBit % 8));
    const uint16_t stored =
        c.flipCheckBit ? static_cast<uint16_t>(check ^ (1u << *c.flipCheckBit)) : check;
    out.push_back(static_cast<uint8_t>(stored));
    out.push_back(static_cast<uint8_t>(stored >> 8));
    out.insert(out.end(), c.afterCheck.begin(), c.afterCheck.end());
}

}  // namespace

std::vector<uint8_t> patternBlocks(size_t n, uint32_t seed) {
    std::vector<uint8_t> data(n * BLOCK_SIZE);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return data;
}

uint32_t exactSegmentSize(size_t blocks) {
    return static_cast<uint32_t>(MIN_SEGMENT_SIZE + BLOCK_SIZE * blocks);
}

UpdateFileWriter& UpdateFileWriter::add(const ComponentSpec& component) {
    components_.push_back(component);
    return *this;
}

UpdateFileWriter& UpdateFileWriter::trailing(const std::vector<uint8_t>& bytes) {
    trailing_.insert(trailing_.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> UpdateFileWriter::bytes() const {
    std::vector<uint8_t> out;
    for (const ComponentSpec& c : components_)
        appendSegment(out, c);
    out.insert(out.end(), trailing_.begin(), trailing_.end());
    return out;
}

bool UpdateFileWriter::writeTo(const std::string& path) const {
    return writeBytes(path, bytes());
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    // The path is UTF-8, on Windows too.
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace zor
