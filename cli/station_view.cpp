#include "cli/station_view.h"

#include <algorithm>

#include "app/encoding.h"
#include "app/json.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/record.h"
#include "platform/terminal.h"
#include "text/station_text.h"

namespace zor::cli {
namespace {

// Exactly width characters: cut with "…" when longer, blanks after when shorter.
std::string padded(const std::string& utf8, size_t width) {
    const size_t chars = utf8Chars(utf8);
    if (chars > width)
        return fitColumns(utf8, static_cast<int>(width)) + "…";
    return utf8 + std::string(width - chars, ' ');
}

// A device path for its column: its end, which tells devices apart.
std::string deviceColumn(const std::string& utf8, size_t width) {
    const size_t chars = utf8Chars(utf8);
    if (chars <= width)
        return padded(utf8, width);
    return "…" + utf8.substr(utf8CharStart(utf8, chars - (width - 1)));
}

// A port's name for its column: an adapter's last path part.
std::string portCaption(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

std::string positionLabel(const PositionNames& positions, const std::string& port) {
    const auto at = positions.find(port);
    if (at == positions.end())
        return nameForTerminal(port);
    return nameForTerminal(at->second) + " (" + nameForTerminal(port) + ")";
}

RunFailure runFailure(const ChronometerRun& run) {
    RunFailure failure;
    failure.number = runStatus(run);
    failure.end = run.end;
    failure.code = run.code;
    return failure;
}

StationView::StationView(Mode mode, Clock& clock, bool bell)
    : mode_(mode), clock_(clock), start_(clock.tickMs()), bell_(bell) {}

StationView::Row& StationView::row(const StationEvent& e) {
    for (Row& r : rows_) {
        if (r.port == e.port)
            return r;
    }
    Row r;
    r.port = e.port;
    r.device = e.device;
    rows_.push_back(r);
    return rows_.back();
}

void StationView::line(const std::string& text) {
    // Off a terminal the lines are the run's log (station ... > banco.log):
    // on stdout, each with its time; errors stay on stderr.
    if (mode_ == Mode::Lines) {
        std::printf("%s %s\n", utcTimestamp().c_str(), text.c_str());
        std::fflush(stdout);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void StationView::event(const StationEvent& e, const ChronometerRun* run) {
    const PortState before = row(e).state;
    const int phaseBefore = row(e).phase;
    Row& r = row(e);
    const uint32_t now = clock_.tickMs();
    switch (e.kind) {
        case StationEvent::Kind::Added:
            break;
        case StationEvent::Kind::Removed:
            // An adapter unplugged: its row stays while it holds a result.
            if (r.hasResult) {
                r.state = PortState::Absent;
                r.gone = true;
            } else {
                rows_.erase(std::find_if(rows_.begin(), rows_.end(),
                                         [&](const Row& x) { return x.port == e.port; }));
            }
            break;
        case StationEvent::Kind::State:
            r.state = e.state;
            if (e.state == PortState::Connecting) {
                r.running = true;
                r.startedMs = now;
                r.identification.clear();
                r.overall = r.phase = r.phaseCount = 0;
                r.failure = RunFailure();
                r.leftMs = -1;
                r.hasResult = r.gone = false;
            } else if (e.state == PortState::Waiting || e.state == PortState::Absent ||
                       e.state == PortState::Held) {
                // The chronometer went, or its adapter: the result stays.
                r.gone = r.hasResult;
                if (!r.hasResult)
                    r.identification.clear();
            }
            break;
        case StationEvent::Kind::Connected:
            r.identification = e.identification;
            break;
        case StationEvent::Kind::Known:
            // Back again after its run: shown as that run left it, not
            // counted twice.
            r.state = r.result = e.state;
            r.hasResult = true;
            r.running = false;
            r.endedMs = now;
            break;
        case StationEvent::Kind::Progress:
            r.state = PortState::Transferring;
            r.overall = e.overall;
            r.phase = e.phase;
            r.phaseCount = e.phaseCount;
            r.leftMs = e.leftMs;
            r.leftAtMs = now;
            break;
        case StationEvent::Kind::Finished:
            r.state = r.result = e.state;
            r.hasResult = true;
            r.running = false;
            r.endedMs = now;
            r.failure = run && e.state == PortState::Failed ? runFailure(*run) : RunFailure();
            if (e.state == PortState::Done) {
                ++done_;
            } else if (e.state == PortState::UpToDate) {
                ++upToDate_;
            } else {
                ++failed_;
                failures_.push_back(
                    {positionLabel(positions_, e.port), serialNumberOf(e.identification),
                     run ? utf8Text(run->lastAnswer, true) : std::string(), r.failure});
                // Once, for the bench to look up: a failure in a full table
                // is easy to miss.
                if (bell_ && mode_ == Mode::Table) {
                    std::fputs("\a", stderr);
                    std::fflush(stderr);
                }
            }
            break;
    }
    const bool report = worthSending(e, phaseBefore, r.reported);
    if (report && (mode_ == Mode::Json || sink_))
        r.reported = e.overall;
    if (report && sink_)
        publish(e, run);
    if (mode_ == Mode::Json) {
        if (report)
            json(e, run);
        return;
    }
    if (mode_ == Mode::Table) {
        draw();
        return;
    }
    // Port and device names come from the device folder: any bytes.
    const std::string who = positionLabel(positions_, e.port);
    switch (e.kind) {
        case StationEvent::Kind::Added:
            line(who + ": " + portWatchedText(nameForTerminal(e.device)));
            break;
        case StationEvent::Kind::Removed:
            line(who + ": " + PORT_UNPLUGGED_TEXT);
            break;
        case StationEvent::Kind::State:
            if (e.state != before)
                line(who + ": " + stationStateText(e.state, 0, 0, 0, RunFailure()));
            break;
        case StationEvent::Kind::Connected:
            line(who + ": " + chronometerText(utf8Text(e.identification, true)));
            break;
        case StationEvent::Kind::Progress:
            if (e.phase != phaseBefore) {
                line(who + ": " +
                     stationPhaseText(
                         e.phase, e.phaseCount,
                         e.leftMs >= 0 ? durationText(uint32_t(e.leftMs)) : std::string()));
            }
            break;
        case StationEvent::Kind::Known:
            line(who + ": " + knownAgainText(stationStateText(e.state, 0, 0, 0, RunFailure())));
            break;
        case StationEvent::Kind::Finished: {
            std::string text = who + ": " + stationStateText(e.state, 0, 0, 0, r.failure);
            if (run && r.failure.number != 0 && !run->lastAnswer.empty())
                text += " (" + utf8Text(run->lastAnswer, true) + ")";
            if (run)
                text += ", " + durationText(run->ms);
            line(text);
            break;
        }
    }
}

void StationView::json(const StationEvent& e, const ChronometerRun* run) {
    std::printf("%s\n", stationEventJson(e, run, positionOf(e.port)).c_str());
    std::fflush(stdout);
}

void StationView::publish(const StationEvent& e, const ChronometerRun* run) {
    sendStationEvent(sink_, e, run, positionOf(e.port));
}

std::string StationView::positionOf(const std::string& port) const {
    const auto position = positions_.find(port);
    return position == positions_.end() ? std::string() : position->second;
}

namespace {

// The table's columns, in the order they go when the terminal is narrow.
enum Column { DEVICE, ELAPSED, LEFT, SERIAL, COLUMN_COUNT };
constexpr size_t PORT_WIDTH = 8, STATE_WIDTH = 27;
// With positions the first column holds their names, as wide as the longest
// up to this; the device's column then holds the port.
constexpr size_t POSITION_WIDTH = 16;
constexpr size_t WIDTHS[COLUMN_COUNT] = {15, 7, 7, 10};

// Whether the station is busy with the port's chronometer, or it failed:
// the rows a short terminal shows first.
bool wanted(PortState state) {
    return state == PortState::Connecting || state == PortState::Checking ||
           state == PortState::Transferring || state == PortState::Restarting ||
           state == PortState::Failed;
}

}  // namespace

std::vector<std::string> StationView::tableLines(int columns, int rows) const {
    // Every column that fits, dropping from the first in Column's order.
    bool shown[COLUMN_COUNT] = {true, true, true, true};
    size_t firstWidth = PORT_WIDTH;
    for (const auto& p : positions_)
        firstWidth = std::min(POSITION_WIDTH, std::max(firstWidth, utf8Chars(p.second)));
    const auto width = [&] {
        size_t w = firstWidth + 1 + STATE_WIDTH;
        for (int c = 0; c < COLUMN_COUNT; ++c)
            w += shown[c] ? WIDTHS[c] + 1 : 0;
        return w;
    };
    for (int c = 0; columns > 0 && c < COLUMN_COUNT && width() > size_t(columns - 1); ++c)
        shown[c] = false;
    // Then long position names are cut, down to a port's width.
    if (columns > 0 && width() > size_t(columns - 1)) {
        const size_t excess = width() - size_t(columns - 1);
        firstWidth = std::max(PORT_WIDTH, firstWidth > excess ? firstWidth - excess : 0);
    }
    const auto line = [&](const std::string& port, const std::string& device,
                          const std::string& state, const std::string& serial,
                          const std::string& elapsed, const std::string& left) {
        std::string text = padded(port, firstWidth);
        if (shown[DEVICE])
            text += " " + device;
        text += " " + padded(state, STATE_WIDTH);
        if (shown[SERIAL])
            text += " " + padded(serial, WIDTHS[SERIAL]);
        if (shown[ELAPSED])
            text += " " + padded(elapsed, WIDTHS[ELAPSED]);
        if (shown[LEFT])
            text += " " + left;
        // Blanks at the end would only wrap a narrow terminal.
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };

    // Lines for ports: what the terminal leaves once the header, the totals
    // and the stop line are drawn, one line less than it has so the cursor
    // stays on it.
    const size_t fixed = stopping_ ? 3 : 2;
    size_t portLines = rows_.size();
    bool counted = false;
    if (rows > 0 && rows_.size() + fixed + 1 > size_t(rows)) {
        portLines = size_t(rows) > fixed + 2 ? size_t(rows) - fixed - 2 : 0;
        counted = true;
    }
    std::vector<const Row*> order;
    for (const Row& r : rows_)
        order.push_back(&r);
    if (counted) {
        std::stable_partition(order.begin(), order.end(), [](const Row* r) {
            return wanted(r->state) || (r->hasResult && r->result == PortState::Failed);
        });
    }

    std::vector<std::string> lines;
    const auto add = [&](const std::string& text) { lines.push_back(fitColumns(text, columns)); };
    const bool placed = !positions_.empty();
    if (!counted || rows > 3)
        add(line(placed ? POSITION_HEADING : STATION_HEADINGS.port,
                 padded(placed ? STATION_HEADINGS.port : STATION_HEADINGS.device, WIDTHS[DEVICE]),
                 STATION_HEADINGS.state, STATION_HEADINGS.serial, STATION_HEADINGS.elapsed,
                 STATION_HEADINGS.left));
    const uint32_t now = clock_.tickMs();
    for (size_t i = 0; i < order.size() && i < portLines; ++i) {
        const Row& r = *order[i];
        std::string elapsed, left;
        if (r.running || r.endedMs != 0) {
            const uint32_t ms = (r.running ? now : r.endedMs) - r.startedMs;
            elapsed = durationText(ms);
            const int64_t leftMs = leftNow(r, now);
            if (leftMs >= 0)
                left = durationText(static_cast<uint32_t>(leftMs));
        }
        std::string state = stationStateText(r.state, r.overall, r.phase, r.phaseCount, r.failure);
        if (r.hasResult && r.gone) {
            // The result stays; that its chronometer went is said where the
            // time left would be, else after the state.
            state = stationStateText(r.result, 0, 0, 0, r.failure);
            if (shown[LEFT])
                left = CHRONOMETER_GONE_TEXT;
            else
                state += std::string(", ") + CHRONOMETER_GONE_TEXT;
        }
        // A position's name, then its port; else the port, then its device.
        const auto position = positions_.find(r.port);
        const bool named = position != positions_.end();
        add(line(nameForTerminal(named ? position->second : portCaption(r.port)),
                 deviceColumn(nameForTerminal(named ? r.port : r.device), WIDTHS[DEVICE]), state,
                 serialNumberOf(r.identification), elapsed, left));
    }
    if (counted && rows > 2) {
        const size_t hidden = order.size() - std::min(order.size(), portLines);
        const bool allWaiting = std::all_of(
            order.begin() + long(order.size() - hidden), order.end(),
            [](const Row* r) { return r->state == PortState::Waiting && !r->hasResult; });
        add(hiddenPortsText(hidden, allWaiting));
    }
    const uint32_t ms = now - start_;
    // The bench's pace: chronometers that leave it ready, not failed ones.
    const int ready = done_ + upToDate_;
    const uint64_t perHour = ms >= 1000 ? uint64_t(ready) * 3600000 / ms : 0;
    // The bench is free when its longest transfer ends.
    int64_t benchLeft = -1;
    for (const Row& r : rows_)
        benchLeft = std::max(benchLeft, leftNow(r, now));
    add(stationTotalsText(
        done_, failed_, upToDate_, perHour, durationText(ms),
        benchLeft >= 0 ? durationText(static_cast<uint32_t>(benchLeft)) : std::string()));
    if (stopping_)
        add(stoppingText());
    return lines;
}

int64_t StationView::leftNow(const Row& r, uint32_t now) const {
    if (!r.running || r.leftMs < 0)
        return -1;
    return std::max<int64_t>(0, r.leftMs - int64_t(now - r.leftAtMs));
}

std::string StationView::stoppingText() const {
    const long running =
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.running; });
    return stationStoppingText(running);
}

void StationView::stopping() {
    if (stopping_)
        return;
    stopping_ = true;
    if (mode_ == Mode::Table)
        draw();
    else
        line(stoppingText());
}

void StationView::draw() {
    const int columns = stderrColumns();
    const std::vector<std::string> lines =
        tableLines(columns > 0 ? columns : 80, std::max(0, stderrRows()));
    std::string out;
    // Back to the table's first line, then every line anew.
    if (drawnLines_ > 0)
        out += "\r\x1b[" + std::to_string(drawnLines_) + "A";
    for (const std::string& l : lines)
        out += "\r\x1b[K" + l + "\n";
    // Rows that left (an adapter unplugged): their lines are cleared.
    for (size_t i = lines.size(); i < drawnLines_; ++i)
        out += "\x1b[K\n";
    if (drawnLines_ > lines.size())
        out += "\x1b[" + std::to_string(drawnLines_ - lines.size()) + "A";
    drawnLines_ = lines.size();
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
}

void StationView::tick() {
    if (mode_ == Mode::Table)
        draw();
}

void StationView::summary() {
    const uint32_t ms = clock_.tickMs() - start_;
    const std::string summary = stationSummaryJson(done_, failed_, upToDate_, ms);
    if (sink_)
        sink_(std::string(), "summary", summary);
    if (mode_ == Mode::Json) {
        std::printf("%s\n", summary.c_str());
        std::fflush(stdout);
        return;
    }
    if (mode_ == Mode::Table)
        draw();
    line(stationSummaryText(done_, failed_, upToDate_, durationText(ms)));
    // Every failed chronometer, to be set aside and seen to.
    for (const Failure& f : failures_)
        line(failedChronometerText(f.port, f.serial, f.failure, f.lastAnswer));
}

}  // namespace zor::cli
