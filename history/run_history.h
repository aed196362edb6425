#pragma once
// The history every front end's runs go to: the bench's own file, or a
// centre's server with that file as its outbox. Runs are made here from the
// engine's result and stored on a recorder's thread; what went wrong is kept
// as data, for the front end to word once.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/history_recorder.h"
#include "history/history_run.h"
#include "updatefile/segment.h"

namespace zor {

// What the history keeps of every run of a program, beyond the run.
struct RunContext {
    std::string bench, user, program, version;
    std::string file, fileId, fileSha256;
};
// This bench, this user, the program and its version; the update file at
// path (its name as given, its ID, its SHA-256).
RunContext runContext(const std::string& program, const std::string& version,
                      const std::string& updateFile, const std::string& fileId);

// The components a run selected: slot and version text (Windows-1252).
using SelectedTexts = std::vector<std::pair<size_t, std::string>>;
SelectedTexts selectedTexts(const ChronometerRun& run, const UpdateTable& components);

// The history's run for run, begun at time (UTC) at position (the bench's
// place, or empty): a fresh id, ctx, the engine's result, the selection
// and the tables as JSON.
HistoryRun historyRunOf(const ChronometerRun& run, const SelectedTexts& selected,
                        const RunContext& ctx, const std::string& time,
                        const std::string& position);

class RunHistory {
  public:
    // given: a path or a server's address the user chose (an option); else
    // $ZORLOAD_HISTORY, else setting (the bench's settings file), else the
    // default file. A server's runs are kept first in the default file, and
    // sent from there.
    explicit RunHistory(const std::string& given, const std::string& setting = std::string());
    ~RunHistory();
    RunHistory(const RunHistory&) = delete;
    RunHistory& operator=(const RunHistory&) = delete;

    // Whether runs have somewhere to go: false when no folder is known for
    // the default file (no home, no state folder).
    bool hasPlace() const { return recorder_ != nullptr; }
    // The bench's file, and the server (empty without one).
    const std::string& path() const { return path_; }
    const std::string& server() const { return server_; }

    // Queues run; returns at once. Nothing without a place.
    void add(HistoryRun run);
    // The first failure to keep runs, once.
    std::optional<HistoryResult> takeFailure();
    // Waits for the runs queued: all of them into the bench's file; a
    // server at most serverWait. False when a server had not taken them all
    // by then (sendState() says how many wait, and why).
    bool finish(std::chrono::milliseconds serverWait);
    SendState sendState() const;

  private:
    std::string path_, server_;
    std::unique_ptr<HistoryRecorder> recorder_;
};

}  // namespace zor
