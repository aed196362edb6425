#pragma once
// TDownloader: carries out a planned update on the chronometer. Checks that
// it still answers, writes every changed program entry into its flash block,
// erases the blocks that become free, shows "Riavvio..." and restarts it.
//
// Toolkit-free: progress reaches the user interface only through the
// invokeAndWait function (run this on the main thread and return when done),
// and the end of the transfer through onTerminated.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/outcome.h"
#include "flash/partition_table.h"
#include "link/serial_link.h"

namespace zor {

// The phases of a transfer: the plan's changed entries in table order, each
// written (a program) or erased (free space), block 0 first.
std::vector<const PartitionEntry*> transferPhases(const PartitionTable& plan);

// The overall share of a transfer: every finished phase an equal share, plus
// the current phase's share in proportion. Not clamped.
int overallProgress(int phase, int phaseCount, int percent);

// The outcome of a transfer that ended with code and the chronometer's last
// answer.
Outcome transferOutcome(TransferCode code, const std::string& lastAnswer);

// The step the chronometer reports while it writes a program into flash:
// its title ("Cancellazione settori"), the size it announced and the count
// left (-1 before the first count, 0 once the step is done).
struct DeviceStep {
    std::string title;  // Windows-1252, trimmed
    long total = 0;
    long left = -1;
};

// What a transfer reports besides its progress. phaseStarted comes the way
// progress does (through invokeAndWait when given); the others on the worker
// thread, which goes on at once: they must be quick and thread-safe.
class TransferListener {
  public:
    virtual ~TransferListener() = default;
    // Phase index (1-based) of count begins: the plan's entry it works on.
    virtual void phaseStarted(int /*index*/, int /*count*/, const PartitionEntry& /*entry*/) {}
    // A progress report of the chronometer changed its step.
    virtual void deviceStep(const DeviceStep& /*step*/) {}
    // Every phase is done: the chronometer is told to restart.
    virtual void restarting() {}
};

// The chronometer's progress reports while it writes a program into flash:
// three steps (erase, write, verify), each announced with its size in its last
// four characters, counted down, and closed with "Done". Turns them into the
// second half of the write's progress. Pure: the transfer feeds it the text of
// every report frame.
class WriteReports {
  public:
    // One report's text. True when it carried a count left, i.e. a new percent.
    bool feed(const std::string& text);
    // 50 + half the share done, 50..100 for the reports a chronometer sends;
    // odd ones give values outside (see TDownloader::ProgressFn). 50 until the
    // first count.
    int percent() const { return percent_; }
    int64_t doneSteps() const { return doneSteps_; }
    // The size last announced before the first step closed (the later steps
    // count the same sectors), 0 until announced; taken as 1 when a count
    // comes first. Cut to +-1000000.
    int64_t total() const { return total_; }
    // The last count left, cut like total.
    int64_t remaining() const { return remaining_; }

  private:
    int64_t doneSteps_ = 0;
    int64_t total_ = 0;
    int64_t remaining_ = 0;
    int percent_ = 50;
};

class TDownloader {
  public:
    // percent is the share of the current phase done, 0..100 for everything
    // the chronometer normally sends. While a program is being written it
    // follows the chronometer's progress reports; odd reports (more left than
    // announced, more steps than three) give values below 0 or above 100,
    // passed on as computed: displays clamp.
    using ProgressFn = std::function<void(int phaseIndex, int phaseCount, int percent)>;
    using InvokeAndWait = std::function<void(std::function<void()>)>;
    using TerminatedFn = std::function<void(TransferCode resultCode)>;

    // The link, the plan and the components it points to must stay alive and
    // untouched until onTerminated has been called. Any function may be empty:
    // without invokeAndWait, progress is reported on the calling thread.
    TDownloader(SerialLink& link, const PartitionTable& plan, ProgressFn onProgress,
                InvokeAndWait invokeAndWait, TerminatedFn onTerminated,
                TransferListener* listener = nullptr);
    // Waits for a running worker to finish; when called on the worker itself
    // (from onTerminated) the thread is detached instead, and the worker
    // touches nothing of the object after onTerminated.
    ~TDownloader();
    TDownloader(const TDownloader&) = delete;
    TDownloader& operator=(const TDownloader&) = delete;

    // Runs the transfer on a new thread; onTerminated is called on that thread
    // as its last act. At most once per object.
    void start();
    // Waits for the thread started by start(), if any.
    void join();
    // Runs the transfer on the calling thread, then onTerminated; returns the
    // outcome code. For tests and for callers with their own thread.
    TransferCode run();

    // How it ended. Valid once onTerminated has been called.
    TransferCode resultCode() const { return resultCode_; }
    int phaseIndex() const { return phaseIndex_; }
    int phaseCount() const { return phaseCount_; }

    // Exposed for tests: one program write and one erase run, each returning
    // an outcome code. destinationBlock outside 0..7 is a programming error
    // (assertion, unit Comunic).
    TransferCode WriteProgram(int destinationBlock, const Segmento& component);
    TransferCode EraseBlocks(uint8_t firstBlock, uint8_t count);

  private:
    void Execute();
    void ReportProgress(int percent);
    void ReportPhase(const PartitionEntry& entry);
    void finish();

    SerialLink& link_;
    const PartitionTable& plan_;
    ProgressFn onProgress_;
    InvokeAndWait invokeAndWait_;
    TerminatedFn onTerminated_;
    TransferListener* listener_;
    std::thread thread_;
    std::mutex startMutex_;  // held while start() stores thread_

    int phaseCount_ = 0;
    int phaseIndex_ = 0;
    int percent_ = 0;
    std::atomic<TransferCode> resultCode_{TRANSFER_OK};
};

}  // namespace zor
