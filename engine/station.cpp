#include "engine/station.h"

#include <algorithm>

#include "flash/planner.h"
#include "link/conn_check.h"

namespace zor {

std::set<size_t> selectedSlots(const ComponentSelection& selection, const UpdateTable& pgm,
                               const PartitionTable& installed) {
    std::set<size_t> slots;
    for (size_t i = 0; i < pgm.size(); ++i) {
        if (pgm[i].datiSize == 0)
            continue;
        if (!selection.outdated) {
            if (selection.slots.count(i))
                slots.insert(i);
            continue;
        }
        const TextParts offered = splitText(pgm[i].versionText());
        bool upToDate = false;
        for (uint8_t k = 0; k < installed.count && !upToDate; ++k) {
            const PartitionEntry& e = installed.entries[k];
            if (e.type == PT_FREE)
                continue;
            const TextParts has = splitText(e.name);
            upToDate = has.name == offered.name && has.version == offered.version &&
                       has.build == offered.build;
        }
        if (!upToDate)
            slots.insert(i);
    }
    return slots;
}

// One port: its own session and thread.
class Station::Port : private SessionObserver {
  public:
    Port(Station& station, std::string portName)
        : name(std::move(portName)),
          device(resolvePortName(name)),
          station_(station),
          traced_(station.observer_.traces(name)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Port() { stop(); }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    void stopTaking() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            taking_ = false;
        }
        wake_.notify_all();
    }
    bool inRun() const { return inRun_; }
    bool absent() const { return state_ == PortState::Absent; }

    const std::string name;
    const std::string device;

  private:
    enum class Probe { Absent, Held, Silent, Answered };

    void run();
    Probe probe(UpdateSession& session);
    void update(UpdateSession& session);
    void setState(PortState state);
    void emit(StationEvent event);
    // False when the port is being stopped; true after ms, or at once when
    // told to stop taking chronometers.
    bool pause(uint32_t ms);
    bool takingChronometers() {
        std::lock_guard<std::mutex> lock(mutex_);
        return taking_;
    }

    // The session's events.
    void identified(const std::string& answer) override { identification_ = answer; }
    void progress(int phase, int phaseCount, int, int overall) override {
        StationEvent e;
        e.kind = StationEvent::Kind::Progress;
        e.state = PortState::Transferring;
        e.overall = std::clamp(overall, 0, 100);
        e.phase = phase;
        e.phaseCount = phaseCount;
        emit(e);
    }
    void restarting() override { setState(PortState::Restarting); }
    void frame(TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tick,
               uint32_t bps) override {
        station_.observer_.frame(name, kind, bytes, size, tick, bps);
    }

    Station& station_;
    const bool traced_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool taking_ = true;
    std::atomic<bool> inRun_{false};
    std::atomic<PortState> state_{PortState::Waiting};
    std::string identification_;
};

void Station::Port::emit(StationEvent event) {
    event.port = name;
    event.device = device;
    station_.observer_.stationEvent(event);
}

void Station::Port::setState(PortState state) {
    if (state_.exchange(state) == state)
        return;
    StationEvent e;
    e.kind = StationEvent::Kind::State;
    e.state = state;
    emit(e);
}

bool Station::Port::pause(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
    return !stopping_;
}

Station::Port::Probe Station::Port::probe(UpdateSession& session) {
    const Outcome opened = session.open(name);
    if (!opened) {
        // Another program's port is left alone; anything else is not there
        // for us (an unplugged adapter, a link not made yet).
        const bool held =
            opened.kind == OutcomeKind::PortOpenFailed &&
            (opened.openFailure == OpenFailure::InUse || opened.openFailure == OpenFailure::Other);
        return held ? Probe::Held : Probe::Absent;
    }
    return session.probe() ? Probe::Answered : Probe::Silent;
}

void Station::Port::run() {
    UpdateSession session(station_.devices_, station_.clock_, *this);
    session.setFrameTrace(traced_);
    // After a run the port waits for that chronometer to go before it takes
    // another: a restarted one may answer again.
    bool waitingToLeave = false;
    for (;;) {
        if (!waitingToLeave && !takingChronometers())
            break;
        switch (probe(session)) {
            case Probe::Absent:
                waitingToLeave = false;
                setState(PortState::Absent);
                break;
            case Probe::Held:
                waitingToLeave = false;
                setState(PortState::Held);
                break;
            case Probe::Silent:
                waitingToLeave = false;
                setState(PortState::Waiting);
                break;
            case Probe::Answered:
                if (!waitingToLeave && takingChronometers()) {
                    update(session);
                    waitingToLeave = true;
                }
                break;
        }
        session.close();
        if (!waitingToLeave && !takingChronometers())
            break;
        if (!pause(station_.options_.probeIntervalMs))
            break;
    }
    session.close();
}

void Station::Port::update(UpdateSession& session) {
    inRun_ = true;
    Clock& clock = station_.clock_;
    SerialLink& link = session.link();
    ChronometerRun r;
    r.port = name;
    r.device = device;
    r.startedMs = clock.tickMs();
    const uint64_t bytesBefore = link.bytesSent();
    identification_.clear();
    setState(PortState::Connecting);

    const LogWriter log = traced_ ? LogWriter([this](const std::string& line) {
        station_.observer_.diagnostic(name, line);
    })
                                  : nullptr;
    setState(PortState::Checking);
    const Outcome checked = session.check(station_.options_.highSpeed, log);
    r.identification = identification_;
    r.tableRead = session.current();
    if (!identification_.empty()) {
        StationEvent e;
        e.kind = StationEvent::Kind::Connected;
        e.state = PortState::Checking;
        e.identification = identification_;
        emit(e);
    }
    PortState end = PortState::Failed;
    if (!checked) {
        r.outcome = checked;
        r.status = RUN_UNREACHABLE;
    } else {
        r.selected = selectedSlots(station_.options_.selection, station_.pgm_, r.tableRead);
        std::vector<PlanItem> items;
        for (size_t i = 0; i < station_.pgm_.size(); ++i) {
            if (station_.pgm_[i].datiSize != 0)
                items.push_back({static_cast<int>(i), &station_.pgm_[i], r.selected.count(i) > 0});
        }
        const bool fits = !r.selected.empty() && session.plan(items, r.plannerOutcome, log);
        if (fits) {
            r.planMade = true;
            r.planned = session.planned();
            r.view = describePlan(r.tableRead, r.planned);
        }
        if (r.selected.empty() || (fits && !hasChanges(r.planned))) {
            // Up to date: nothing is written, no restart.
            r.current = true;
            end = PortState::Current;
        } else if (!fits) {
            r.status = RUN_NO_PLAN;
        } else {
            setState(PortState::Transferring);
            r.outcome = session.runTransfer();
            r.transferred = true;
            r.status = r.outcome.code;
            r.lastAnswer = link.RsLastAnswer();
            end = r.outcome ? PortState::Done : PortState::Failed;
        }
    }
    r.ms = clock.tickMs() - r.startedMs;
    r.bytes = link.bytesSent() - bytesBefore;
    state_ = end;
    StationEvent e;
    e.kind = StationEvent::Kind::Finished;
    e.state = end;
    e.identification = r.identification;
    e.run = &r;
    emit(e);
    inRun_ = false;
}

Station::Station(SerialDeviceOpener& devices, Clock& clock, const UpdateTable& pgm,
                 StationOptions options, StationObserver& observer)
    : devices_(devices),
      clock_(clock),
      pgm_(pgm),
      options_(std::move(options)),
      observer_(observer) {}

Station::~Station() {
    stopTaking();
    ports_.clear();
}

void Station::addPort(const std::string& name) {
    StationEvent e;
    e.kind = StationEvent::Kind::Added;
    e.port = name;
    e.device = resolvePortName(name);
    observer_.stationEvent(e);
    ports_.push_back(std::make_unique<Port>(*this, name));
}

void Station::refreshPorts() {
    if (!started_) {
        started_ = true;
        if (!options_.ports.empty()) {
            for (const std::string& name : options_.ports)
                addPort(name);
            return;
        }
        for (const char* com : {"COM1", "COM2", "COM3", "COM4"})
            addPort(com);
    } else if (!options_.ports.empty()) {
        return;
    }
    const std::vector<std::string> adapters = devices_.adapterPaths();
    auto known = [this](const std::string& name) {
        return std::any_of(ports_.begin(), ports_.end(),
                           [&](const std::unique_ptr<Port>& p) { return p->name == name; });
    };
    for (const std::string& path : adapters) {
        if (!known(path))
            addPort(path);
    }
    // An adapter that has gone leaves once its port is idle.
    for (auto it = ports_.begin(); it != ports_.end();) {
        Port& p = **it;
        const bool adapter =
            p.name != "COM1" && p.name != "COM2" && p.name != "COM3" && p.name != "COM4";
        if (adapter && !p.inRun() && p.absent() &&
            std::find(adapters.begin(), adapters.end(), p.name) == adapters.end()) {
            StationEvent e;
            e.kind = StationEvent::Kind::Removed;
            e.port = p.name;
            e.device = p.device;
            e.state = PortState::Absent;
            it = ports_.erase(it);  // stops its thread
            observer_.stationEvent(e);
        } else {
            ++it;
        }
    }
}

void Station::stopTaking() {
    for (const auto& p : ports_)
        p->stopTaking();
}

bool Station::quiet() const {
    return std::none_of(ports_.begin(), ports_.end(),
                        [](const std::unique_ptr<Port>& p) { return p->inRun(); });
}

void Station::join() {
    for (const auto& p : ports_)
        p->stop();
}

}  // namespace zor
