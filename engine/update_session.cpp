#include "engine/update_session.h"

#include <utility>

#include "updatefile/loader.h"

namespace zor {

UpdateSession::UpdateSession(SerialDeviceOpener& devices, Clock& clock, SessionObserver& observer)
    : devices_(devices), clock_(clock), observer_(observer), link_(devices, clock) {
    emptyTable(components_);
    resetTable(tableRead_);
    resetTable(planned_);
    link_.setTraceHook([this](TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tick) {
        if (kind == TraceKind::Sent)
            observer_.dataSent(size);
        if (frameTrace_)
            observer_.frame(kind, bytes, size, tick, link_.lineSpeed());
    });
}

UpdateSession::~UpdateSession() {
    transfer_.reset();
}

Outcome UpdateSession::loadFile(const std::string& fileName) {
    const Outcome outcome = LoadUpdateFile(fileName, components_, versionLines_, identifier_,
                                           &segments_, [this](bool on) { observer_.busy(on); });
    if (!outcome)
        observer_.failed(outcome);
    return outcome;
}

PortScan UpdateSession::scanPorts() {
    const bool wasOpen = link_.RsIsOpen();
    PortScanSteps steps;
    steps.busy = [this, wasOpen](bool on) {
        observer_.busy(on);
        // The scan closes the link first.
        if (on && wasOpen)
            observer_.portClosed();
    };
    steps.cleared = [this] { observer_.scanCleared(); };
    steps.rowAdded = [this](const PortRow& row) { observer_.scanRow(row); };
    steps.scanned = [this](const PortScan& scan) { observer_.scanFinished(scan); };
    steps.noPorts = [this](const Outcome& outcome) { observer_.failed(outcome); };
    return ScanPorts(devices_, link_, clock_, steps);
}

Outcome UpdateSession::open(const std::string& portName) {
    const bool wasOpen = link_.RsIsOpen();
    const Outcome outcome = link_.RsOpen(portName);
    if (wasOpen)
        observer_.portClosed();
    if (outcome)
        observer_.portOpened(portName, link_.lineSpeed());
    else
        observer_.failed(outcome);
    return outcome;
}

Outcome UpdateSession::check(bool highSpeed, const LogWriter& log) {
    const bool wasOpen = link_.RsIsOpen();
    CheckReport report;
    const Outcome outcome = ConnCheck(link_, tableRead_, highSpeed, log, &report);
    identification_ = report.identified ? report.identification : std::string();
    if (wasOpen) {
        observer_.speedAgreed(report.speedAgreed, link_.lineSpeed());
        if (report.identified) {
            observer_.identified(report.identification);
            observer_.tableRead(tableRead_, report.listingComplete);
        }
    }
    if (!outcome)
        observer_.failed(outcome);
    return outcome;
}

bool UpdateSession::probe() {
    return RsTestLink(link_);
}

void UpdateSession::close() {
    if (!link_.RsIsOpen())
        return;
    link_.RsClose();
    observer_.portClosed();
}

bool UpdateSession::plan(const std::vector<PlanItem>& items, PlanVerdict& verdict,
                         const LogWriter& log) {
    const bool fits = SistemaBlocchi(items, tableRead_, planned_, verdict, log);
    planView_ = describePlan(tableRead_, planned_);
    observer_.planned({tableRead_, planned_, fits, verdict, planView_});
    return fits;
}

void UpdateSession::startTransfer(TDownloader::InvokeAndWait invokeAndWait,
                                  std::function<void()> ended) {
    transfer_ = std::make_unique<TDownloader>(
        link_, planned_, progressToObserver(), std::move(invokeAndWait),
        [ended = std::move(ended)](TransferCode) {
            if (ended)
                ended();
        },
        &observer_);
    transfer_->start();
}

TDownloader::ProgressFn UpdateSession::progressToObserver() {
    return [this](int phase, int count, int percent) {
        observer_.progress(phase, count, percent, overallProgress(phase, count, percent));
    };
}

Outcome UpdateSession::runTransfer() {
    TDownloader worker(link_, planned_, progressToObserver(), nullptr, nullptr, &observer_);
    const TransferCode code = worker.run();
    lastPhase_ = worker.phaseIndex();
    lastPhaseCount_ = worker.phaseCount();
    const Outcome outcome = transferOutcome(code, link_.RsLastAnswer());
    observer_.finished(outcome);
    return outcome;
}

Outcome UpdateSession::endTransfer() {
    if (!transfer_)
        return Outcome::success();
    transfer_->join();
    const TransferCode code = transfer_->resultCode();
    lastPhase_ = transfer_->phaseIndex();
    lastPhaseCount_ = transfer_->phaseCount();
    transfer_.reset();
    const Outcome outcome = transferOutcome(code, link_.RsLastAnswer());
    observer_.finished(outcome);
    return outcome;
}

}  // namespace zor
