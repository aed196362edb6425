#include "engine/time_left.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "link/downloader.h"
#include "link/protocol.h"
#include "updatefile/crc16.h"

namespace zor {

using namespace proto;

namespace {

// 8N1: a start bit, eight data bits and a stop bit per byte.
constexpr double BITS_PER_BYTE = 10.0;

// What is assumed of the chronometer until this transfer has timed it.
//
// A single answer ("001 Blocco ricevuto"): about 20 characters of text behind
// the header, with its check and flags, sent a few ms after the request's
// closing flag.
constexpr double ANSWER_FRAME_BYTES = 24;
constexpr double ANSWER_MS = 5;
// A listing line ("006 Flash image 1: block 1"), back to back with the others:
// a heading, five lines per partition and the closing "005" line.
constexpr double LISTING_LINE_BYTES = 32;
constexpr int LISTING_LINES_PER_PARTITION = 5;
constexpr int LISTING_EXTRA_LINES = 2;
// Its serial NOR flash at typical pace. 'C' erases, programs (16 pages of
// 256 bytes) and verifies each 4 KiB sector its data occupies, then rewrites
// the partition table (one sector erased and programmed); 'D' erases one
// 64 KiB block; 'J' reads every image back before it answers.
constexpr size_t SECTOR_BYTES = 4096;
constexpr double SECTOR_WORK_MS = 45 + 15 + 5;
constexpr double TABLE_REWRITE_MS = 60;
constexpr double BLOCK_ERASE_MS = 150;
constexpr double RESTART_WORK_MS = 200;

// The wire bytes of one command frame, encoded as SerialLink sends it: the
// station header and 'F', the command bytes, the complemented check low byte
// first, 0x7E and 0x7D escaped, a flag at each end.
uint32_t commandWireBytes(const uint8_t* command, size_t size) {
    uint32_t bytes = 2;
    uint16_t fcs = CRC16_INIT;
    auto put = [&bytes](uint8_t b) { bytes += (b == FLAG || b == ESCAPE) ? 2 : 1; };
    auto body = [&](uint8_t b) {
        fcs = crc16Byte(fcs, b);
        put(b);
    };
    body(HDR_STATION);
    body(HDR_ANSWER);
    for (size_t i = 0; i < size; ++i)
        body(command[i]);
    const uint16_t check = fcs ^ 0xFFFF;
    put(static_cast<uint8_t>(check & 0xFF));
    put(static_cast<uint8_t>(check >> 8));
    return bytes;
}

uint32_t commandWireBytes(std::initializer_list<uint8_t> command) {
    return commandWireBytes(command.begin(), command.size());
}

uint32_t displayWireBytes(const char* text) {
    std::string command(1, static_cast<char>(proto::command(Cmd::Display).letter));
    command += text;
    return commandWireBytes(reinterpret_cast<const uint8_t*>(command.data()), command.size());
}

}  // namespace

TimeLeft::TimeLeft(const PartitionTable& plan, uint32_t bitsPerSecond)
    : msPerByte_(BITS_PER_BYTE * 1000.0 /
                 (bitsPerSecond != 0 ? bitsPerSecond : SPEEDS[SPEED_NORMAL])) {
    // The chronometer lists the partitions it holds now; the plan keeps most
    // of them, and the listing is a small part of any transfer.
    int partitions = 0;
    for (uint8_t i = 0; i < std::min<uint8_t>(plan.count, FLASH_BLOCKS); ++i)
        partitions += plan.entries[i].type != PT_FREE;
    add(Kind::Listing, 0, commandWireBytes({command(Cmd::Listing).letter, 0x00}),
        static_cast<uint16_t>(LISTING_EXTRA_LINES + LISTING_LINES_PER_PARTITION * partitions));

    const std::vector<const PartitionEntry*> phases = transferPhases(plan);
    phases_ = static_cast<int>(phases.size());
    uint8_t phase = 0;
    // 'E' and bytes 1..259 of a data block.
    std::vector<uint8_t> data(BLOCK_SIZE);
    data[0] = command(Cmd::DataBlock).letter;
    for (const PartitionEntry* entry : phases) {
        ++phase;
        const Segmento* component = entry->component;
        switch (entry->type) {
            case PT_PGM:
            case PT_DATAREL:
            case PT_MILO: {
                // The transfer fails here without writing anything.
                if (!component || component->dati.size() < size_t{component->datiSize} * BLOCK_SIZE)
                    return;
                add(Kind::Display, phase, displayWireBytes(DISPLAY_LOADING));
                add(Kind::ProgramStart, phase,
                    commandWireBytes({command(Cmd::ProgramStart).letter, 0x00}));
                for (uint32_t b = 0; b < component->datiSize; ++b) {
                    const uint8_t* block = component->dati.data() + size_t{b} * BLOCK_SIZE;
                    std::copy(block + 1, block + BLOCK_SIZE, data.begin() + 1);
                    add(Kind::Data, phase, commandWireBytes(data.data(), data.size()));
                }
                const size_t sent = size_t{component->datiSize} * (BLOCK_SIZE - 1);
                const size_t sectors =
                    std::max<size_t>(1, (sent + SECTOR_BYTES - 1) / SECTOR_BYTES);
                add(Kind::Write, phase,
                    commandWireBytes({command(Cmd::Write).letter, entry->firstBlock}),
                    static_cast<uint16_t>(sectors));
                break;
            }
            case PT_FREE:
                for (uint8_t b = 0; b < entry->blockCount; ++b) {
                    add(Kind::Erase, phase,
                        commandWireBytes({command(Cmd::Erase).letter,
                                          static_cast<uint8_t>(entry->firstBlock + b), 0x01}));
                }
                break;
            default:
                return;
        }
    }
    add(Kind::Display, phase, displayWireBytes(DISPLAY_RESTART), 0, RESTART_PAUSE_MS);
    add(Kind::Restart, phase, commandWireBytes({command(Cmd::Restart).letter, 0x01}));
}

void TimeLeft::add(Kind kind, uint8_t phase, uint32_t bytes, uint16_t work, uint32_t pauseMs) {
    const uint64_t end = (frames_.empty() ? 0 : frames_.back().end) + bytes;
    frames_.push_back({end, bytes, kind, phase, work, pauseMs});
}

uint64_t TimeLeft::totalBytes() const {
    return frames_.empty() ? 0 : frames_.back().end;
}

double TimeLeft::turnaroundMs() const {
    return turnaroundMs(tally_);
}

double TimeLeft::turnaroundMs(const Tallies& tallies) const {
    const Tally& data = tallies[static_cast<int>(Kind::Data)];
    return data.count > 0 ? data.ms / data.count : lineMs(ANSWER_FRAME_BYTES) + ANSWER_MS;
}

double TimeLeft::flashPace(const Tallies& tallies, Kind kind) const {
    // A flash slower or quicker than assumed is so for writes and erases
    // alike, until each has been timed on its own.
    const Tally& own = tallies[static_cast<int>(kind)];
    const Tally& other = tallies[static_cast<int>(kind == Kind::Write ? Kind::Erase : Kind::Write)];
    if (own.count > 0)
        return own.ms / own.count;
    return other.count > 0 ? other.ms / other.count : 1.0;
}

double TimeLeft::flashWorkMs(const Frame& frame) const {
    switch (frame.kind) {
        case Kind::Write:
            return TABLE_REWRITE_MS + frame.work * SECTOR_WORK_MS;
        case Kind::Erase:
            return BLOCK_ERASE_MS;
        case Kind::Restart:
            return RESTART_WORK_MS;
        default:
            return 0;
    }
}

double TimeLeft::costMs(const Frame& frame, const Tallies& tallies) const {
    double beyond = turnaroundMs(tallies);
    switch (frame.kind) {
        case Kind::Listing:
            beyond += lineMs(frame.work * LISTING_LINE_BYTES);
            break;
        case Kind::Display:
        case Kind::ProgramStart: {
            const Tally& seen = tallies[static_cast<int>(frame.kind)];
            if (seen.count > 0)
                beyond = seen.ms / seen.count;
            break;
        }
        case Kind::Data:
            break;
        case Kind::Write:
        case Kind::Erase:
            beyond += flashPace(tallies, frame.kind) * flashWorkMs(frame);
            break;
        case Kind::Restart:
            beyond += flashWorkMs(frame);
            break;
    }
    return lineMs(frame.bytes) + beyond + frame.pauseMs;
}

void TimeLeft::measure(int first, int last, uint32_t elapsedMs) {
    const Kind kind = frames_[first].kind;
    double own = 0, assumedWork = 0;
    for (int i = first; i <= last; ++i) {
        // A stretch over frames of different kinds cannot be shared out.
        if (frames_[i].kind != kind)
            return;
        own += lineMs(frames_[i].bytes) + frames_[i].pauseMs;
        assumedWork += flashWorkMs(frames_[i]);
    }
    const double count = last - first + 1;
    const double beyond = std::max(0.0, elapsedMs - own);
    Tally& tally = tally_[static_cast<int>(kind)];
    switch (kind) {
        case Kind::Display:
        case Kind::ProgramStart:
            tally.ms += beyond;
            tally.count += count;
            break;
        case Kind::Write:
        case Kind::Erase:
            // The flash's pace: its work as timed against its work as assumed.
            tally.ms += std::max(0.0, beyond - count * turnaroundMs());
            tally.count += assumedWork;
            break;
        case Kind::Data:  // timed a run at a time (timeData)
        case Kind::Listing:
        case Kind::Restart:
            break;  // once per transfer: nothing to learn for later
    }
}

void TimeLeft::timeData(int at, uint32_t nowMs) {
    // Timed from the first data block seen written in a phase to the last:
    // what a reading taken late (after the answer, at a progress report) adds
    // is shared by the whole run instead of landing on one block.
    Tally& data = tally_[static_cast<int>(Kind::Data)];
    if (runFirst_ < 0 || frames_[runFirst_].phase != frames_[at].phase) {
        runFirst_ = at;
        runStartMs_ = nowMs;
        runDone_ = data;
        return;
    }
    const uint64_t bytes =
        (frames_[at].end - frames_[at].bytes) - (frames_[runFirst_].end - frames_[runFirst_].bytes);
    const double elapsed = static_cast<uint32_t>(nowMs - runStartMs_);
    data.ms = runDone_.ms + std::max(0.0, elapsed - lineMs(static_cast<double>(bytes)));
    data.count = runDone_.count + (at - runFirst_);
}

int TimeLeft::lastFrameBefore(int phase) const {
    const auto after = std::partition_point(frames_.begin(), frames_.end(),
                                            [phase](const Frame& f) { return f.phase < phase; });
    return static_cast<int>(after - frames_.begin()) - 1;
}

void TimeLeft::update(uint32_t nowMs, uint64_t bytesSent, int phase, int phaseCount) {
    if (!started_) {
        started_ = true;
        sentAtMs_ = nowMs;
    }
    // The last frame written whole.
    const auto after =
        std::upper_bound(frames_.begin(), frames_.end(), bytesSent,
                         [](uint64_t bytes, const Frame& f) { return bytes < f.end; });
    int at = static_cast<int>(after - frames_.begin()) - 1;
    // A phase begins once every frame of the phases before it has been
    // answered, and none of its successors' has been written. Phases counted
    // otherwise than the plan's (a transfer without phases reports one) say
    // nothing.
    bool answered = false;
    if (phaseCount == std::max(phases_, 1) && phase >= 1 && phase <= phases_) {
        const int before = lastFrameBefore(phase);
        at = std::min(std::max(at, before), lastFrameBefore(phase + 1));
        answered = at == before;
    }
    if (at > index_) {
        if (index_ >= 0)
            measure(index_, at - 1, nowMs - sentAtMs_);
        if (frames_[at].kind == Kind::Data)
            timeData(at, nowMs);
        index_ = at;
        sentAtMs_ = nowMs;
        answered_ = false;
    }
    if (answered && at == index_)
        answered_ = true;
}

int64_t TimeLeft::leftMs(uint32_t nowMs) const {
    // Known once the line has carried one whole exchange of this transfer.
    if (!started_ || index_ < 1)
        return -1;
    const Frame& current = frames_[static_cast<size_t>(index_)];
    const double running = answered_ ? 0 : static_cast<uint32_t>(nowMs - sentAtMs_);
    const double currentMs = costMs(current, tally_);
    // A write or erase that has already taken longer than assumed shows the
    // flash slower than assumed: what it has taken so far counts for the flash
    // work still to come as if it had ended now.
    Tallies tallies = tally_;
    if ((current.kind == Kind::Write || current.kind == Kind::Erase) && running > currentMs) {
        Tally& tally = tallies[static_cast<int>(current.kind)];
        tally.ms += running - lineMs(current.bytes) - turnaroundMs();
        tally.count += flashWorkMs(current);
    }
    double left = std::max(0.0, currentMs - running);
    // Data blocks follow one another without a pause of the chronometer: time
    // beyond the block last seen written went to the blocks after it, even
    // when the owner reads the bytes only now and then.
    double beyond = current.kind == Kind::Data ? std::max(0.0, running - currentMs) : 0.0;
    for (size_t i = static_cast<size_t>(index_) + 1; i < frames_.size(); ++i) {
        const double cost = costMs(frames_[i], tallies);
        if (frames_[i].kind != Kind::Data)
            beyond = 0;
        const double spent = std::min(cost, beyond);
        beyond -= spent;
        left += cost - spent;
    }
    return std::llround(left);
}

}  // namespace zor
