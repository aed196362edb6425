// The command engine: every intact frame heard is checked, counted, matched
// against the fault rules and answered.
#include "sim/chronometer.h"

#include "sim/conformance.h"

namespace zor::sim {

namespace {

const char* const REFUSED = "009 Comando rifiutato";

SimConfig settled(SimConfig config) {
    if (speedBps(config.startSpeed) == 0) {
        config.startSpeed = 0;
    }
    if (config.timing == SimTiming::Realistic) {
        config.wireTiming = true;  // bytes at the line's rate: 10 bit times each (8N1)
    }
    return config;
}

}  // namespace

Chronometer::Chronometer(SimConfig config)
    : config_(settled(std::move(config))),
      line_(config_.startSpeed, config_.wireTiming),
      flash_(config_.partitions) {}

void Chronometer::receive(const uint8_t* data, size_t size, uint32_t hostBps, uint32_t nowMs) {
    line_.receive(data, size, hostBps, nowMs,
                  [this](const std::vector<uint8_t>& body, uint32_t atMs) { onFrame(body, atMs); });
}

bool Chronometer::transmit(uint32_t nowMs, uint32_t hostBps, uint8_t& byte) {
    line_.advanceTo(nowMs);
    feedStream(nowMs);
    return line_.deliver(nowMs, hostBps, byte);
}

uint32_t Chronometer::nextDueMs() const {
    if (line_.closed()) {
        return UINT32_MAX;
    }
    const uint32_t queued = line_.nextQueuedMs();
    if (stream_ != Fault::None && (!line_.hasQueued() || SimLine::atOrAfter(queued, streamAtMs_))) {
        return streamAtMs_;
    }
    return queued;
}

void Chronometer::discardDue(uint32_t nowMs) {
    feedStream(nowMs);
    line_.discardDue(nowMs);
}

Fault Chronometer::faultFor(char letter) {
    int n = ++arrivals_[letter];
    for (const FaultRule& r : config_.faults) {
        if (r.command == letter && (r.occurrence == 0 || r.occurrence == n)) {
            return r.fault;
        }
    }
    return Fault::None;
}

void Chronometer::onFrame(const std::vector<uint8_t>& body, uint32_t atMs) {
    if (trace_) {
        trace_(true, atMs, body);
    }
    // Whatever endless answer was running has put its due bytes on the line
    // by now, and stops for this frame.
    feedStream(atMs);
    stream_ = Fault::None;
    const Request request = classify(body);
    const std::string expected =
        breach(request, HostSoFar{receiving_, !incoming_.empty(), lastHeard_});
    if (!expected.empty()) {
        violation(atMs, body, expected);
    }
    lastHeard_ = expected.empty() ? request.letter : '?';
    if (request.kind == Request::Kind::Foreign) {
        return;  // not addressed to the update loader: no answer
    }
    const char letter = request.letter;
    const bool control = request.kind == Request::Kind::LinkControl;
    commands_ += letter;
    Fault fault = faultFor(letter);
    if (fault == Fault::CloseLine) {
        line_.close();
        return;
    }
    if (fault == Fault::EndlessProgress || fault == Fault::Trickle ||
        (fault == Fault::EndlessListing && letter == 'B' && !control)) {
        startStream(fault, letter, control ? std::vector<uint8_t>{} : request.args,
                    atMs + firstAnswerMs(letter));
        return;
    }
    std::vector<Reply> replies;
    switchAfterReply_.reset();
    if (control) {
        linkControl(letter, request.args, fault, replies);
    } else {
        command(letter, request.args, fault, replies);
    }
    queue(replies, fault, atMs + firstAnswerMs(letter));
    if (switchAfterReply_) {
        line_.switchAfterSent(switchAfterReply_->speed, switchAfterReply_->settleMs, atMs);
    }
}

void Chronometer::violation(uint32_t atMs, const std::vector<uint8_t>& body,
                            const std::string& expected) {
    violations_.push_back(violationLine(atMs, body, expected));
    if (onViolation_) {
        onViolation_(violations_.back());
    }
}

void Chronometer::linkControl(char letter, const std::vector<uint8_t>& args, Fault fault,
                              std::vector<Reply>& replies) {
    if (fault == Fault::Silence || fault == Fault::ProgressThenSilence) {
        return;
    }
    const RequestRule* rule = ruleFor(Request::Kind::LinkControl, letter);
    if (letter == 't') {
        if (!argumentsFit(*rule, args)) {
            return;  // not the test the chronometer knows
        }
        uint8_t code = fault == Fault::WrongCode ? LC_REFUSED : LC_TEST_REPLY;
        replies.push_back({0, {LINK_CONTROL, code, 't', 'e', 's', 't'}});
    } else if (letter == 's') {
        uint8_t index = args.size() == 1 ? args[0] : 0xFF;
        if (fault == Fault::WrongCode || !argumentsFit(*rule, args)) {
            replies.push_back({0, {LINK_CONTROL, LC_REFUSED, index}});
            return;
        }
        replies.push_back({0, {LINK_CONTROL, LC_SPEED_REPLY, index}});
        switchAfterReply_ = Switch{index, config_.speedSettleMs};
    }
}

void Chronometer::command(char letter, const std::vector<uint8_t>& args, Fault fault,
                          std::vector<Reply>& replies) {
    auto say = [&replies](const std::string& text) { replies.push_back(answer(text)); };
    if (fault == Fault::Silence || (fault == Fault::ProgressThenSilence && letter != 'C')) {
        return;
    }
    const bool refuse = fault == Fault::WrongCode;
    const RequestRule* rule = ruleFor(Request::Kind::Command, letter);
    if (rule == nullptr) {
        say(refuse ? REFUSED : "099 Comando sconosciuto");
        return;
    }
    if (refuse) {
        if (letter == 'C') {
            writeComponent(args.empty() ? 0xFF : args[0], fault, replies);
        } else {
            say(REFUSED);
        }
        return;
    }
    if (!argumentsFit(*rule, args)) {
        say(rule->badArguments);
        return;
    }
    switch (letter) {
        case 'A':
            say("000 Pronto");
            break;
        case 'I':
            say(config_.identification);
            break;
        case 'B': {
            std::vector<std::string> lines = listingLines();
            if (fault == Fault::ListingCut) {
                lines.pop_back();
            }
            for (const std::string& l : lines) {
                say(l);
            }
            break;
        }
        case 'F':
            receiving_ = true;
            incoming_.clear();
            say("002 Pronto a ricevere");
            break;
        case 'E':
            if (!receiving_) {
                say("011 Nessun programma avviato");
            } else if (incoming_.size() + args.size() > SimFlash::BLOCKS * FLASH_BLOCK_BYTES) {
                say("012 Memoria insufficiente");
            } else {
                incoming_.insert(incoming_.end(), args.begin(), args.end());
                say("001 Blocco ricevuto");
            }
            break;
        case 'C':
            writeComponent(args[0], fault, replies);
            break;
        case 'D':
            // The answer comes once the block is erased (firstAnswerMs).
            flash_.erase(args[0]);
            say("004 Blocco cancellato");
            break;
        case 'J':
            ++restarts_;
            receiving_ = false;
            incoming_.clear();
            lastHeard_ = 0;
            say("000 Riavvio");
            // The chronometer reboots once the answer has left and listens at
            // its power-on speed again.
            switchAfterReply_ = Switch{config_.startSpeed, rebootMs()};
            break;
        case 'H':
            display_.assign(args.begin(), args.end());
            displayHistory_.push_back(display_);
            say("000");
            break;
    }
}

void Chronometer::writeComponent(uint8_t block, Fault fault, std::vector<Reply>& replies) {
    if (!receiving_ || incoming_.empty()) {
        replies.push_back(answer("011 Nessun programma ricevuto"));
        return;
    }
    const ComponentDescriptor d = SimFlash::describe(incoming_);
    switch (SimFlash::fit(block, d, incoming_.size())) {
        case SimFlash::Fit::BadBlock:
            replies.push_back(answer("010 Blocco non valido"));
            return;
        case SimFlash::Fit::TooLong:
            replies.push_back(answer("008 Programma troppo lungo per la partizione"));
            return;
        case SimFlash::Fit::Fits:
            break;
    }
    replies.push_back(openingReport(block));
    if (fault == Fault::ProgressThenSilence) {
        return;  // the chronometer hangs before touching the flash
    }
    const uint32_t doneMs = flashSteps(incoming_.size(), replies);
    if (fault == Fault::WrongCode) {
        replies.push_back(answer("009 Errore di scrittura", doneMs));
        return;
    }
    replies.push_back(answer("004 Programmazione completata", doneMs));
    flash_.write(block, d, incoming_);
    receiving_ = false;
    incoming_.clear();
}

}  // namespace zor::sim
