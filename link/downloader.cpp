#include "link/downloader.h"

#include <algorithm>
#include <cstdint>

#include "app/split_version.h"
#include "link/conn_check.h"
#include "updatefile/unit_assert.h"

namespace zor {

using namespace proto;

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Counts in progress reports, cut to a range far beyond any real one.
int64_t boundedCount(long value) {
    constexpr int64_t LIMIT = 1000000;
    return std::clamp<int64_t>(value, -LIMIT, LIMIT);
}

std::string commandBytes(Cmd c, std::initializer_list<uint8_t> args) {
    std::string bytes(1, static_cast<char>(command(c).letter));
    for (uint8_t a : args)
        bytes += static_cast<char>(a);
    return bytes;
}

// A progress report's effect on the step shown: "... D" ends it, a letter at
// 6 announces a new one with its size in the last four characters, anything
// else is the count left.
void feedStep(DeviceStep& step, const std::string& text) {
    if (text.size() <= 4 || text[4] != ' ')
        return;
    if (text.size() > 5 && text[5] == 'D') {
        step.left = 0;
    } else if (text.size() > 6 && isAsciiLetter(text[6])) {
        std::string title = text.substr(5);
        long total = 0;
        if (title.size() >= 4 && isAsciiDigit(title.back())) {
            total = readNumber(title.substr(title.size() - 4), 0);
            title.resize(title.size() - 4);
        }
        step.title = trimControls(title);
        step.total = total;
        step.left = total;
    } else {
        step.left = readNumber(text, 3);
    }
}

}  // namespace

std::vector<const PartitionEntry*> transferPhases(const PartitionTable& plan) {
    std::vector<const PartitionEntry*> phases;
    const uint8_t entries = std::min<uint8_t>(plan.count, FLASH_BLOCKS);
    for (uint8_t i = 0; i < entries; ++i) {
        if (plan.entries[i].changed)
            phases.push_back(&plan.entries[i]);
    }
    return phases;
}

int overallProgress(int phase, int phaseCount, int percent) {
    if (phaseCount == 0)
        return 0;
    // 64-bit: percent comes from the chronometer's reports and is not bounded
    // to 0..100 there.
    const long long value = (static_cast<long long>(phase) * 100 + percent - 100) / phaseCount;
    return value < -100000 ? -100000 : value > 100000 ? 100000 : static_cast<int>(value);
}

Outcome transferOutcome(TransferCode code, const std::string& lastAnswer) {
    if (code == TRANSFER_OK)
        return Outcome::success();
    Hint hint = Hint::None;
    switch (code) {
        case TRANSFER_NO_PORT:
            hint = Hint::RetryCommand;
            break;
        case TRANSFER_PROGRAM_START:
            hint = Hint::ChronometerMode;
            break;
        case TRANSFER_DATA_BLOCK:
            hint = Hint::RetryWithoutHigh;
            break;
        case TRANSFER_WRITE:
            hint = Hint::RetryWrite;
            break;
        case TRANSFER_RESTART:
            hint = Hint::PowerCycle;
            break;
        case TRANSFER_LISTING:
            hint = Hint::ChronometerSilent;
            break;
        case TRANSFER_BAD_TYPE:
            hint = Hint::Support;
            break;
        case TRANSFER_ERASE:
            hint = Hint::RetryErase;
            break;
        default:
            break;
    }
    return Outcome::transferFailed(code, lastAnswer, hint);
}

bool WriteReports::feed(const std::string& text) {
    if (text.size() <= 4 || text[4] != ' ')
        return false;
    // Reports: "... D" closes a step; a letter at 6 announces a step and its
    // size in the last four characters; otherwise the count left.
    if (text.size() > 5 && text[5] == 'D') {
        ++doneSteps_;
        return false;
    }
    if (text.size() > 6 && isAsciiLetter(text[6])) {
        if (isAsciiDigit(text.back()) && doneSteps_ == 0)
            total_ = boundedCount(readNumber(text.substr(text.size() - 4), 0));
        return false;
    }
    // The chronometer counts a few thousand sectors at most; a corrupt report
    // may carry any number, which must not overflow the arithmetic below.
    remaining_ = boundedCount(readNumber(text, 3));
    if (total_ == 0)
        total_ = 1;
    const int64_t share = (total_ - remaining_) * 33 / total_;
    // Odd reports (more left than announced, a fourth step) give values
    // outside 50..100: passed on as they are, displays clamp.
    percent_ = static_cast<int>(50 + floorDiv(share + doneSteps_ * 33, 2));
    return true;
}

TDownloader::TDownloader(SerialLink& link, const PartitionTable& plan, ProgressFn onProgress,
                         InvokeAndWait invokeAndWait, TerminatedFn onTerminated,
                         TransferListener* listener)
    : link_(link),
      plan_(plan),
      onProgress_(std::move(onProgress)),
      invokeAndWait_(std::move(invokeAndWait)),
      onTerminated_(std::move(onTerminated)),
      listener_(listener) {}

TDownloader::~TDownloader() {
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void TDownloader::start() {
    if (thread_.joinable())
        return;
    // The worker may end, and its end call-back delete this object, before
    // the new thread has been stored in thread_: it waits until it has.
    std::lock_guard<std::mutex> storing(startMutex_);
    thread_ = std::thread([this] {
        { const std::lock_guard<std::mutex> stored(startMutex_); }
        Execute();
        finish();
    });
}

void TDownloader::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

TransferCode TDownloader::run() {
    Execute();
    const TransferCode code = resultCode_;
    finish();
    return code;
}

void TDownloader::finish() {
    // The callback may destroy this object: nothing of it is used afterwards.
    const TerminatedFn terminated = onTerminated_;
    const TransferCode code = resultCode_;
    if (terminated)
        terminated(code);
}

void TDownloader::ReportProgress(int percent) {
    percent_ = percent;
    auto show = [this, percent] {
        if (onProgress_)
            onProgress_(phaseIndex_, phaseCount_, percent);
    };
    if (invokeAndWait_) {
        invokeAndWait_(show);
    } else {
        show();
    }
}

void TDownloader::ReportPhase(const PartitionEntry& entry) {
    if (!listener_)
        return;
    auto show = [this, &entry] { listener_->phaseStarted(phaseIndex_, phaseCount_, entry); };
    if (invokeAndWait_) {
        invokeAndWait_(show);
    } else {
        show();
    }
}

void TDownloader::Execute() {
    PartitionTable device;
    resetTable(device);
    if (!link_.RsIsOpen()) {
        resultCode_ = TRANSFER_NO_PORT;
        return;
    }
    ReportProgress(0);
    link_.RsPurge();
    // Only proves that the chronometer still answers; the table is not used.
    if (!RsReadListing(link_, device, nullptr)) {
        resultCode_ = TRANSFER_LISTING;
        return;
    }

    const std::vector<const PartitionEntry*> phases = transferPhases(plan_);
    phaseCount_ = static_cast<int>(phases.size());
    phaseIndex_ = 0;
    if (phaseCount_ == 0) {
        phaseCount_ = 1;
    } else {
        // Entries lie in ascending block order: the flash is worked from block 0 up.
        for (const PartitionEntry* phase : phases) {
            const PartitionEntry& entry = *phase;
            ++phaseIndex_;
            ReportPhase(entry);
            ReportProgress(0);
            TransferCode code;
            switch (entry.type) {
                case PT_PGM:
                case PT_DATAREL:
                case PT_MILO:
                    // A program entry without its component cannot be written;
                    // the planner never makes one.
                    code = entry.component ? WriteProgram(entry.firstBlock, *entry.component)
                                           : TRANSFER_BAD_TYPE;
                    break;
                case PT_FREE:
                    code = EraseBlocks(entry.firstBlock, entry.blockCount);
                    break;
                default:
                    code = TRANSFER_BAD_TYPE;
                    break;
            }
            if (code != TRANSFER_OK) {
                resultCode_ = code;
                return;
            }
        }
    }

    ReportProgress(100);
    if (listener_)
        listener_->restarting();
    link_.RsDisplay(DISPLAY_RESTART);
    link_.clock().sleepMs(RESTART_PAUSE_MS);
    const CommandInfo& restart = command(Cmd::Restart);
    resultCode_ = link_.RsCommand(commandBytes(Cmd::Restart, {0x01}), restart.timeoutMs) ==
                          restart.successCode
                      ? TRANSFER_OK
                      : TRANSFER_RESTART;
}

TransferCode TDownloader::WriteProgram(int destinationBlock, const Segmento& component) {
    ZOR_ASSERT_TEXT("Comunic", (destinationBlock >= 0) && (destinationBlock <= 7),
                    "(destinationBlock >= 0) && (destinationBlock <= 7)");
    const int64_t blocks = component.datiSize;
    // A component whose data is shorter than its block count would be read
    // past its end; the loader never produces one.
    if (component.dati.size() < static_cast<size_t>(blocks) * BLOCK_SIZE)
        return TRANSFER_BAD_TYPE;

    link_.RsDisplay(DISPLAY_LOADING);
    const CommandInfo& start = command(Cmd::ProgramStart);
    if (link_.RsCommand(commandBytes(Cmd::ProgramStart, {0x00}), start.timeoutMs) !=
        start.successCode) {
        return TRANSFER_PROGRAM_START;
    }

    const CommandInfo& data = command(Cmd::DataBlock);
    std::string bytes(BLOCK_SIZE, '\0');
    bytes[0] = static_cast<char>(data.letter);
    for (int64_t i = 0; i < blocks; ++i) {
        if (i % 8 == 0) {
            // With a single data block the divisor is 0 and so is the share done.
            ReportProgress(blocks > 1 ? static_cast<int>(50 * i / (blocks - 1)) : 0);
        }
        // The chronometer takes bytes 1..259 of each block; byte 0 is not sent.
        const uint8_t* block = component.dati.data() + i * BLOCK_SIZE;
        std::copy(block + 1, block + BLOCK_SIZE, bytes.begin() + 1);
        if (link_.RsCommand(bytes, data.timeoutMs) != data.successCode)
            return TRANSFER_DATA_BLOCK;
    }
    ReportProgress(50);

    const CommandInfo& write = command(Cmd::Write);
    const uint8_t request[] = {write.letter, static_cast<uint8_t>(destinationBlock)};
    link_.RsSendCommand(request, sizeof request);
    // Reports without end, or bytes that trickle, fail the write like silence.
    link_.RsLimitAnswer(limit(Cmd::Write));

    bool final = false;
    int code = CODE_NO_ANSWER;  // until the final answer comes
    WriteReports reports;
    DeviceStep step;
    while (!final) {
        if (!link_.RsReceiveFrame(write.timeoutMs))
            break;
        const uint8_t* body = link_.rxBody();
        const size_t count = link_.rxCount();
        if (count < 2 || body[0] != HDR_STATION)
            continue;
        const std::string text = answerTextOf(body, count, 2);
        link_.setLastAnswer(text);
        if (body[1] == HDR_ANSWER) {
            final = true;
            code = answerCode(text);
        } else if (body[1] == HDR_PROGRESS) {
            if (listener_) {
                feedStep(step, text);
                listener_->deviceStep(step);
            }
            if (reports.feed(text))
                ReportProgress(reports.percent());
        }
    }
    ReportProgress(100);
    return code == write.successCode ? TRANSFER_OK : TRANSFER_WRITE;
}

TransferCode TDownloader::EraseBlocks(uint8_t firstBlock, uint8_t count) {
    const CommandInfo& erase = command(Cmd::Erase);
    for (int i = 0; i < count; ++i) {
        ReportProgress((100 * i + 100) / count);
        const std::string bytes = commandBytes(
            Cmd::Erase, {static_cast<uint8_t>(firstBlock + i), static_cast<uint8_t>(0x01)});
        if (link_.RsCommand(bytes, erase.timeoutMs) != erase.successCode)
            return TRANSFER_ERASE;
    }
    ReportProgress(100);
    return TRANSFER_OK;
}

}  // namespace zor
