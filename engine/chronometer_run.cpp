#include "engine/chronometer_run.h"

#include "flash/planner.h"
#include "link/serial_link.h"

namespace zor {

std::set<size_t> selectedSlots(const ComponentSelection& selection, const UpdateTable& components,
                               const PartitionTable& installed) {
    std::set<size_t> slots;
    for (size_t i = 0; i < components.size(); ++i) {
        if (!components[i].hasData())
            continue;
        if (!selection.outdated) {
            if (selection.slots.count(i))
                slots.insert(i);
            continue;
        }
        const TextParts offered = splitText(components[i].versionText());
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

namespace {

// Ends the run: its time and bytes.
void close(UpdateSession& session, ChronometerRun& run, uint64_t bytesBefore, RunEnd end) {
    SerialLink& link = session.link();
    run.end = end;
    run.ms = link.clock().tickMs() - run.startedMs;
    run.bytes = link.bytesSent() - bytesBefore;
}

}  // namespace

void runChronometer(UpdateSession& session, const UpdateTable& components,
                    const ComponentSelection& selection, bool highSpeed, const LogWriter& log,
                    const RunSteps& steps, ChronometerRun& run) {
    SerialLink& link = session.link();
    const uint64_t bytesBefore = link.bytesSent();
    run.selected = selection.slots;
    const Outcome checked = session.check(highSpeed, log);
    run.identification = session.identification();
    run.tableRead = session.tableRead();
    if (!checked) {
        run.outcome = checked;
        return close(session, run, bytesBefore, RunEnd::Unreachable);
    }
    if (steps.checked && !steps.checked(run))
        return close(session, run, bytesBefore, RunEnd::Skipped);

    run.selected = selectedSlots(selection, components, run.tableRead);
    if (run.selected.empty())
        return close(session, run, bytesBefore, RunEnd::NothingToWrite);
    // The components the wizard would list: every slot with data.
    std::vector<PlanItem> items;
    for (size_t i = 0; i < components.size(); ++i) {
        if (components[i].hasData())
            items.push_back({static_cast<int>(i), &components[i], run.selected.count(i) > 0});
    }
    const bool fits = session.plan(items, run.verdict, log);
    run.planMade = true;
    run.planned = session.planned();
    run.view = session.planView();
    const bool goOn = !steps.planned || steps.planned(run);
    if (!fits)
        return close(session, run, bytesBefore, RunEnd::NoFit);
    if (!hasChanges(run.planned))
        return close(session, run, bytesBefore, RunEnd::Unchanged);
    if (!goOn)
        return close(session, run, bytesBefore, RunEnd::Planned);

    if (steps.transferring)
        steps.transferring(run);
    const uint64_t transferBefore = link.bytesSent();
    const Outcome outcome = steps.transfer ? steps.transfer(session) : session.runTransfer();
    endTransferredRun(session, outcome, bytesBefore, transferBefore, run);
}

void endTransferredRun(UpdateSession& session, const Outcome& outcome, uint64_t bytesBefore,
                       uint64_t transferBefore, ChronometerRun& run) {
    SerialLink& link = session.link();
    run.outcome = outcome;
    run.code = outcome.code;
    run.lastAnswer = link.RsLastAnswer();
    run.transferBytes = link.bytesSent() - transferBefore;
    run.phase = session.transferPhase();
    run.phaseCount = session.transferPhaseCount();
    close(session, run, bytesBefore, outcome ? RunEnd::Done : RunEnd::TransferFailed);
}

int runCode(const ChronometerRun& run) {
    switch (run.end) {
        case RunEnd::Unreachable:
            return RUN_UNREACHABLE;
        case RunEnd::Unchanged:
        case RunEnd::NoFit:
            return RUN_NO_PLAN;
        case RunEnd::TransferFailed:
        case RunEnd::Done:
            return run.code;
        default:
            return 0;
    }
}

std::string serialNumberOf(const std::string& identification) {
    const std::string text = utf8Text(identification, true);
    const size_t sn = text.find("S/N ");
    if (sn != std::string::npos) {
        const size_t end = text.find(' ', sn + 4);
        return text.substr(sn + 4, end == std::string::npos ? std::string::npos : end - sn - 4);
    }
    return text.size() > 4 ? text.substr(4) : text;
}

}  // namespace zor
