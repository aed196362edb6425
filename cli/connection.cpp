#include "cli/connection.h"

#include <cstdio>

#include "app/encoding.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/port_access.h"
#include "cli/trace.h"
#include "engine/plan_json.h"
#include "platform/clock.h"
#include "text/cli_text.h"

namespace zor::cli {

void CliObserver::identified(const std::string& answer) {
    identification_ = logSafeText(answer);
}

void CliObserver::frame(TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tickMs,
                        uint32_t bitsPerSecond) {
    std::fputs(frameLine(originMs_, kind, bytes, size, tickMs, bitsPerSecond).c_str(), stderr);
}

void CliObserver::progress(int phase, int phaseCount, int percent, int) {
    if (display_)
        display_->progress(phase, phaseCount, percent);
}

void CliObserver::dataSent(uint64_t bytes) {
    if (display_)
        display_->dataSent(bytes);
}

void CliObserver::deviceStep(const DeviceStep& step) {
    if (display_)
        display_->deviceStep(step);
}

void CliObserver::restarting() {
    if (display_)
        display_->restarting();
}

int unreachable(const Options& opt, const Connection& c) {
    if (opt.json) {
        printJson(JsonWriter()
                      .beginObject()
                      .member("port", c.port)
                      .member("device", c.device)
                      .member("error", c.failure)
                      .member("exit_status", EXIT_UNREACHABLE)
                      .endObject());
    }
    return EXIT_UNREACHABLE;
}

bool parseSelection(const std::string& list, const UpdateTable& components, size_t segments,
                    ComponentSelection& selection) {
    std::set<size_t>& slots = selection.slots;
    if (list == "outdated") {
        selection.outdated = true;
        return true;
    }
    if (list == "all") {
        for (size_t i = 0; i < segments; ++i) {
            if (components[i].hasData())
                slots.insert(i);
        }
        return true;
    }
    size_t pos = 0;
    while (pos <= list.size()) {
        const size_t comma = std::min(list.find(',', pos), list.size());
        const std::string item = list.substr(pos, comma - pos);
        if (item.empty() || item.size() > 3 ||
            item.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        const size_t slot = std::stoul(item);
        if (slot >= segments || !components[slot].hasData())
            return false;
        slots.insert(slot);
        pos = comma + 1;
    }
    return true;
}

bool openPort(UpdateSession& session, CliObserver& observer, const Options& opt, Connection& c) {
    c.port = opt.positional[0];
    c.device = resolvePortName(c.port);
    if (opt.trace) {
        session.setFrameTrace(true);
        observer.restartTraceClock(systemClock().tickMs());
    }
    std::fprintf(stderr, "%s\n", connectingText(portLabel(c.port, c.device)).c_str());
    const Outcome opened = session.open(c.port);
    if (opened)
        return true;
    const std::string text =
        opened.kind == OutcomeKind::PortOpenFailed
            ? openFailureText(c.port, c.device, opened.openFailure, opened.osError)
            : configureFailureText(c.port, c.device, opened.osError);
    std::fputs(text.c_str(), stderr);
    c.failure = text.substr(0, text.find('\n'));
    return false;
}

void checkFailed(const Outcome& checked, const Options& opt, Connection& c) {
    const std::string label = portLabel(c.port, c.device);
    if (checked.kind == OutcomeKind::ListingIncomplete) {
        // It answered, but its partition listing broke off.
        c.failure = listingIncompleteText(label);
        std::fprintf(stderr, "%s\n%s\n", c.failure.c_str(), hintText(cableHint(opt.high)).c_str());
    } else {
        printBoxes(checked, applicationTitle());
        c.failure = noAnswerText(label);
        std::fprintf(stderr, "%s %s\n", c.failure.c_str(), SPEEDS_TRIED_TEXT);
    }
}

bool connect(UpdateSession& session, CliObserver& observer, const Options& opt, Connection& c) {
    if (!openPort(session, observer, opt, c))
        return false;
    const Outcome checked = session.check(opt.high, traceLog(opt));
    c.identification = observer.identification();
    if (!checked)
        checkFailed(checked, opt, c);
    return checked.ok();
}

}  // namespace zor::cli
