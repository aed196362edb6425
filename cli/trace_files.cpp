#include "cli/trace_files.h"

#include <cstdio>
#include <utility>

#include "cli/cli_ui.h"
#include "cli/record.h"
#include "text/cli_text.h"

namespace zor::cli {
namespace {

// What a waiting text costs the queue: its bytes, its port's and its entry's.
size_t cost(const std::string& port, const std::string& text) {
    return 2 * sizeof(std::string) + port.size() + text.size();
}

// Whether the file at path, size bytes long, ends with tail. The trace itself
// is open for appending only, so its end is read through a second opening.
bool endsWith(const std::string& path, uint64_t size, const std::string& tail) {
    if (size < tail.size())
        return false;
    int error = 0;
    File file = File::openRead(path, error);
    std::string end(tail.size(), '\0');
    size_t got = 0;
    return file.isOpen() && file.skip(size - tail.size()) &&
           file.read(end.data(), end.size(), got) && got == end.size() && end == tail;
}

}  // namespace

TraceFiles::TraceFiles(std::string folder, uint64_t fileCap, size_t queueCap)
    : folder_(std::move(folder)),
      fileCap_(fileCap),
      queueCap_(queueCap),
      capNote_(traceCapNote(fileCap)) {
    writer_ = std::thread([this] { run(); });
}

TraceFiles::~TraceFiles() {
    close();
}

std::string TraceFiles::capNote() const {
    return capNote_;
}

std::string TraceFiles::pathFor(const std::string& port) const {
    std::string name = port;
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    }
    while (!name.empty() && name[0] == '_')
        name.erase(0, 1);
    return folder_ + "/" + name + ".trace";
}

void TraceFiles::add(const std::string& port, std::string text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_)
            return;
        uint64_t& dropped = dropped_[port];
        std::string note = dropped > 0 ? traceDroppedNote(dropped) : std::string();
        const size_t needed = cost(port, text) + (note.empty() ? 0 : cost(port, note));
        if (queued_ + needed > queueCap_) {
            ++dropped;
            return;
        }
        if (!note.empty())
            queue_.push_back({port, std::move(note)});
        dropped = 0;
        queue_.push_back({port, std::move(text)});
        queued_ += needed;
    }
    wake_.notify_one();
}

void TraceFiles::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_)
            return;
        closing_ = true;
        // Losses not yet said, since no line came after them: said now,
        // whatever the queue holds.
        for (auto& [port, dropped] : dropped_) {
            if (dropped > 0) {
                std::string note = traceDroppedNote(dropped);
                queued_ += cost(port, note);
                queue_.push_back({port, std::move(note)});
                dropped = 0;
            }
        }
    }
    wake_.notify_one();
    writer_.join();
    files_.clear();
}

void TraceFiles::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty())
            return;  // closing, and everything written
        std::deque<Entry> batch;
        batch.swap(queue_);
        lock.unlock();
        const size_t written = writeBatch(batch);
        lock.lock();
        queued_ -= written;
    }
}

size_t TraceFiles::writeBatch(std::deque<Entry>& batch) {
    // One write per file and batch: a busy port's lines go out together.
    std::map<PortFile*, std::string> out;
    size_t bytes = 0;
    for (Entry& e : batch) {
        bytes += cost(e.port, e.text);
        PortFile& f = fileOf(e.port);
        if (!f.file.isOpen() || f.full)
            continue;
        std::string& text = out[&f];
        if (f.size + e.text.size() + capNote_.size() <= fileCap_) {
            text += e.text;
            f.size += e.text.size();
        } else {
            text += capNote_;
            f.size += capNote_.size();
            f.full = true;
        }
    }
    for (auto& [f, text] : out)
        f->file.write(text.data(), text.size());
    return bytes;
}

TraceFiles::PortFile& TraceFiles::fileOf(const std::string& port) {
    auto it = files_.find(port);
    if (it != files_.end())
        return it->second;
    PortFile& f = files_[port];
    const std::string path = pathFor(port);
    FileProblem problem;
    f.file = File::openAppend(path, problem);
    if (!f.file.isOpen()) {
        std::fprintf(stderr, "%s\n",
                     traceUnwritableText(nameForTerminal(port), nameForTerminal(path),
                                         nameForTerminal(fileProblemText(problem)))
                         .c_str());
        return f;
    }
    // The file is only ever appended to: what earlier runs wrote counts.
    if (!f.file.size(f.size))
        f.size = 0;
    f.full = endsWith(path, f.size, capNote_);
    return f;
}

}  // namespace zor::cli
