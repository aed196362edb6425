// How the chronometer's answers reach the line: the time each takes, the
// progress reports of a write, line hits around the answers and the endless
// answers.
#include <algorithm>
#include <cstdio>

#include "sim/chronometer.h"
#include "sim/conformance.h"

namespace zor::sim {

namespace {

constexpr size_t SECTOR_BYTES = 4096;  // the flash's erase unit

// Realistic timing. The chronometer is a small microcontroller with a 4 Mbit
// serial NOR flash (8 blocks of 64 KiB, erased in 4 KiB sectors, programmed in
// 256-byte pages over SPI at 8 MHz); the figures are that class of parts'
// typical datasheet times. Each sits far inside the host's wait for that
// answer (in brackets); the closest, counting the request's own time on the
// line at 19200 bit/s, is 'E': about 160 ms of 500.
namespace real {
// A request is checked as its bytes arrive; the answer starts a few ms after
// the closing flag ['A' 1000 ms, 'I' 'E' 'H' and link control 500 ms].
constexpr uint32_t ANSWER_MS = 3;
// 'B': the partition table is read from flash first [500 ms per line].
constexpr uint32_t LISTING_MS = 8;
// 'F': the receive buffer is cleared and the flash driver woken [2000 ms].
constexpr uint32_t PROGRAM_START_MS = 25;
// 'H': a character LCD: clear (1.5 ms), four lines of 20 characters at about
// 40 us each, busy polling in between [500 ms].
constexpr uint32_t DISPLAY_MS = 10;
// 'C', per 4 KiB sector [6000 ms between frames; the longest gap is a
// quarter of the erase step of 8 blocks: 32 sectors, 1.4 s]: erase 45 ms
// (typical; 400 ms worst case); program 16 pages of 0.7 ms plus 4 ms to clock
// the data over SPI; verify: read back (4 ms) and compare.
constexpr uint32_t SECTOR_ERASE_MS = 45;
constexpr uint32_t SECTOR_PROGRAM_MS = 15;
constexpr uint32_t SECTOR_VERIFY_MS = 5;
// A step's opening report follows the previous report at once.
constexpr uint32_t STEP_START_MS = 2;
// 'C': after verifying, the partition table is rewritten: one sector erased
// and programmed before the final answer.
constexpr uint32_t TABLE_UPDATE_MS = 60;
// 'D': one 64 KiB block erase, 150 ms typical (1 s worst case) [6000 ms].
constexpr uint32_t BLOCK_ERASE_MS = 150;
// 'J': every image's CRC is checked (512 KiB read over SPI, about 130 ms) and
// the boot record rewritten (one sector, 60 ms) before the answer [1000 ms].
constexpr uint32_t RESTART_ANSWER_MS = 200;
// Then the reset: oscillator and PLL start-up and the boot loader's own
// checks; the UART hears nothing meanwhile.
constexpr uint32_t REBOOT_MS = 300;
}  // namespace real

std::vector<uint8_t> textBody(uint8_t kind, const std::string& text) {
    std::vector<uint8_t> body(text.size() + 2);
    body[0] = HDR_COMMAND;
    body[1] = kind;
    for (size_t i = 0; i < text.size(); ++i) {
        body[i + 2] = static_cast<uint8_t>(text[i]);
    }
    return body;
}

std::string format(const char* fmt, int a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

}  // namespace

Chronometer::Reply Chronometer::answer(const std::string& text, uint32_t offsetMs) {
    return {offsetMs, textBody(HDR_ANSWER, text)};
}

Chronometer::Reply Chronometer::report(const std::string& text, uint32_t offsetMs) {
    return {offsetMs, textBody(HDR_PROGRESS, text)};
}

Chronometer::Reply Chronometer::openingReport(uint8_t block) {
    // No blank at index 4: the host skips it.
    return report(format("Blocco %d: avvio scrittura", block));
}

uint32_t Chronometer::flashSteps(size_t bytes, std::vector<Reply>& replies) const {
    // All three steps count the 4 KiB sectors the data occupies: the host
    // keeps the first step's total for the whole write, so the counts of the
    // later steps must be of the same size for its progress bar to make sense.
    // A report follows every quarter of a step.
    const int sectors =
        static_cast<int>(std::max<size_t>(1, (bytes + SECTOR_BYTES - 1) / SECTOR_BYTES));
    const bool realistic = config_.timing == SimTiming::Realistic;
    struct Step {
        const char* tag;
        const char* title;
        uint32_t sectorMs;
    };
    const Step steps[] = {{"CAN", "Cancellazione settori", real::SECTOR_ERASE_MS},
                          {"SCR", "Scrittura settori", real::SECTOR_PROGRAM_MS},
                          {"VER", "Verifica settori", real::SECTOR_VERIFY_MS}};
    // Time until the next report: a flash step, or the sectors done meanwhile.
    auto work = [&](const Step& s, int sectorsDone) {
        return realistic ? s.sectorMs * static_cast<uint32_t>(sectorsDone) : config_.flashStepMs;
    };
    uint32_t offset = 0;
    for (const Step& s : steps) {
        offset += realistic ? real::STEP_START_MS : config_.flashStepMs;
        replies.push_back(
            report(std::string(s.tag) + "  " + s.title + format(" %04d", sectors), offset));
        const int stride = std::max(1, (sectors + 3) / 4);
        int remaining = sectors;
        for (; remaining - stride > 0; remaining -= stride) {
            offset += work(s, stride);
            replies.push_back(
                report(std::string(s.tag) + "  " + format("%4d", remaining - stride), offset));
        }
        offset += work(s, remaining);
        replies.push_back(report(std::string(s.tag) + "  Done", offset));
    }
    return offset + (realistic ? real::TABLE_UPDATE_MS : config_.flashStepMs);
}

uint32_t Chronometer::firstAnswerMs(char letter) const {
    const auto set = config_.replyDelayByCommand.find(letter);
    if (set != config_.replyDelayByCommand.end()) {
        return set->second;
    }
    if (config_.timing == SimTiming::Realistic) {
        switch (letter) {
            case 'B':
                return real::LISTING_MS;
            case 'F':
                return real::PROGRAM_START_MS;
            case 'H':
                return real::DISPLAY_MS;
            case 'D':
                return real::BLOCK_ERASE_MS;
            case 'J':
                return real::RESTART_ANSWER_MS;
            default:
                return real::ANSWER_MS;
        }
    }
    if (letter == 'D') {
        return config_.replyDelayMs + config_.eraseMs.value_or(config_.flashStepMs);
    }
    return config_.replyDelayMs;
}

uint32_t Chronometer::rebootMs() const {
    return config_.timing == SimTiming::Realistic ? real::REBOOT_MS : 0;
}

void Chronometer::queue(const std::vector<Reply>& replies, Fault fault, uint32_t atMs) {
    if (fault == Fault::Garbage) {
        size_t total = 0;
        for (const Reply& r : replies) {
            total += encodeFrame(r.body).size();
        }
        line_.send(line_.noise(std::max<size_t>(total, 8)), atMs);
        return;
    }
    // A line hit just before the answer: noise without flags, or a damaged
    // copy of the first frame, then the answers as they should be.
    if (fault == Fault::NoiseFirst) {
        line_.send(line_.noise(8), atMs);
    } else if (fault == Fault::BadFrameFirst && !replies.empty()) {
        line_.send(encodeFrame(replies.front().body, true), atMs);
    }
    bool first = true;
    for (const Reply& r : replies) {
        std::vector<uint8_t> bytes = encodeFrame(r.body, first && fault == Fault::BadCheck);
        first = false;
        const uint32_t start = line_.sendStart(atMs + r.offsetMs);
        if (trace_) {
            trace_(false, start, r.body);
        }
        line_.send(bytes, start);
    }
}

void Chronometer::startStream(Fault fault, char letter, const std::vector<uint8_t>& args,
                              uint32_t atMs) {
    stream_ = fault;
    streamStartMs_ = atMs;
    streamAtMs_ = atMs;
    streamCount_ = 0;
    streamLines_.clear();
    if (fault == Fault::EndlessListing) {
        for (const std::string& line : listingLines()) {
            streamLines_.push_back(answer(line).body);
        }
        streamLines_.pop_back();  // never the "005" line
    } else if (fault == Fault::EndlessProgress && letter == 'C') {
        streamLines_.push_back(openingReport(args.empty() ? 0 : args[0]).body);
        streamLines_.push_back(report("CAN  Cancellazione settori 0016").body);
    }
}

void Chronometer::feedStream(uint32_t nowMs) {
    const bool realistic = config_.timing == SimTiming::Realistic;
    while (stream_ != Fault::None && !line_.closed() && SimLine::atOrAfter(nowMs, streamAtMs_)) {
        if (config_.endlessForMs > 0 && streamAtMs_ - streamStartMs_ >= config_.endlessForMs) {
            stream_ = Fault::None;
            break;
        }
        uint32_t gap;
        if (stream_ == Fault::Trickle) {
            line_.send(line_.noise(1), streamAtMs_);
            gap = config_.trickleMs;
        } else if (stream_ == Fault::EndlessListing) {
            queue({{0, streamLines_[streamCount_ % streamLines_.size()]}}, Fault::None,
                  streamAtMs_);
            gap = realistic ? 0 : config_.replyDelayMs;  // lines back to back
        } else {
            // A write that never gets anywhere: the sectors counted down over
            // and over.
            const int left = 15 - static_cast<int>(streamCount_ % 16);
            queue({{0, streamCount_ < streamLines_.size() ? streamLines_[streamCount_]
                                                          : report(format("CAN  %4d", left)).body}},
                  Fault::None, streamAtMs_);
            gap = realistic ? real::SECTOR_ERASE_MS : config_.flashStepMs;
        }
        ++streamCount_;
        // At least a millisecond apart, so that time moves on.
        streamAtMs_ = SimLine::later(line_.txFreeAtMs(), streamAtMs_) + std::max<uint32_t>(gap, 1);
    }
}

}  // namespace zor::sim
