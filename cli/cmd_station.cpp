// zorload-cli station FILE: the bench station, every port at once.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/bench_positions.h"
#include "app/json.h"
#include "app/main_thread_queue.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/history_runs.h"
#include "cli/port_access.h"
#include "cli/progress.h"
#include "cli/record.h"
#include "cli/station_view.h"
#include "cli/trace.h"
#include "cli/trace_files.h"
#include "engine/station.h"
#include "history/history_run.h"
#ifdef ZOR_MQTT
#include "history/mqtt_events.h"
#endif
#include "platform/clock.h"
#include "platform/terminal.h"
#include "text/station_text.h"
#include "updatefile/loader.h"

namespace zor::cli {
namespace {

constexpr int TICKS_PER_REFRESH = 4;  // adapters looked for about once a second

// Hands every event to the main thread; hands each traced port's frames and
// diagnostic blocks to the trace files' writer.
class StationEvents : public StationObserver {
  public:
    StationEvents(MainThreadQueue& queue, StationView& view, const std::string& traceDir,
                  const PositionNames& positions)
        : queue_(queue), view_(view), positions_(positions) {
        if (!traceDir.empty())
            traces_ = std::make_unique<TraceFiles>(traceDir);
    }

    // Main thread, for each chronometer that finished: its record line.
    std::function<void(const ChronometerRun&)> onFinished;

    // The ports' threads: each event becomes one for the view, traced and
    // handed to the main thread.
    void portAdded(const StationPort& where) override {
        deliver(stationEvent(StationEvent::Kind::Added, where, PortState::Waiting));
    }
    void portRemoved(const StationPort& where) override {
        deliver(stationEvent(StationEvent::Kind::Removed, where, PortState::Absent));
    }
    void portState(const StationPort& where, PortState state) override {
        deliver(stationEvent(StationEvent::Kind::State, where, state));
    }
    void chronometerIdentified(const StationPort& where,
                               const std::string& identification) override {
        StationEvent e = stationEvent(StationEvent::Kind::Connected, where, PortState::Checking);
        e.identification = identification;
        deliver(e);
    }
    void transferProgress(const StationPort& where, const StationProgress& progress) override {
        StationEvent e = stationEvent(StationEvent::Kind::Progress, where, PortState::Transferring);
        e.overall = progress.overall;
        e.phase = progress.phase;
        e.phaseCount = progress.phaseCount;
        e.leftMs = progress.leftMs;
        deliver(e);
    }
    void runFinished(const StationPort& where, PortState end, const ChronometerRun& run) override {
        StationEvent e = stationEvent(StationEvent::Kind::Finished, where, end);
        e.identification = run.identification;
        deliver(e, &run);
    }
    void chronometerKnown(const StationPort& where, const std::string& identification,
                          PortState end) override {
        StationEvent e = stationEvent(StationEvent::Kind::Known, where, end);
        e.identification = identification;
        deliver(e);
    }
    bool traces(const std::string&) override { return traces_ != nullptr; }
    // The ports' worker threads: the line is queued, never written here.
    void frame(const std::string& port, TraceKind kind, const uint8_t* bytes, size_t size,
               uint32_t tick, uint32_t bps) override {
        if (traces_)
            traces_->add(port, frameLine(0, kind, bytes, size, tick, bps));
    }
    void diagnostic(const std::string& port, const std::string& line) override {
        if (traces_)
            traces_->add(port, forTerminal(line) + "\n");
    }

    // Once the ports have stopped: every trace line written, the files closed.
    void closeTraces() {
        if (traces_)
            traces_->close();
    }

  private:
    void deliver(const StationEvent& e, const ChronometerRun* finished = nullptr) {
        if (traces_)
            traceRun(e, finished);
        std::shared_ptr<ChronometerRun> run;
        if (finished)
            run = std::make_shared<ChronometerRun>(*finished);
        queue_.post([this, e, run] {
            view_.event(e, run.get());
            if (run && onFinished)
                onFinished(*run);
        });
    }

    // A chronometer's run in its port's trace: a line with the UTC time and
    // the port where it begins, its identification, its outcome at the end.
    // The port's own thread, so the lines fall among its frames in order.
    void traceRun(const StationEvent& e, const ChronometerRun* run) {
        const std::string port = positionLabel(positions_, e.port);
        std::string text;
        switch (e.kind) {
            case StationEvent::Kind::State:
                if (e.state == PortState::Connecting)
                    text = chronometerPluggedText(utcTimestamp(), port);
                break;
            case StationEvent::Kind::Connected:
                text = chronometerText(utf8Text(e.identification, true));
                break;
            case StationEvent::Kind::Known:
                text = runResultTraceText(
                    knownAgainText(stationStateText(e.state, 0, 0, 0, RunFailure())));
                break;
            case StationEvent::Kind::Finished: {
                const RunFailure failure =
                    e.state == PortState::Failed ? runFailure(*run) : RunFailure();
                text = runResultTraceText(stationStateText(e.state, 0, 0, 0, failure));
                if (failure.number != 0 && !run->lastAnswer.empty())
                    text += lastAnswerTraceText(utf8Text(run->lastAnswer, true));
                text += ", " + durationText(run->ms);
                break;
            }
            default:
                break;
        }
        if (!text.empty())
            traces_->add(e.port, "--- " + text + " ---\n");
    }

    MainThreadQueue& queue_;
    StationView& view_;
    const PositionNames positions_;
    std::unique_ptr<TraceFiles> traces_;
};

// Ports to watch, checked before anything is watched: nothing standing at a
// name that is no serial device (an absent name is kept: an adapter may be
// plugged in later), and no port twice under any of its names. Empty when
// they are fine, else why not, in the words of notADevice (the index of the
// port and its label) or same (the indexes of both and where they lead).
std::string checkPorts(const std::vector<std::string>& ports,
                       const std::function<std::string(size_t, const std::string&)>& notADevice,
                       const std::function<std::string(size_t, size_t, const std::string&)>& same) {
    std::vector<PortNameLookup> seen;
    for (const std::string& name : ports) {
        const PortNameLookup port = lookUpPortName(name);
        if (port.exists && !port.isDevice)
            return notADevice(seen.size(), portLabel(name, resolvePortName(name)));
        for (size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].identity == port.identity)
                return same(i, seen.size(), nameForTerminal(port.identity));
        }
        seen.push_back(port);
    }
    return std::string();
}

// The --ports list: checkPorts, and no empty entry; the first fault in the
// list's order is said. Empty when the list is fine, else why not.
std::string portList(const std::string& list, std::vector<std::string>& ports) {
    ports.clear();
    if (list.empty() || list == "all")
        return std::string();
    bool emptyEntry = false;
    for (size_t pos = 0; pos <= list.size() && !emptyEntry;) {
        const size_t comma = std::min(list.find(',', pos), list.size());
        emptyEntry = comma == pos;
        if (!emptyEntry)
            ports.push_back(list.substr(pos, comma - pos));
        pos = comma + 1;
    }
    const std::string problem = checkPorts(
        ports, [](size_t, const std::string& label) { return notASerialPortText(label); },
        [&](size_t first, size_t second, const std::string& identity) {
            return samePortText(nameForTerminal(ports[first]), nameForTerminal(ports[second]),
                                identity);
        });
    if (!problem.empty() || !emptyEntry)
        return problem;
    return emptyPortEntryText(nameForTerminal(list));
}

// Without --ports, the bench's positions, when it has any: their ports are
// the ones watched, each checked as --ports would be. Empty when there is
// no positions file or it is fine, else why not.
std::string positionPorts(std::vector<std::string>& ports, PositionNames& names) {
    const std::string path = benchPositionsPath();
    const PositionsResult read = readBenchPositions(path);
    if (read.fault == PositionsFault::Missing)
        return std::string();
    const std::string shownPath = nameForTerminal(path);
    if (!read.ok())
        return positionsFaultText(shownPath, read);
    const std::vector<BenchPosition>& positions = read.positions;
    for (const BenchPosition& p : positions)
        ports.push_back(p.port);
    const std::string problem = checkPorts(
        ports,
        [&](size_t at, const std::string& label) {
            return positionNotASerialPortText(shownPath, positions[at].name, label);
        },
        [&](size_t first, size_t second, const std::string& identity) {
            return positionsSamePortText(shownPath, positions[first].name, positions[second].name,
                                         identity);
        });
    for (const BenchPosition& p : positions)
        names[p.port] = p.name;
    return problem;
}

// With --json a refusal is also one object on stdout, so that a script
// reading the events always reads JSON.
void printJsonError(const std::string& error, int status) {
    std::printf("%s\n", JsonWriter()
                            .beginObject()
                            .member("event", "error")
                            .member("error", error)
                            .member("exit_status", status)
                            .endObject()
                            .text()
                            .c_str());
}

}  // namespace

int cmdStation(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("station", args, opt);
    const auto refuse = [&](const std::string& why) {
        if (opt.json)
            printJsonError(why, EXIT_USAGE);
        return usageError("station", why);
    };
    if (!problem.empty())
        return refuse(problem);
    std::string recordError;
    if (!opt.record.empty() && !canRecord(opt.record, recordError))
        return refuse("--record '" + opt.record + "': " + recordError);
    FileProblem traceFolder;
    if (!opt.traceDir.empty() && !canWriteIn(opt.traceDir, traceFolder))
        return refuse("--trace-dir '" + opt.traceDir + "': " + fileProblemText(traceFolder));
    StationOptions options;
    PositionNames positions;
    const std::string portProblem = opt.ports.empty() ? positionPorts(options.ports, positions)
                                                      : portList(opt.ports, options.ports);
    if (!portProblem.empty())
        return refuse(portProblem);
#ifdef ZOR_MQTT
    MqttAddress broker;
    if (!opt.mqtt.empty() && !parseMqttAddress(opt.mqtt, broker))
        return refuse(badMqttText(opt.mqtt));
#else
    if (!opt.mqtt.empty())
        return refuse(NO_MQTT_TEXT);
#endif

    const std::string& fileName = opt.positional[0];
    const std::string title = applicationTitle();
    UpdateTable components;
    std::string versionLines, identifier;
    size_t segments = 0;
    const Outcome loaded =
        LoadUpdateFile(fileName, components, versionLines, identifier, &segments);
    if (!loaded) {
        // The file is named: a bench script may pass several.
        std::fprintf(stderr, "zorload-cli station: '%s':\n", nameForTerminal(fileName).c_str());
        const std::string error = printBoxes(loaded, title);
        if (opt.json)
            printJsonError("'" + fileName + "': " + error, EXIT_FILE_REFUSED);
        return EXIT_FILE_REFUSED;
    }
    if (!parseSelection(opt.select, components, segments, options.selection)) {
        return refuse(selectionError(opt.select, segments));
    }
    options.highSpeed = opt.high;
    options.again = opt.again;

    const StationView::Mode mode = opt.json             ? StationView::Mode::Json
                                   : stderrIsTerminal() ? StationView::Mode::Table
                                                        : StationView::Mode::Lines;
    StationView view(mode, systemClock(), !opt.noBell);
    view.usePositions(positions);
#ifdef ZOR_MQTT
    // The events on the centre's broker, from the client library's thread:
    // a broker that is down or slow never holds up the table.
    std::unique_ptr<MqttEvents> mqtt;
    if (!opt.mqtt.empty()) {
        mqtt = std::make_unique<MqttEvents>(broker, benchHostName());
        std::string why;
        if (mqtt->start(why)) {
            view.sendEventsTo(
                [&mqtt](const std::string& port, const std::string& event,
                        const std::string& json) { mqtt->publish(port, event, json); });
        } else {
            std::fprintf(stderr, "%s\n", mqttNotStartedText(why).c_str());
            mqtt.reset();
        }
    }
#endif
    MainThreadQueue queue;
    StationEvents events(queue, view, opt.traceDir, positions);
    // Every chronometer's run into the history, on the history's own
    // thread: a slow or busy database never holds up the table.
    CommandHistory history(opt.history, opt.noHistory, fileName, identifier);
    events.onFinished = [&](const ChronometerRun& run) {
        UpdateRecord r = runRecord(run, utcTimestamp(), fileName, identifier, components);
        const auto position = positions.find(run.port);
        if (position != positions.end())
            r.position = position->second;
        if (!opt.record.empty())
            writeRecord(opt.record, r);
        history.add(run, r);
    };

    // Interrupts: no new chronometer, the runs under way to their end, the
    // summary, the end.
    setInterruptMode(InterruptMode::Stop);
    CliDevices devices(systemSerialDevices());
    Station station(devices, systemClock(), components, options, events);
    station.refreshPorts();

    QueueTicker ticker(queue, DISPLAY_TICK_MS, [] {});
    bool stopping = false;
    int ticks = 0;
    uint32_t lastTick = systemClock().tickMs();
    queue.runUntil([&] {
        const uint32_t now = systemClock().tickMs();
        if (now - lastTick < DISPLAY_TICK_MS)
            return false;
        lastTick = now;
        if (++ticks % TICKS_PER_REFRESH == 0 && !stopping)
            station.refreshPorts();
        if (!stopping &&
            (pendingInterrupt() != 0 || (opt.count > 0 && view.finished() >= opt.count))) {
            stopping = true;
            station.stopTaking();
            if (pendingInterrupt() != 0)
                view.stopping();
        }
        view.tick();
        // The table redraws itself in place: there the warning waits for
        // the summary, under it; the lines and JSON take it at once.
        if (mode != StationView::Mode::Table)
            history.warnIfFailed();
        return stopping && station.quiet();
    });
    station.join();
    events.closeTraces();
    ticker.stop();
    // What the ports sent before they stopped.
    bool drained = false;
    queue.post([&drained] { drained = true; });
    queue.runUntil([&drained] { return drained; });
    view.summary();
    history.finish();
    return view.failed() > 0 ? EXIT_STATION_FAILED : EXIT_OK;
}

}  // namespace zor::cli
