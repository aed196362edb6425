#include "updatefile/loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/file.h"
#include "updatefile/crc16.h"
#include "updatefile/unit_assert.h"

namespace zor {
namespace {

// The hourglass for one segment, restored however the segment ends.
class BusyCursor {
  public:
    explicit BusyCursor(const std::function<void(bool)>& busy) : busy_(busy) {
        if (busy_)
            busy_(true);
    }
    ~BusyCursor() {
        if (busy_)
            busy_(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    const std::function<void(bool)>& busy_;
};

std::string trimTrailingControls(const char* text, size_t length) {
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= 32)
        --length;
    return std::string(text, length);
}

std::string formatIdentifier(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X-%04X", static_cast<unsigned>(id >> 16),
                  static_cast<unsigned>(id & 0xFFFF));
    return buf;
}

// Blocks are checked through a piece of this size before a segment gets a
// buffer of its own: the header's SegSize (or "the whole file") is only a
// claim, and a damaged or hostile file would otherwise cost memory for its
// whole length, up to 4 GiB, before the check refused it.
constexpr size_t CHECK_PIECE = 64 * 1024;

struct LoadState {
    UpdateTable& components;
    std::string& versionLines;
    std::string& identifier;
    const std::function<void(bool)>& busy;
    UpdateFileFault fault;
    std::string detail;  // ReadError: what went wrong
    size_t segmentiLetti = 0;
    // The second reader of the same file, which fetches a segment's blocks
    // once they have passed the check; it only ever moves forward, to the
    // segments the first one accepted.
    File& again;
    uint64_t againAt = 0;
    uint64_t fileSize = 0;
    uint64_t position = 0;  // of the first reader, counted from the file's start
    std::vector<uint8_t> piece = std::vector<uint8_t>(CHECK_PIECE);
};

// Runs the CRC over bytes bytes from file, a piece at a time; false when the
// file ends or fails before them.
bool crcOver(File& file, uint64_t bytes, std::vector<uint8_t>& piece, uint16_t& reg) {
    while (bytes > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(bytes, piece.size()));
        size_t got = 0;
        if (!file.read(piece.data(), want, got) || got != want)
            return false;
        reg = crc16Update(reg, piece.data(), want);
        bytes -= want;
    }
    return true;
}

// Reads one segment into components[segmentiLetti]. Returns 1 when it was accepted,
// 0 at the end of the file, -1 when it was refused (st.fault says why).
int readSegment(File& file, LoadState& st) {
    BusyCursor busy(st.busy);
    UpdateTable& components = st.components;
    const size_t segmentiLetti = st.segmentiLetti;

    // A prologue skip may run past the end: trailing bytes shorter than a
    // prologue are then simply never seen.
    if (!file.skip(PROLOGUE_SIZE))
        return -1;
    st.position += PROLOGUE_SIZE;
    const uint64_t headerAt = st.position;

    if (segmentiLetti < UPDATE_SLOTS) {
        // The reported texts are the ones this unit has always reported.
        ZOR_ASSERT_TEXT("GestFile", !components[segmentiLetti].hasData(),
                        "pgm[segmentiLetti].datiSize == 0");
        ZOR_ASSERT_TEXT("GestFile", components[segmentiLetti].dati.empty(),
                        "pgm[segmentiLetti].dati == NULL");
    }

    uint8_t raw[HEADER_SIZE] = {};
    size_t got = 0;
    if (!file.read(raw, sizeof raw, got))
        return -1;
    if (got == 0)
        return 0;
    // The table has no slot for an eleventh component.
    if (segmentiLetti >= UPDATE_SLOTS)
        return -1;

    Segmento& seg = components[segmentiLetti];
    seg.setHeader(raw);
    if (got != HEADER_SIZE || std::memcmp(raw + HDR_MAGIC, UPDATE_MAGIC, sizeof UPDATE_MAGIC) != 0)
        return -1;
    st.position += HEADER_SIZE;

    st.versionLines += trimTrailingControls(seg.Version.data(), seg.Version.size()) + "\r\n";
    st.identifier = formatIdentifier(seg.ID);

    // SegSize counts the whole segment; the CRC check below finds where the
    // data really ends, so a size that leaves a partial block is tolerated
    // and its remainder becomes part of the next prologue.
    const uint32_t size = static_cast<uint32_t>(st.fileSize);
    const uint32_t length = seg.SegSize == SEGSIZE_WHOLE_FILE ? size : seg.SegSize;
    if (length > size || length < MIN_SEGMENT_SIZE)
        return -1;
    const uint32_t n = static_cast<uint32_t>((length - MIN_SEGMENT_SIZE) / BLOCK_SIZE);
    const uint64_t dataBytes = uint64_t{n} * BLOCK_SIZE;
    // Blocks the file cannot hold are refused before any is read ("the whole
    // file" in a later segment, a SegSize beyond what is left).
    if (st.position + dataBytes + CHECK_SIZE > st.fileSize)
        return -1;

    uint16_t reg = CRC16_INIT;
    uint8_t check[CHECK_SIZE];
    if (!crcOver(file, dataBytes, st.piece, reg) || !file.read(check, sizeof check, got) ||
        got != sizeof check)
        return -1;
    st.position += dataBytes + CHECK_SIZE;
    reg = crc16Update(reg, check, sizeof check);
    if (reg != CRC16_GOOD)
        return -1;

    seg.InfoType ^= 0xFFFF;
    // Known type codes fit in the low 4 bits; bits 4..7 mark a newer format.
    if ((seg.InfoType & 0xF0) != 0) {
        st.fault = UpdateFileFault::NewerFormat;
        return -1;
    }

    // The blocks passed: now they get their buffer, filled by the second
    // reader in one call. The file may have changed since the check, so the
    // header must read the same and the blocks must pass again.
    std::vector<uint8_t> buffer(static_cast<size_t>(dataBytes));
    uint8_t rawAgain[HEADER_SIZE];
    if (!st.again.skip(headerAt - st.againAt) || !st.again.read(rawAgain, sizeof rawAgain, got) ||
        got != sizeof rawAgain || std::memcmp(rawAgain, raw, sizeof raw) != 0 ||
        !st.again.read(buffer.data(), buffer.size(), got) || got != buffer.size() ||
        !st.again.read(check, sizeof check, got) || got != sizeof check)
        return -1;
    st.againAt = st.position;
    reg = crc16Update(crc16Update(CRC16_INIT, buffer.data(), buffer.size()), check, sizeof check);
    if (reg != CRC16_GOOD)
        return -1;

    seg.datiSize = n;
    seg.dati = std::move(buffer);
    ++st.segmentiLetti;
    return 1;
}

bool readSegments(File& file, LoadState& st) {
    // The format counts sizes in 32 bits; a larger file would be misread.
    if (!file.size(st.fileSize) || st.fileSize > UINT32_MAX)
        return false;
    if (st.fileSize <= PROLOGUE_SIZE + HEADER_SIZE)
        return false;
    for (;;) {
        const int r = readSegment(file, st);
        if (r < 0)
            return false;
        if (r == 0)
            return st.segmentiLetti > 0;
    }
}

}  // namespace

Outcome ReadUpdateFile(const std::string& fileName, UpdateTable& components,
                       std::string& versionLines, std::string& identifier, size_t* segmentsRead,
                       const std::function<void(bool)>& busy) {
    versionLines.clear();
    identifier.clear();
    bool loaded = false;

    // Both readers are opened together, before anything is read: on Windows
    // the first one's share mode already keeps writers out.
    int openError = 0;
    File file = File::openRead(fileName, openError);
    File again;
    if (file.isOpen())
        again = File::openRead(fileName, openError);
    if (!again.isOpen()) {
        if (segmentsRead)
            *segmentsRead = 0;
        return Outcome::fileNotOpened(openError);
    }
    LoadState st{components, versionLines, identifier, busy, UpdateFileFault::NotUpdateFile, {},
                 0,          again};
    try {
        loaded = readSegments(file, st);
    } catch (const std::exception& e) {
        st.fault = UpdateFileFault::ReadError;
        st.detail = e.what();
        loaded = false;
    }
    file.close();
    again.close();

    if (segmentsRead)
        *segmentsRead = st.segmentiLetti;
    return loaded ? Outcome::success() : Outcome::fileRefused(st.fault, st.detail);
}

Outcome LoadUpdateFile(const std::string& fileName, UpdateTable& components,
                       std::string& versionLines, std::string& identifier, size_t* segmentsRead,
                       const std::function<void(bool)>& busy) {
    emptyTable(components);
    return ReadUpdateFile(fileName, components, versionLines, identifier, segmentsRead, busy);
}

}  // namespace zor
