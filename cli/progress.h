#pragma once
// The transfer as the person at the terminal follows it: one line redrawn in
// place (overall share, times, line rate, the phase and the chronometer's own
// step), or on a log or pipe one line per finished phase; a summary at the end.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "flash/partition_table.h"
#include "link/downloader.h"
#include "platform/clock.h"
#include "text/app_text.h"  // durationText()

namespace zor::cli {

// How often the live displays (the progress line, the station's table) are
// drawn again while no event comes.
constexpr uint32_t DISPLAY_TICK_MS = 250;

// One phase of the transfer (zor::transferPhases) as people read it.
struct TransferPhase {
    bool erase = false;
    std::string name;       // UTF-8; empty for an erase
    std::string shortName;  // name part and VERS part, for the live line
    uint8_t first = 0, length = 0;
    uint64_t dataBytes = 0;  // the component's bytes sent to the chronometer
};
std::vector<TransferPhase> phasesOf(const PartitionTable& plan);
// "scrittura Programma base VERS 2.20 BUILD 41 (blocchi 1-3)",
// "cancellazione blocchi 6-7".
std::string phaseText(const TransferPhase& phase);

// Everything one progress line shows.
struct ProgressState {
    int phase = 0, phaseCount = 0, percent = 0;
    std::string doing;  // what the phase is doing now, UTF-8
    uint32_t elapsedMs = 0;
    int64_t etaMs = -1;  // -1: not known yet
    uint64_t rate = 0;   // bytes per second on the line
};
// The overall share as the transfer page's overall bar shows it, 0..100.
int overallPercent(const ProgressState& s);
// The line, cut to fit columns (0: no limit) without breaking a character.
std::string progressLine(const ProgressState& s, int columns);
// At most columns - 1 characters (the last column would wrap on some
// terminals), counting UTF-8 characters, not bytes.
std::string fitColumns(const std::string& utf8, int columns);

class TransferDisplay {
  public:
    TransferDisplay(const PartitionTable& plan, Clock& clock, bool terminal);

    // Worker thread: bytes written to the line, the chronometer's own step,
    // the restart.
    void dataSent(uint64_t bytes) { bytes_ += bytes; }
    void deviceStep(const DeviceStep& step);
    void restarting() { restarting_ = true; }

    // Main thread.
    void begin(const std::string& intro);
    void progress(int phase, int phaseCount, int percent);
    void tick();  // redraws with fresh times
    // Ends the line and prints the summary; resultCode 0 is a success.
    void finish(int resultCode);
    uint64_t bytesSent() const { return bytes_.load(); }
    uint32_t elapsedMs() const;
    // The phase the transfer stands in, "" before the first.
    std::string currentPhaseText() const;
    int phase() const { return phase_; }
    int phaseCount() const { return phaseCount_; }

  private:
    ProgressState state();
    void draw();
    void endPhase(int phase);
    uint64_t rate(uint32_t now, uint64_t bytes);

    const std::vector<TransferPhase> phases_;
    Clock& clock_;
    const bool terminal_;
    uint32_t start_ = 0;
    int phase_ = 0, phaseCount_ = 0, percent_ = 0;
    uint32_t phaseStart_ = 0;
    uint64_t phaseBytes_ = 0;
    size_t drawnColumns_ = 0;
    std::deque<std::pair<uint32_t, uint64_t>> samples_;  // (ms, bytes) of the last seconds

    // Filled by the worker thread.
    std::atomic<uint64_t> bytes_{0};
    std::atomic<bool> restarting_{false};
    mutable std::mutex stepMutex_;
    DeviceStep step_;  // the chronometer's current step
};

}  // namespace zor::cli
