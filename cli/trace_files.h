#pragma once
// The bench station's trace files (--trace-dir), one per port. The ports'
// workers hand their lines over and go on at once; a thread of its own
// writes them, so a slow or stalled disk never holds up a transfer.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/file.h"

namespace zor::cli {

// A trace file grows to this and no further, counting what earlier runs left
// in it. A chronometer written over its whole flash (512 KiB) takes about
// 1.9 MiB of trace, so a port keeps its first eight or so whole updates; a
// bench of 64 ports stays within 1 GiB of traces.
constexpr uint64_t TRACE_FILE_CAP = uint64_t{16} << 20;
// Memory held by lines waiting for the disk, all ports together: some
// seconds of 64 busy ports. Past it lines are dropped and counted.
constexpr size_t TRACE_QUEUE_CAP = size_t{4} << 20;

// Each port's file is opened (created when missing, only ever appended to)
// when its first line is written; one that cannot be opened is said once on
// stderr and its lines are dropped. A text is written while the file, with
// it and the cap note, stays within fileCap; the first that does not fit is
// replaced by the note, and the file takes nothing more. A file that already
// ends with the note (an earlier run filled it) is left as it is.
class TraceFiles {
  public:
    // Traces of every port in folder; fileCap and queueCap as above (tests
    // make them small). Starts the writer thread; nothing is opened yet.
    explicit TraceFiles(std::string folder, uint64_t fileCap = TRACE_FILE_CAP,
                        size_t queueCap = TRACE_QUEUE_CAP);
    // close().
    ~TraceFiles();
    TraceFiles(const TraceFiles&) = delete;
    TraceFiles& operator=(const TraceFiles&) = delete;

    // Any thread: text (whole lines, each ending in '\n') for port's file,
    // written in one piece: another call's text never lands inside it. Never
    // waits for the disk. When the lines waiting already fill queueCap, text
    // is dropped and counted, and the port's file gets a line saying how many
    // were lost before its next text (or at close()). Nothing after close().
    void add(const std::string& port, std::string text);

    // Writes everything still waiting, then ends the writer thread. Once;
    // later calls return at once.
    void close();

    // The file of port: "/dev/serial/by-id/usb-..." is
    // folder/dev_serial_by-id_usb-....trace.
    std::string pathFor(const std::string& port) const;

    // The line that ends a file that reached the cap: "--- traccia
    // interrotta: raggiunto il limite di <fileCap> per file ---" and '\n',
    // the cap in MiB when it is whole MiB ("16 MiB" for TRACE_FILE_CAP), else
    // in bytes.
    std::string capNote() const;

  private:
    struct Entry {
        std::string port;
        std::string text;
    };
    struct PortFile {
        File file;
        uint64_t size = 0;
        bool full = false;
    };

    void run();
    // The batch's texts appended to their files; its queue bytes.
    size_t writeBatch(std::deque<Entry>& batch);
    PortFile& fileOf(const std::string& port);

    const std::string folder_;
    const uint64_t fileCap_;
    const size_t queueCap_;
    const std::string capNote_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> queue_;
    // Queue bytes not yet on disk: those waiting and the batch being written.
    size_t queued_ = 0;
    // Lines dropped per port and not yet said in its file.
    std::map<std::string, uint64_t> dropped_;
    bool closing_ = false;

    std::map<std::string, PortFile> files_;  // the writer thread's alone
    std::thread writer_;
};

}  // namespace zor::cli
