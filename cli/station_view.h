#pragma once
// The bench station as the person at the bench follows it: on a terminal a
// table redrawn in place (one row per port, the totals under it) on stderr,
// else one line per event on stdout, each with its UTC time, or with --json
// one JSON object per line per event.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/station.h"
#include "engine/station_events.h"
#include "platform/clock.h"
#include "text/station_text.h"

namespace zor::cli {

// The bench's positions by port: the name of the place each port is wired
// to (UTF-8). Empty when the bench has none.
using PositionNames = std::map<std::string, std::string>;

// A port as the lines, the summary and the traces name it: its name for the
// terminal, and with a position "Posto 1 (COM3)".
std::string positionLabel(const PositionNames& positions, const std::string& port);

// How a run that ended Failed failed, with its status as its number.
RunFailure runFailure(const ChronometerRun& run);

class StationView {
  public:
    enum class Mode { Table, Lines, Json };
    // bell: on a terminal, ring once for each chronometer that fails.
    StationView(Mode mode, Clock& clock, bool bell = false);

    // The ports' positions, before the first event: in the table (its first
    // column, the port beside it), the lines and, as "position", every JSON
    // event about a port.
    void usePositions(const PositionNames& positions) { positions_ = positions; }

    // Every event, in any mode, also as the JSON object --json prints,
    // with its name ("state", "done", ...) and its port (empty for the
    // summary); a run's end and a chronometer known again also as the
    // port's new "state". For the message broker (--mqtt).
    void sendEventsTo(StationEventSink sink) { sink_ = std::move(sink); }

    // Main thread, in the order the ports sent them; run for Finished.
    void event(const StationEvent& event, const ChronometerRun* run);
    // Redraws the table with fresh times.
    void tick();
    // The totals, last: a line, or the JSON summary.
    void summary();
    // An interrupt stopped the station taking chronometers: said once off a
    // terminal, on stderr with --json, and on a terminal as the table's last
    // line until the end, with the runs still under way.
    void stopping();

    // How many chronometers ended updated, failed, or found already up to date.
    int done() const { return done_; }
    int failed() const { return failed_; }
    int upToDate() const { return upToDate_; }
    int finished() const { return done_ + failed_ + upToDate_; }

    // The table's lines for a terminal of columns and rows (0: no limit),
    // fewer lines than rows and each shorter than columns, so that redrawing
    // it in place never scrolls. Narrow: columns go, device first, then the
    // times and the S/N; port and state stay. With positions the position
    // comes first and its port takes the device's place; a long name is cut
    // last. Short: ports at work and failed ones first, the rest counted on
    // one line.
    std::vector<std::string> tableLines(int columns, int rows = 0) const;

  private:
    struct Row {
        std::string port, device;
        PortState state = PortState::Waiting;
        std::string identification;  // Windows-1252
        int overall = 0, phase = 0, phaseCount = 0;
        RunFailure failure;     // the last chronometer's, when it failed
        int reported = 0;       // the percent of the last progress event written as JSON
        int64_t leftMs = -1;    // the transfer's time left as last reported, -1 while not known
        uint32_t leftAtMs = 0;  // when
        bool running = false;
        uint32_t startedMs = 0, endedMs = 0;
        // The last chronometer's result (Done, UpToDate or Failed), kept with
        // its S/N and times until the next chronometer comes: after it is
        // unplugged, and after its adapter is, it reads "scollegato".
        bool hasResult = false;
        PortState result = PortState::Waiting;
        bool gone = false;
    };

    Row& row(const StationEvent& e);
    void line(const std::string& text);
    void json(const StationEvent& e, const ChronometerRun* run);
    void publish(const StationEvent& e, const ChronometerRun* run);
    // The position of port, or empty.
    std::string positionOf(const std::string& port) const;
    void draw();
    std::string stoppingText() const;
    // A transfer's time left now, counted down from its last report; -1
    // while not known.
    int64_t leftNow(const Row& r, uint32_t now) const;

    const Mode mode_;
    Clock& clock_;
    const uint32_t start_;
    std::vector<Row> rows_;
    // A failed chronometer, for the summary.
    struct Failure {
        std::string port, serial, lastAnswer;  // lastAnswer in UTF-8
        RunFailure failure;
    };
    std::vector<Failure> failures_;
    const bool bell_;
    PositionNames positions_;
    StationEventSink sink_;
    int done_ = 0, failed_ = 0, upToDate_ = 0;
    bool stopping_ = false;
    size_t drawnLines_ = 0;
};

}  // namespace zor::cli
