#pragma once
// The time a transfer still needs, for the progress displays. Toolkit-free:
// the owner feeds it from the transfer's events on one thread and asks it
// whenever it repaints.
//
// The plan fixes every frame the host will send, byte for byte: the listing
// that proves the chronometer still answers, per written entry the loading
// text, 'F', one 'E' per data block and 'C', per erased block one 'D', then
// the restart text, the host's own pause and 'J'. Each exchange costs its
// bytes on the line plus what passes before the host sends again: the
// chronometer's turnaround and answer, its flash work for 'C', 'D' and 'J',
// the host's pause after the restart text. The bytes written so far say which
// exchange is running. Until this transfer has timed an exchange of a kind,
// the chronometer is taken at its typical figures (time_left.cpp); from then
// on at the pace measured on this line.
#include <array>
#include <cstdint>
#include <vector>

#include "flash/partition_table.h"

namespace zor {

// How long a transfer still needs: the bytes still to send at the rate measured on
// the line, plus the chronometer's known pauses still to come.
class TimeLeft {
  public:
    // plan: the planned table the transfer runs; bitsPerSecond: the line speed it starts at.
    TimeLeft(const PartitionTable& plan, uint32_t bitsPerSecond);
    // The wire bytes written since the transfer began, the phase (1-based, of phaseCount) at nowMs.
    void update(uint32_t nowMs, uint64_t bytesSent, int phase, int phaseCount);
    // Milliseconds left at nowMs; -1 while not known.
    int64_t leftMs(uint32_t nowMs) const;
    uint64_t totalBytes() const;  // the wire bytes the whole plan sends, as expected

    // The frames the plan sends, and how many of them have been written.
    size_t frameCount() const { return frames_.size(); }
    size_t framesSent() const { return static_cast<size_t>(index_ + 1); }
    // What a data-block exchange costs beyond its own bytes on the line: the
    // chronometer's turnaround and its answer. Measured once a data block has
    // been answered, assumed before.
    double turnaroundMs() const;

  private:
    enum class Kind : uint8_t { Listing, Display, ProgramStart, Data, Write, Erase, Restart };
    static constexpr int KINDS = 7;
    struct Frame {
        uint64_t end;    // wire bytes sent once this frame is written
        uint32_t bytes;  // its own wire bytes
        Kind kind;
        uint8_t phase;     // the transfer's phase index it belongs to (0: the check)
        uint16_t work;     // 'C': sectors (SECTOR_BYTES) written; listing: lines expected
        uint32_t pauseMs;  // the host's own pause after the answer
    };
    // Time measured beyond the frames' own bytes, and over how many of them
    // (for 'C' and 'D': the chronometer's flash work against what was assumed).
    struct Tally {
        double ms = 0;
        double count = 0;
    };
    using Tallies = std::array<Tally, KINDS>;

    void add(Kind kind, uint8_t phase, uint32_t bytes, uint16_t work = 0, uint32_t pauseMs = 0);
    double lineMs(double bytes) const { return bytes * msPerByte_; }
    double turnaroundMs(const Tallies& tallies) const;
    // The flash's pace for 'C' or 'D': its work as timed against its work as
    // assumed, 1 until timed.
    double flashPace(const Tallies& tallies, Kind kind) const;
    double flashWorkMs(const Frame& frame) const;  // as assumed, before any pace
    // From its write to the next write, with what has been measured.
    double costMs(const Frame& frame, const Tallies& tallies) const;
    void measure(int first, int last, uint32_t elapsedMs);
    void timeData(int at, uint32_t nowMs);
    int lastFrameBefore(int phase) const;

    std::vector<Frame> frames_;
    int phases_ = 0;  // the plan's changed entries
    double msPerByte_;

    bool started_ = false;
    int index_ = -1;         // the last frame written; -1 before the first
    uint32_t sentAtMs_ = 0;  // when it was seen written (the start before the first)
    bool answered_ = false;  // its exchange is over: a later phase has begun
    Tallies tally_{};
    // The run of data blocks being timed: its first frame seen written
    // (-1 before any), when, and the data tally of the runs before it.
    int runFirst_ = -1;
    uint32_t runStartMs_ = 0;
    Tally runDone_;
};

}  // namespace zor
