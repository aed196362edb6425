#include "history/history_run.h"

#include <atomic>
#include <chrono>
#include <random>

#include "history/sha256.h"
#include "platform/port_diagnosis.h"

namespace zor {

const char* meaningOf(const ChronometerRun& run) {
    switch (run.end) {
        case RunEnd::Unreachable:
            return meaning::UNREACHABLE;
        case RunEnd::Skipped:
            return meaning::SKIPPED;
        case RunEnd::NothingToWrite:
            return meaning::CURRENT;
        case RunEnd::Unchanged:
            return meaning::UNCHANGED;
        case RunEnd::NoFit:
            return meaning::NO_FIT;
        case RunEnd::Planned:
            return meaning::PLANNED;
        case RunEnd::Done:
            return run.code == TRANSFER_OK ? meaning::DONE : meaning::TRANSFER_FAILED;
        case RunEnd::TransferFailed:
            return meaning::TRANSFER_FAILED;
    }
    return meaning::UNREACHABLE;
}

const char* verdictOf(const ChronometerRun& run) {
    if (run.end == RunEnd::NothingToWrite)
        return verdict::CURRENT;
    if (!run.planMade)
        return "";
    switch (run.verdict) {
        case PlanVerdict::Unchanged:
            return verdict::UNCHANGED;
        case PlanVerdict::Complete:
            return verdict::COMPLETE;
        case PlanVerdict::Partial:
            return verdict::PARTIAL;
        case PlanVerdict::NoMilo:
            return verdict::NO_MILO;
    }
    return "";
}

void fillFromRun(HistoryRun& out, const ChronometerRun& run) {
    out.port = run.port;
    out.device = run.device;
    out.identification = utf8Text(run.identification, false);
    out.serial = run.identification.empty() ? std::string() : serialNumberOf(run.identification);
    out.code = runCode(run);
    out.meaning = meaningOf(run);
    out.verdict = verdictOf(run);
    out.lastAnswer = utf8Text(run.lastAnswer, false);
    out.seconds = run.ms / 1000.0;
    out.bytes = run.transferred() ? run.transferBytes : run.bytes;
}

std::array<std::string*, HISTORY_TEXT_COLUMNS> textColumns(HistoryRun& r) {
    return {&r.runId,     &r.time,         &r.bench,  &r.user,       &r.program,
            &r.version,   &r.position,     &r.port,   &r.device,     &r.identification,
            &r.serial,    &r.file,         &r.fileId, &r.fileSha256, &r.selected,
            &r.tableRead, &r.tablePlanned, &r.verdict};
}

std::array<const std::string*, HISTORY_TEXT_COLUMNS> textColumns(const HistoryRun& run) {
    std::array<const std::string*, HISTORY_TEXT_COLUMNS> out;
    const auto fields = textColumns(const_cast<HistoryRun&>(run));
    std::copy(fields.begin(), fields.end(), out.begin());
    return out;
}

std::string newRunId() {
    // The OS's randomness, with the clock, the process and a counter mixed
    // in, so that two runs never share an id even where random_device is
    // weak.
    static std::atomic<uint64_t> counter{0};
    std::random_device device;
    std::string seed;
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = device();
        seed.append(reinterpret_cast<const char*>(&word), sizeof word);
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    const auto steady = std::chrono::steady_clock::now().time_since_epoch().count();
    const uint64_t process = currentProcessId();
    const uint64_t count = counter.fetch_add(1);
    seed.append(reinterpret_cast<const char*>(&now), sizeof now);
    seed.append(reinterpret_cast<const char*>(&steady), sizeof steady);
    seed.append(reinterpret_cast<const char*>(&process), sizeof process);
    seed.append(reinterpret_cast<const char*>(&count), sizeof count);
    return sha256Hex(seed).substr(0, 32);
}

std::string runIdOfText(const std::string& text) {
    return sha256Hex(text).substr(0, 32);
}

std::string benchHostName() {
    return hostName();
}

}  // namespace zor
