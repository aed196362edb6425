#include "cli/progress.h"

#include <algorithm>

#include "app/encoding.h"
#include "app/percent.h"
#include "app/split_version.h"
#include "engine/plan_view.h"
#include "platform/terminal.h"
#include "text/cli_text.h"

namespace zor::cli {

namespace {

constexpr uint32_t RATE_WINDOW_MS = 3000;
// No estimate before this much of the whole is done, or this much time has
// passed: the first seconds say little about the rest.
constexpr int ETA_MIN_PERCENT = 2;
constexpr uint32_t ETA_MIN_MS = 2000;

}  // namespace

std::vector<TransferPhase> phasesOf(const PartitionTable& plan) {
    std::vector<TransferPhase> phases;
    for (const PartitionEntry* entry : zor::transferPhases(plan)) {
        const PartitionEntry& e = *entry;
        TransferPhase p;
        p.erase = e.type == PT_FREE;
        if (!p.erase) {
            p.name = utf8Text(e.name, true);
            const TextParts parts = splitText(e.name);
            p.shortName =
                utf8Text(parts.name + (parts.version.empty() ? "" : " " + parts.version), true);
        }
        p.first = e.firstBlock;
        p.length = e.blockCount;
        if (e.component)
            p.dataBytes = static_cast<uint64_t>(e.component->datiSize) * (BLOCK_SIZE - 1);
        phases.push_back(p);
    }
    return phases;
}

std::string phaseText(const TransferPhase& phase) {
    if (phase.erase)
        return erasePhaseText(phase.first, phase.length);
    return writePhaseText(phase.name, phase.first, phase.length);
}

int overallPercent(const ProgressState& s) {
    return clampPercent(overallProgress(s.phase, s.phaseCount, s.percent));
}

std::string fitColumns(const std::string& utf8, int columns) {
    if (columns <= 0)
        return utf8;
    const size_t allowed = static_cast<size_t>(columns > 1 ? columns - 1 : 1);
    return utf8.substr(0, utf8CharStart(utf8, allowed));
}

std::string progressLine(const ProgressState& s, int columns) {
    // The figures first: on a narrow terminal the words are cut, not them.
    const std::string left = s.etaMs < 0 ? "-:--" : durationText(static_cast<uint32_t>(s.etaMs));
    return fitColumns(progressFiguresText(overallPercent(s), durationText(s.elapsedMs), left,
                                          s.rate, s.phase, s.phaseCount) +
                          s.doing,
                      columns);
}

TransferDisplay::TransferDisplay(const PartitionTable& plan, Clock& clock, bool terminal)
    : phases_(phasesOf(plan)), clock_(clock), terminal_(terminal) {}

void TransferDisplay::deviceStep(const DeviceStep& step) {
    std::lock_guard<std::mutex> lock(stepMutex_);
    step_ = step;
}

uint32_t TransferDisplay::elapsedMs() const {
    return clock_.tickMs() - start_;
}

std::string TransferDisplay::currentPhaseText() const {
    if (phase_ < 1 || static_cast<size_t>(phase_) > phases_.size())
        return std::string();
    return phaseText(phases_[static_cast<size_t>(phase_ - 1)]);
}

void TransferDisplay::begin(const std::string& intro) {
    start_ = clock_.tickMs();
    phaseStart_ = start_;
    phaseCount_ = static_cast<int>(phases_.size());
    std::fprintf(stderr, "%s\n", intro.c_str());
    if (terminal_)
        draw();
}

uint64_t TransferDisplay::rate(uint32_t now, uint64_t bytes) {
    samples_.emplace_back(now, bytes);
    while (samples_.size() > 2 && now - samples_[1].first >= RATE_WINDOW_MS)
        samples_.pop_front();
    const uint32_t ms = now - samples_.front().first;
    if (ms < 200)
        return 0;
    return (bytes - samples_.front().second) * 1000 / ms;
}

ProgressState TransferDisplay::state() {
    ProgressState s;
    const uint32_t now = clock_.tickMs();
    s.elapsedMs = now - start_;
    s.phase = phase_;
    s.phaseCount = phaseCount_;
    s.percent = clampPercent(percent_);
    s.rate = rate(now, bytes_.load());
    const int overall = overallPercent(s);
    if (overall >= 100)
        s.etaMs = 0;
    else if (overall >= ETA_MIN_PERCENT && s.elapsedMs >= ETA_MIN_MS)
        s.etaMs = timeLeftAtPace<int64_t>(s.elapsedMs, overall);
    if (restarting_) {
        s.doing = RESTARTING_CHRONOMETER_TEXT;
    } else if (phase_ == 0) {
        s.doing = CHECKING_CHRONOMETER_TEXT;
    } else {
        const TransferPhase& p = phases_[static_cast<size_t>(std::min(phase_, phaseCount_) - 1)];
        s.doing = p.erase ? phaseText(p) : writingText(p.shortName);
        if (!p.erase) {
            std::lock_guard<std::mutex> lock(stepMutex_);
            if (percent_ < 50) {
                s.doing += std::string(": ") + SENDING_DATA_TEXT;
            } else if (step_.title.empty()) {
                s.doing += std::string(": ") + AWAITING_CHRONOMETER_TEXT;
            } else {
                s.doing += ": " + utf8Text(step_.title, true);
                if (step_.total > 0 && step_.left >= 0)
                    s.doing += " " + std::to_string(step_.total - step_.left) + "/" +
                               std::to_string(step_.total);
            }
        }
    }
    return s;
}

void TransferDisplay::draw() {
    const int columns = stderrColumns();
    const std::string line = progressLine(state(), columns > 0 ? columns : 80);
    const size_t chars = utf8Chars(line);
    // Blanks over what is left of a longer line drawn before.
    const std::string blanks(drawnColumns_ > chars ? drawnColumns_ - chars : 0, ' ');
    drawnColumns_ = chars;
    std::fprintf(stderr, "\r%s%s", line.c_str(), blanks.c_str());
    std::fflush(stderr);
}

void TransferDisplay::endPhase(int phase) {
    const uint32_t ms = clock_.tickMs() - phaseStart_;
    const uint64_t bytes = bytes_.load() - phaseBytes_;
    const std::string what = phase >= 1 && static_cast<size_t>(phase) <= phases_.size()
                                 ? phaseText(phases_[static_cast<size_t>(phase - 1)])
                                 : std::string();
    std::fprintf(
        stderr, "%s\n",
        phaseDoneText(phase, phaseCount_, what, durationText(ms), ms ? bytes * 1000 / ms : 0)
            .c_str());
}

void TransferDisplay::progress(int phase, int phaseCount, int percent) {
    if (phaseCount > 0)
        phaseCount_ = phaseCount;
    if (phase != phase_) {
        if (!terminal_ && phase_ > 0)
            endPhase(phase_);
        phaseStart_ = clock_.tickMs();
        phaseBytes_ = bytes_.load();
        std::lock_guard<std::mutex> lock(stepMutex_);
        step_ = DeviceStep();
    }
    phase_ = phase;
    percent_ = percent;
    if (terminal_)
        draw();
}

void TransferDisplay::tick() {
    if (terminal_)
        draw();
}

// A failed transfer may have reported 100 for the phase it failed in (the
// write ends at 100 whatever the chronometer's verdict): only a transfer that
// succeeded closes its last phase as done.
void TransferDisplay::finish(int resultCode) {
    if (terminal_) {
        draw();
        std::fputc('\n', stderr);
    } else if (resultCode == 0 && phase_ > 0) {
        endPhase(phase_);
    }
    const uint32_t ms = elapsedMs();
    const uint64_t bytes = bytes_.load();
    const uint64_t average = ms ? bytes * 1000 / ms : 0;
    const std::string summary = resultCode == 0
                                    ? transferDoneText(durationText(ms), bytes, average)
                                    : transferStoppedText(durationText(ms), bytes, average);
    std::fprintf(stderr, "%s\n", summary.c_str());
    std::fflush(stderr);
}

}  // namespace zor::cli
