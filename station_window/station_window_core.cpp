#include "station_window/station_window_core.h"

#include <algorithm>
#include <ctime>

#include "app/percent.h"
#include "app/utc_time.h"
#include "app/version_info.h"
#include "history/history_path.h"
#include "text/app_text.h"
#include "text/cli_text.h"
#include "text/history_text.h"
#include "text/station_window_text.h"
#include "updatefile/loader.h"

namespace zor::stationwin {
namespace {

// Tiles on a bench: each state has its colour, strong enough to be told
// from across the bench, with a text colour that reads on it.
struct Colours {
    Rgb background, foreground;
};
Colours coloursOf(TileState state) {
    switch (state) {
        case TileState::Working:
            return {{0x2f, 0x6f, 0xb5}, {0xff, 0xff, 0xff}};
        case TileState::Done:
            return {{0x2e, 0x8b, 0x3a}, {0xff, 0xff, 0xff}};
        case TileState::UpToDate:
            return {{0x1f, 0x7a, 0x7a}, {0xff, 0xff, 0xff}};
        case TileState::Failed:
            return {{0xc0, 0x2b, 0x2b}, {0xff, 0xff, 0xff}};
        case TileState::Absent:
            return {{0xee, 0xee, 0xee}, {0x70, 0x70, 0x70}};
        case TileState::Held:
            return {{0xe0, 0x9b, 0x1a}, {0x00, 0x00, 0x00}};
        case TileState::Waiting:
            break;
    }
    return {{0xd4, 0xd4, 0xd4}, {0x00, 0x00, 0x00}};
}

TileState tileStateOf(PortState state) {
    switch (state) {
        case PortState::Absent:
            return TileState::Absent;
        case PortState::Held:
            return TileState::Held;
        case PortState::Waiting:
            return TileState::Waiting;
        case PortState::Connecting:
        case PortState::Checking:
        case PortState::Transferring:
        case PortState::Restarting:
            return TileState::Working;
        case PortState::Done:
            return TileState::Done;
        case PortState::UpToDate:
            return TileState::UpToDate;
        case PortState::Failed:
            return TileState::Failed;
    }
    return TileState::Waiting;
}

// An adapter's path by its last part, as on the wizard's port page.
std::string captionOf(const std::string& port) {
    const size_t slash = port.rfind('/');
    return slash == std::string::npos ? port : port.substr(slash + 1);
}

std::string localTime() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &tm);
    return text;
}

// A CSV field: quoted when it holds a separator, a quote or a line end.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

// The engine's Station behind StationControl.
class EngineStation : public StationControl {
  public:
    EngineStation(SerialDeviceOpener& devices, Clock& clock, const UpdateTable& components,
                  const StationOptions& options, StationObserver& observer)
        : station_(devices, clock, components, options, observer) {}
    void refreshPorts() override { station_.refreshPorts(); }
    bool retry(const std::string& port) override { return station_.retry(port); }
    void stopTaking() override { station_.stopTaking(); }
    bool quiet() const override { return station_.quiet(); }
    void join() override { station_.join(); }

  private:
    Station station_;
};

constexpr int TICKS_PER_REFRESH = 4;  // adapters looked for about once a second
constexpr uint32_t PACE_AFTER_MS = 60000;

}  // namespace

StationFactory engineStations(SerialDeviceOpener& devices, Clock& clock) {
    return [&devices, &clock](const UpdateTable& components, const StationOptions& options,
                              StationObserver& observer) -> std::unique_ptr<StationControl> {
        return std::make_unique<EngineStation>(devices, clock, components, options, observer);
    };
}

BenchSettings benchWindowSettings(const std::string& path, const PositionsResult& positions,
                                  std::vector<BoxRequest>& boxes) {
    const SettingsResult read = readBenchSettings(path);
    if (read.ok() || read.fault == PositionsFault::Missing)
        return read.settings;
    // A file that cannot be read at all is one fault, said once.
    const bool saidAlready = positions.fault == read.fault && positions.line == read.line;
    if (!saidAlready) {
        boxes.push_back({historySettingsIgnoredText(positionsFaultText(path, read)),
                         STATION_WINDOW_TITLE, BoxIcon::Exclamation, true});
    }
    return BenchSettings();
}

StationWindowCore::StationWindowCore(StationWindowView& view, Clock& clock, StationFactory stations,
                                     std::function<void(std::function<void()>)> post,
                                     std::vector<BenchPosition> positions)
    : view_(view),
      clock_(clock),
      stations_(std::move(stations)),
      post_(std::move(post)),
      positions_(std::move(positions)),
      positionsPath_(benchPositionsPath()) {
    positionTiles();
}

void StationWindowCore::positionTiles() {
    tiles_.clear();
    for (const BenchPosition& p : positions_) {
        Tile t;
        t.name = p.name;
        t.port = p.port;
        t.caption = captionOf(p.port);
        t.positioned = true;
        t.state = PortState::Absent;
        tiles_.push_back(t);
    }
}

std::vector<std::string> StationWindowCore::portChoices() const {
    std::vector<std::string> ports(COM_PORTS.begin(), COM_PORTS.end());
    for (const std::string& name : benchPortNames())
        ports.push_back(name);
    // A port a position is bound to stays offered while its adapter is out.
    for (const BenchPosition& p : positions_) {
        if (std::find(ports.begin(), ports.end(), p.port) == ports.end())
            ports.push_back(p.port);
    }
    return ports;
}

bool StationWindowCore::savePositions(const std::vector<BenchPosition>& edited) {
    if (station_)
        return false;
    const auto refuse = [this](const std::string& text) {
        view_.messageBox({text, STATION_WINDOW_TITLE, BoxIcon::Exclamation, true});
        return false;
    };
    const PositionsResult checked = checkBenchPositions(edited);
    if (!checked.ok())
        return refuse(positionRefusedText(checked, edited));
    FileProblem problem;
    if (positionsPath_.empty() || !writeBenchPositions(positionsPath_, edited, problem))
        return refuse(positionsNotSavedText(positionsPath_, fileProblemText(problem)));
    positions_ = edited;
    positionTiles();
    redrawAll();
    return true;
}

StationWindowCore::~StationWindowCore() {
    *alive_ = false;
    if (station_) {
        station_->stopTaking();
        station_->join();
    }
}

void StationWindowCore::show() {
    redrawAll();
    drawTotals();
    drawControls();
}

// ---- The history and the events ----------------------------------------------

void StationWindowCore::keepRunsIn(std::unique_ptr<RunHistory> history,
                                   const std::string& programVersion) {
    history_ = std::move(history);
    programVersion_ = programVersion;
    if (history_ && fileLoaded_)
        context_ = runContext("zorload", programVersion_, filePath_, fileId_);
}

void StationWindowCore::keepRun(const ChronometerRun& run, const std::string& position) {
    if (!history_)
        return;
    if (!history_->hasPlace()) {
        // Runs to keep, and nowhere to keep them.
        if (!historySaid_) {
            historySaid_ = true;
            historyStatus_ = historyNoPathText();
            drawControls();
        }
        return;
    }
    history_->add(
        historyRunOf(run, selectedTexts(run, components_), context_, utcTimestamp(), position));
}

void StationWindowCore::checkHistory() {
    if (!history_ || historySaid_)
        return;
    const std::optional<HistoryResult> failure = history_->takeFailure();
    if (!failure)
        return;
    // On the status line, where it stays: a box would wait for a click while
    // the chronometers go on being updated, and nothing in the bench's work
    // depends on it.
    historySaid_ = true;
    historyStatus_ = historyNotKeptText(history_->path(), *failure);
    drawControls();
}

void StationWindowCore::finishHistory() {
    if (!history_ || !history_->hasPlace())
        return;
    // The bench's file takes every run at once; a server that is slow or down
    // is waited for a little, then the rest waits in the outbox for the next
    // session.
    const bool sent = history_->finish(std::chrono::milliseconds(SERVER_WAIT_MS));
    std::string text;
    const std::optional<HistoryResult> failure =
        historySaid_ ? std::nullopt : history_->takeFailure();
    if (failure) {
        text = historyNotKeptText(history_->path(), *failure);
    } else if (!history_->server().empty() && !historySaid_ && !sent) {
        const SendState state = history_->sendState();
        text = historyUnsentText(serverForPeople(history_->server()),
                                 state.waiting > 0 ? state.waiting : 1, state.why);
    }
    history_.reset();
    // The window is going: a box is the only place left to say it.
    if (!text.empty())
        view_.messageBox({text, STATION_WINDOW_TITLE, BoxIcon::Exclamation, true});
}

std::string StationWindowCore::positionOf(const std::string& port) const {
    for (const BenchPosition& p : positions_) {
        if (p.port == port)
            return p.name;
    }
    return std::string();
}

void StationWindowCore::send(const StationEvent& e, const ChronometerRun* run) {
    if (!sink_)
        return;
    if (Tile* t = tileOf(e.port)) {
        if (!worthSending(e, t->phase, t->reported))
            return;
        t->reported = e.overall;
    }
    sendStationEvent(sink_, e, run, positionOf(e.port));
}

void StationWindowCore::sendSummary() {
    if (summarySent_)
        return;
    summarySent_ = true;
    if (sink_)
        sink_(std::string(), "summary",
              stationSummaryJson(done_, failed_, upToDate_, clock_.tickMs() - startedMs_));
}

// ---- The file and the selection ---------------------------------------------

bool StationWindowCore::loadFile(const std::string& path) {
    if (station_)
        return false;
    UpdateTable components;
    std::string versionLines, identifier;
    const Outcome loaded = LoadUpdateFile(path, components, versionLines, identifier);
    if (!loaded) {
        for (const BoxRequest& box : boxesFor(loaded, applicationTitle()))
            view_.messageBox(box);
        return false;
    }
    components_ = std::move(components);
    fileLoaded_ = true;
    filePath_ = path;
    fileId_ = identifier;
    // The file's name, ID and SHA-256 as they are now, for every run sent
    // from what was loaded now.
    if (history_)
        context_ = runContext("zorload", programVersion_, filePath_, fileId_);
    chosen_.clear();
    std::vector<ComponentRow> rows;
    int count = 0;
    for (size_t slot = 0; slot < components_.size(); ++slot) {
        if (!components_[slot].hasData())
            continue;
        ++count;
        rows.push_back({slot, utf8Text(components_[slot].versionText(), true), false});
    }
    fileInfo_ = loadedFileText(utf8Text(identifier, true), count);
    view_.setComponents(rows);
    drawControls();
    return true;
}

void StationWindowCore::setSelectionMode(SelectionMode mode) {
    mode_ = mode;
    drawControls();
}

void StationWindowCore::setComponentChecked(size_t slot, bool checked) {
    if (checked)
        chosen_.insert(slot);
    else
        chosen_.erase(slot);
    drawControls();
}

// ---- Avvia, Ferma, Riprova ------------------------------------------------------

bool StationWindowCore::start() {
    if (station_)
        return false;
    const auto refuse = [this](const char* text) {
        view_.messageBox({text, STATION_WINDOW_TITLE, BoxIcon::Exclamation, true});
        return false;
    };
    if (!fileLoaded_)
        return refuse(NO_FILE_TO_START);
    StationOptions options;
    if (mode_ == SelectionMode::Outdated) {
        options.selection.outdated = true;
    } else {
        for (size_t slot = 0; slot < components_.size(); ++slot) {
            if (components_[slot].hasData() &&
                (mode_ == SelectionMode::All || chosen_.count(slot) != 0))
                options.selection.slots.insert(slot);
        }
        if (options.selection.slots.empty())
            return refuse(NO_COMPONENT_TO_START);
    }
    for (const BenchPosition& p : positions_)
        options.ports.push_back(p.port);
    // Without positions the tiles are the ports the station adds.
    if (positions_.empty())
        tiles_.clear();
    for (Tile& t : tiles_) {
        t.state = PortState::Waiting;
        t.running = false;
    }
    station_ = stations_(components_, options, *this);
    stopping_ = false;
    summarySent_ = false;
    ticks_ = 0;
    if (!everStarted_) {
        everStarted_ = true;
        startedMs_ = clock_.tickMs();
    }
    station_->refreshPorts();
    redrawAll();
    drawControls();
    return true;
}

void StationWindowCore::stop() {
    if (!station_ || stopping_)
        return;
    stopping_ = true;
    station_->stopTaking();
    for (size_t i = 0; i < tiles_.size(); ++i)
        redraw(i);
    drawControls();
    if (station_->quiet())
        finishStop();
}

void StationWindowCore::finishStop() {
    station_->join();
    // What the ports said before they ended may still be on its way; it
    // finds no station and only draws.
    station_.reset();
    stopping_ = false;
    stoppedMs_ = clock_.tickMs();
    sendSummary();
    for (Tile& t : tiles_) {
        if (!t.running && !t.hasResult)
            t.state = PortState::Absent;
    }
    redrawAll();
    drawControls();
}

bool StationWindowCore::retry(size_t index) {
    if (index >= tiles_.size() || !views_[index].retryEnabled || !station_)
        return false;
    return station_->retry(tiles_[index].port);
}

int StationWindowCore::transfersRunning() const {
    return static_cast<int>(
        std::count_if(tiles_.begin(), tiles_.end(), [](const Tile& t) { return t.running; }));
}

void StationWindowCore::tick() {
    checkHistory();
    if (station_) {
        if (!stopping_ && ++ticks_ % TICKS_PER_REFRESH == 0)
            station_->refreshPorts();
        if (stopping_ && station_->quiet())
            finishStop();
    }
    const uint32_t now = clock_.tickMs();
    for (size_t i = 0; i < tiles_.size(); ++i) {
        if (tiles_[i].running) {
            views_[i] = viewOf(tiles_[i], now);
            view_.updateTile(i, views_[i]);
        }
    }
    drawTotals();
}

bool StationWindowCore::closeQuery() {
    const int running = transfersRunning();
    if (running > 0) {
        view_.messageBox(
            {closeRefusedText(running), STATION_WINDOW_TITLE, BoxIcon::Exclamation, true});
        return false;
    }
    if (station_) {
        station_->stopTaking();
        station_->join();
        station_.reset();
        stoppedMs_ = clock_.tickMs();
        sendSummary();
    }
    finishHistory();
    return true;
}

// ---- The session's list ---------------------------------------------------------

std::string StationWindowCore::sessionText() const {
    std::string text;
    for (size_t c = 0; c < 5; ++c)
        text += std::string(c ? "\t" : "") + SESSION_COLUMNS[c];
    text += "\n";
    for (const SessionRow& r : sessionRows_) {
        text += r.time + "\t" + r.position + "\t" + r.serial + "\t" + r.result + "\t" +
                secondsText(r.seconds) + "\n";
    }
    return text;
}

std::string StationWindowCore::sessionCsv() const {
    std::string text;
    for (size_t c = 0; c < 5; ++c)
        text += std::string(c ? "," : "") + csvField(SESSION_COLUMNS[c]);
    text += "\r\n";
    for (const SessionRow& r : sessionRows_) {
        text += csvField(r.time) + "," + csvField(r.position) + "," + csvField(r.serial) + "," +
                csvField(r.result) + "," + secondsText(r.seconds) + "\r\n";
    }
    return text;
}

// ---- Engine events ---------------------------------------------------------------

void StationWindowCore::onWindowThread(std::function<void()> fn) {
    std::weak_ptr<bool> alive = alive_;
    post_([alive, fn = std::move(fn)] {
        if (const auto a = alive.lock(); a && *a)
            fn();
    });
}

StationWindowCore::Tile* StationWindowCore::tileOf(const std::string& port) {
    for (Tile& t : tiles_) {
        if (t.port == port)
            return &t;
    }
    return nullptr;
}

void StationWindowCore::portAdded(const StationPort& where) {
    onWindowThread([this, where] {
        send(stationEvent(StationEvent::Kind::Added, where, PortState::Waiting), nullptr);
        if (tileOf(where.port))
            return;
        Tile t;
        t.name = t.caption = captionOf(where.port);
        t.port = where.port;
        tiles_.push_back(t);
        redrawAll();
    });
}

void StationWindowCore::portRemoved(const StationPort& where) {
    onWindowThread([this, where] {
        send(stationEvent(StationEvent::Kind::Removed, where, PortState::Absent), nullptr);
        Tile* t = tileOf(where.port);
        if (!t)
            return;
        if (t->positioned || t->hasResult) {
            t->state = PortState::Absent;
            t->gone = t->hasResult;
            redraw(static_cast<size_t>(t - tiles_.data()));
            return;
        }
        tiles_.erase(tiles_.begin() + (t - tiles_.data()));
        redrawAll();
    });
}

void StationWindowCore::portState(const StationPort& where, PortState state) {
    const uint32_t now = clock_.tickMs();
    onWindowThread([this, where, state, now] {
        send(stationEvent(StationEvent::Kind::State, where, state), nullptr);
        Tile* t = tileOf(where.port);
        if (!t)
            return;
        t->state = state;
        if (state == PortState::Connecting) {
            // The next chronometer: the last one's result goes.
            t->running = true;
            t->startedMs = now;
            t->identification.clear();
            t->overall = t->phase = t->phaseCount = 0;
            t->leftMs = -1;
            t->failure = RunFailure();
            t->hasResult = t->gone = false;
        } else if (state == PortState::Waiting || state == PortState::Absent ||
                   state == PortState::Held) {
            t->gone = t->hasResult;
            if (!t->hasResult)
                t->identification.clear();
        }
        redraw(static_cast<size_t>(t - tiles_.data()));
    });
}

void StationWindowCore::chronometerIdentified(const StationPort& where,
                                              const std::string& identification) {
    onWindowThread([this, where, identification] {
        StationEvent e = stationEvent(StationEvent::Kind::Connected, where, PortState::Checking);
        e.identification = identification;
        send(e, nullptr);
        if (Tile* t = tileOf(where.port)) {
            t->identification = identification;
            redraw(static_cast<size_t>(t - tiles_.data()));
        }
    });
}

void StationWindowCore::transferProgress(const StationPort& where,
                                         const StationProgress& progress) {
    const uint32_t now = clock_.tickMs();
    onWindowThread([this, where, progress, now] {
        StationEvent e = stationEvent(StationEvent::Kind::Progress, where, PortState::Transferring);
        e.overall = progress.overall;
        e.phase = progress.phase;
        e.phaseCount = progress.phaseCount;
        e.leftMs = progress.leftMs;
        send(e, nullptr);
        if (Tile* t = tileOf(where.port)) {
            t->state = PortState::Transferring;
            t->overall = progress.overall;
            t->phase = progress.phase;
            t->phaseCount = progress.phaseCount;
            t->leftMs = progress.leftMs;
            t->leftAtMs = now;
            redraw(static_cast<size_t>(t - tiles_.data()));
        }
    });
}

void StationWindowCore::runFinished(const StationPort& where, PortState end,
                                    const ChronometerRun& run) {
    RunFailure failure;
    if (end == PortState::Failed) {
        failure.number = runCode(run);
        failure.end = run.end;
        failure.code = run.code;
    }
    const uint32_t now = clock_.tickMs();
    const uint32_t ms = run.ms;
    const std::string identification = run.identification;
    const auto copy = std::make_shared<const ChronometerRun>(run);
    onWindowThread([this, where, end, failure, now, ms, identification, copy] {
        StationEvent e = stationEvent(StationEvent::Kind::Finished, where, end);
        e.identification = identification;
        send(e, copy.get());
        keepRun(*copy, positionOf(where.port));
        Tile* t = tileOf(where.port);
        if (!t)
            return;
        t->state = t->result = end;
        t->identification = identification;
        t->hasResult = true;
        t->running = false;
        t->endedMs = now;
        t->failure = failure;
        if (end == PortState::Done)
            ++done_;
        else if (end == PortState::UpToDate)
            ++upToDate_;
        else
            ++failed_;
        SessionRow row;
        row.time = localTime();
        row.position = t->name;
        row.serial = serialNumberOf(identification);
        row.result = stationStateText(end, 0, 0, 0, failure);
        row.seconds = ms / 1000.0;
        sessionRows_.push_back(row);
        view_.addSessionRow(row);
        redraw(static_cast<size_t>(t - tiles_.data()));
        drawTotals();
    });
}

void StationWindowCore::chronometerKnown(const StationPort& where,
                                         const std::string& identification, PortState end) {
    const uint32_t now = clock_.tickMs();
    onWindowThread([this, where, identification, end, now] {
        StationEvent e = stationEvent(StationEvent::Kind::Known, where, end);
        e.identification = identification;
        send(e, nullptr);
        if (Tile* t = tileOf(where.port)) {
            // Back after its run: shown as that run left it, not counted again.
            t->state = t->result = end;
            t->identification = identification;
            t->hasResult = true;
            t->running = false;
            t->endedMs = now;
            redraw(static_cast<size_t>(t - tiles_.data()));
        }
    });
}

// ---- Drawing ----------------------------------------------------------------------

TileView StationWindowCore::viewOf(const Tile& t, uint32_t now) const {
    TileView v;
    v.name = t.name;
    v.port = t.caption;
    // A kept result shows until the next chronometer, also once it went.
    const bool showResult = t.hasResult && !t.running;
    const PortState state = showResult ? t.result : t.state;
    v.state = tileStateOf(state);
    v.stateText = stationStateText(state, t.overall, t.phase, t.phaseCount, t.failure);
    if (showResult && t.gone)
        v.stateText += std::string(", ") + CHRONOMETER_GONE_TEXT;
    const Colours colours = coloursOf(v.state);
    v.background = colours.background;
    v.foreground = colours.foreground;
    const std::string serial = serialNumberOf(t.identification);
    if (!t.identification.empty())
        v.serial = tileSerialText(serial);
    v.progressShown = t.running || (showResult && t.phaseCount > 0);
    v.percent = clampPercent(showResult && t.result == PortState::Done ? 100 : t.overall);
    if (t.phaseCount > 0)
        v.phase = stationPhaseText(t.phase, t.phaseCount, std::string());
    if (t.running || t.endedMs != 0) {
        v.elapsed = tileElapsedText(durationText((t.running ? now : t.endedMs) - t.startedMs));
        if (t.running && t.leftMs >= 0) {
            const int64_t left = std::max<int64_t>(0, t.leftMs - int64_t(now - t.leftAtMs));
            v.left = tileLeftText(durationText(static_cast<uint32_t>(left)));
        }
    }
    if (showResult && t.result == PortState::Failed) {
        v.failure = v.stateText;
        v.step = failureStep(t.failure);
        // Run again while it is still plugged in and the station takes
        // chronometers.
        v.retryEnabled = !t.gone && station_ != nullptr && !stopping_;
    }
    v.accessibleName = tileAccessibleName(t.name, t.caption, v.stateText, serial);
    return v;
}

void StationWindowCore::redraw(size_t index) {
    if (views_.size() != tiles_.size()) {
        redrawAll();
        return;
    }
    views_[index] = viewOf(tiles_[index], clock_.tickMs());
    view_.updateTile(index, views_[index]);
}

void StationWindowCore::redrawAll() {
    const uint32_t now = clock_.tickMs();
    views_.clear();
    for (const Tile& t : tiles_)
        views_.push_back(viewOf(t, now));
    view_.setTiles(views_);
}

void StationWindowCore::drawTotals() {
    const uint32_t now = clock_.tickMs();
    const uint32_t ms = !everStarted_ ? 0 : (station_ ? now : stoppedMs_) - startedMs_;
    // The bench's pace: chronometers that leave it ready, once it has run
    // long enough for the figure to mean something.
    const uint64_t perHour = ms >= PACE_AFTER_MS ? uint64_t(done_ + upToDate_) * 3600000 / ms : 0;
    view_.setTotals(stationWindowTotalsText(done_, failed_, upToDate_, perHour, durationText(ms)));
}

void StationWindowCore::drawControls() {
    ControlsView c;
    c.fileInfo = fileInfo_;
    c.fileEnabled = station_ == nullptr;
    c.startEnabled = station_ == nullptr && fileLoaded_;
    c.stopEnabled = station_ != nullptr && !stopping_;
    c.positionsEnabled = station_ == nullptr;
    c.status = stopping_ ? stationStoppingText(transfersRunning()) : historyStatus_;
    view_.setControls(c);
}

}  // namespace zor::stationwin
