#include "engine/station.h"

#include <algorithm>

#include "app/percent.h"
#include "link/conn_check.h"
#include "link/protocol.h"

namespace zor {

// One port: its own session and thread.
class Station::Port : private SessionObserver {
  public:
    Port(Station& station, std::string portName)
        : name(std::move(portName)),
          device(resolvePortName(name)),
          where{name, device},
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
    // Runs the failed chronometer still on the port once more; false when
    // the port's last run did not fail or a run is under way.
    bool retry() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (inRun_ || state_ != PortState::Failed || !taking_)
                return false;
            retry_ = true;
        }
        wake_.notify_all();
        return true;
    }
    bool inRun() const { return inRun_; }
    bool absent() const { return state_ == PortState::Absent; }

    const std::string name;
    const std::string device;
    const StationPort where;  // as the events name it

  private:
    // Lost: the device went away under the open port (an adapter unplugged).
    enum class Probe { Absent, Lost, Held, Silent, Answered };

    void run();
    Probe probe(UpdateSession& session);
    // Whether the chronometer answering after its run is the one that ran
    // (its identification asked again); true when it does not say.
    bool sameChronometer(UpdateSession& session);
    void update(UpdateSession& session);
    void setState(PortState state);
    // False when the port is being stopped; true after ms, or at once when
    // told to stop taking chronometers.
    bool pause(uint32_t ms);
    bool takingChronometers() {
        std::lock_guard<std::mutex> lock(mutex_);
        return taking_;
    }
    // Whether a retry was asked for, clearing the request.
    bool takeRetry() {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool asked = retry_ && taking_;
        retry_ = false;
        return asked;
    }

    // The session's events.
    void progress(int phase, int phaseCount, int, int overall) override {
        phase_ = phase;
        phaseCount_ = phaseCount;
        StationProgress p;
        p.overall = clampPercent(overall);
        p.phase = phase;
        p.phaseCount = phaseCount;
        if (timeLeft_) {
            const uint32_t now = station_.clock_.tickMs();
            timeLeft_->update(now, sent_, phase, phaseCount);
            p.leftMs = timeLeft_->leftMs(now);
        }
        station_.observer_.transferProgress(where, p);
    }
    // Every frame written during the transfer, for the time left.
    void dataSent(uint64_t bytes) override {
        sent_ += bytes;
        if (timeLeft_)
            timeLeft_->update(station_.clock_.tickMs(), sent_, phase_, phaseCount_);
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
    bool retry_ = false;  // the failed chronometer is to run again
    std::atomic<bool> inRun_{false};
    std::atomic<PortState> state_{PortState::Waiting};
    std::string lastIdentification_;  // of the port's last run
    // The transfer under way: its time left, its bytes written, its phase.
    std::unique_ptr<TimeLeft> timeLeft_;
    uint64_t sent_ = 0;
    int phase_ = 0, phaseCount_ = 0;
};

void Station::Port::setState(PortState state) {
    if (state_.exchange(state) == state)
        return;
    station_.observer_.portState(where, state);
}

bool Station::Port::pause(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_ || retry_; });
    return !stopping_;
}

Station::Port::Probe Station::Port::probe(UpdateSession& session) {
    SerialLink& link = session.link();
    if (session.isOpen() && !link.RsLineLost()) {
        // Held since the last probe: back to the speed every chronometer
        // starts at (a run may have left it at another).
        if (link.lineSpeed() != proto::SPEEDS[proto::SPEED_NORMAL] &&
            !link.RsSetSpeed(proto::SPEED_NORMAL)) {
            session.close();
            return Probe::Absent;
        }
    } else {
        session.close();
        const Outcome opened = session.open(name);
        if (!opened) {
            // Another program's port is left alone; anything else is not
            // there for us (an unplugged adapter, a link not made yet).
            const bool held = opened.kind == OutcomeKind::PortOpenFailed &&
                              (opened.openFailure == OpenFailure::InUse ||
                               opened.openFailure == OpenFailure::Other);
            return held ? Probe::Held : Probe::Absent;
        }
    }
    if (session.probe())
        return Probe::Answered;
    if (link.RsLineLost()) {
        // The device went away under the open port (an adapter unplugged):
        // whatever was on it has gone. The port is let go, so that the next
        // probe finds it gone or opens it anew.
        session.close();
        return Probe::Lost;
    }
    return Probe::Silent;
}

bool Station::Port::sameChronometer(UpdateSession& session) {
    int code = 0;
    return !RsIdentify(session.link(), code) ||
           session.link().RsLastAnswer() == lastIdentification_;
}

void Station::Port::run() {
    UpdateSession session(station_.devices_, station_.clock_, *this);
    // After a run the port waits for that chronometer to go before it takes
    // another: a restarted one may answer again, or miss one probe.
    bool afterRun = false;
    int missed = 0;
    for (;;) {
        if (!afterRun && !takingChronometers())
            break;
        const Probe p = probe(session);
        if (p == Probe::Answered) {
            if (!afterRun && takingChronometers()) {
                update(session);
                afterRun = true;
            } else if (afterRun && takeRetry()) {
                // The technician asked for the failed one to run again.
                update(session);
            } else if (afterRun && missed > 0 && takingChronometers() &&
                       !sameChronometer(session)) {
                // Back after a silence, and another one: swapped quickly.
                update(session);
            }
            missed = 0;
        } else if (!afterRun || p == Probe::Lost || ++missed >= LEAVE_PROBES) {
            // Gone (its device went away, or long enough): the port is
            // free for the next chronometer.
            afterRun = false;
            missed = 0;
            takeRetry();  // nothing left to retry
            setState(p == Probe::Held     ? PortState::Held
                     : p == Probe::Silent ? PortState::Waiting
                                          : PortState::Absent);
        }
        if (!afterRun && !takingChronometers())
            break;
        if (!pause(station_.options_.probeIntervalMs))
            break;
    }
    session.close();
}

void Station::Port::update(UpdateSession& session) {
    inRun_ = true;
    Clock& clock = station_.clock_;
    ChronometerRun r;
    r.port = name;
    r.device = device;
    r.startedMs = clock.tickMs();
    setState(PortState::Connecting);
    // Frames are traced within runs only: a port waiting for its
    // chronometer to leave, or for the next, is probed every second.
    session.setFrameTrace(traced_);
    const LogWriter log = traced_ ? LogWriter([this](const std::string& line) {
        station_.observer_.diagnostic(name, line);
    })
                                  : nullptr;
    setState(PortState::Checking);
    PortState known = PortState::Waiting;
    RunSteps steps;
    steps.checked = [&](const ChronometerRun& run) {
        station_.observer_.chronometerIdentified(where, run.identification);
        if (!station_.options_.again)
            known = station_.knownEnd(run.identification);
        return known == PortState::Waiting;
    };
    steps.transferring = [&](const ChronometerRun& run) {
        timeLeft_ = std::make_unique<TimeLeft>(run.planned, session.link().lineSpeed());
        sent_ = 0;
        phase_ = phaseCount_ = 0;
        setState(PortState::Transferring);
    };
    runChronometer(session, station_.components_, station_.options_.selection,
                   station_.options_.highSpeed, log, steps, r);
    session.setFrameTrace(false);
    timeLeft_.reset();
    lastIdentification_ = r.identification;

    const PortState end = r.end == RunEnd::Skipped ? known
                          : r.end == RunEnd::Done  ? PortState::Done
                          : r.upToDate()           ? PortState::UpToDate
                                                   : PortState::Failed;
    if (r.end != RunEnd::Skipped)
        station_.remember(r.identification, end);
    // A chronometer left at a higher speed (a failed transfer, one not
    // written) is asked back to the one the probes use.
    if (end != PortState::Done && session.isOpen() &&
        session.link().lineSpeed() != proto::SPEEDS[proto::SPEED_NORMAL]) {
        RsChangeSpeed(session.link(), proto::SPEED_NORMAL);
    }
    state_ = end;
    if (r.end == RunEnd::Skipped)
        station_.observer_.chronometerKnown(where, r.identification, end);
    else
        station_.observer_.runFinished(where, end, r);
    inRun_ = false;
}

PortState Station::knownEnd(const std::string& identification) {
    std::lock_guard<std::mutex> lock(knownMutex_);
    const auto it = known_.find(identification);
    return it == known_.end() ? PortState::Waiting : it->second;
}

void Station::remember(const std::string& identification, PortState end) {
    if (identification.empty())
        return;
    std::lock_guard<std::mutex> lock(knownMutex_);
    if (end == PortState::Failed)
        known_.erase(identification);  // plugged again, it is retried
    else
        known_[identification] = end;
}

Station::Station(SerialDeviceOpener& devices, Clock& clock, const UpdateTable& components,
                 StationOptions options, StationObserver& observer)
    : devices_(devices),
      clock_(clock),
      components_(components),
      options_(std::move(options)),
      observer_(observer) {}

Station::~Station() {
    stopTaking();
    ports_.clear();
}

void Station::addPort(const std::string& name) {
    observer_.portAdded({name, resolvePortName(name)});
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
        for (const char* com : COM_PORTS)
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
        if (!isComPort(p.name) && !p.inRun() && p.absent() &&
            std::find(adapters.begin(), adapters.end(), p.name) == adapters.end()) {
            const StationPort gone{p.name, p.device};
            it = ports_.erase(it);  // stops its thread
            observer_.portRemoved(gone);
        } else {
            ++it;
        }
    }
}

bool Station::retry(const std::string& port) {
    for (const auto& p : ports_) {
        if (p->name == port)
            return p->retry();
    }
    return false;
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
