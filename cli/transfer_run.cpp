#include "cli/transfer_run.h"

#include <memory>

#include "app/main_thread_queue.h"
#include "cli/port_access.h"
#include "cli/progress.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "text/cli_text.h"

namespace zor::cli {

TransferResult runTransfer(UpdateSession& session, CliObserver& observer, const Options& opt,
                           const Connection& conn) {
    // Refused from here on. A request that came just before still ends the
    // program, with the port let go of, since nothing has been sent yet.
    setInterruptMode(InterruptMode::Refuse);
    if (pendingInterrupt() != 0) {
        setInterruptMode(InterruptMode::Defer);
        session.close();
        endIfInterrupted();
    }

    const PartitionTable& planned = session.planned();
    const bool terminal = stderrIsTerminal() && !opt.trace;
    TransferDisplay display(planned, systemClock(), terminal);
    observer.restartTraceClock(systemClock().tickMs());
    observer.setDisplay(&display);
    uint64_t dataBytes = 0;
    const std::vector<TransferPhase> phases = phasesOf(planned);
    for (const TransferPhase& p : phases)
        dataBytes += p.dataBytes;
    display.begin(transferIntroText(portLabel(conn.port, conn.device), session.link().lineSpeed(),
                                    phases.size(), dataBytes));

    MainThreadQueue mainThread;
    bool ended = false;

    // While the chronometer works on its own (erasing, verifying, restarting)
    // no report comes for seconds: the line's clock keeps going.
    std::unique_ptr<QueueTicker> ticker;
    if (terminal)
        ticker = std::make_unique<QueueTicker>(mainThread, DISPLAY_TICK_MS,
                                               [&display] { display.tick(); });
    session.startTransfer(
        [&mainThread](std::function<void()> fn) { mainThread.invokeAndWait(std::move(fn)); },
        [&mainThread, &ended] { mainThread.post([&ended] { ended = true; }); });
    mainThread.runUntil([&ended] { return ended; });
    TransferResult r;
    r.outcome = session.endTransfer();
    if (ticker)
        ticker->stop();
    observer.setDisplay(nullptr);
    observer.restartTraceClock(systemClock().tickMs());

    r.code = r.outcome.code;
    display.finish(r.code);
    r.bytes = display.bytesSent();
    r.ms = display.elapsedMs();
    if (r.outcome.hint == Hint::PowerCycle) {
        r.phase = RESTARTING_CHRONOMETER_TEXT;
    } else if (session.transferPhase() == 0) {
        r.phase = CHECKING_CHRONOMETER_TEXT;
    } else {
        r.phase = inPhaseText(session.transferPhase(), session.transferPhaseCount(),
                              display.currentPhaseText());
    }
    // Back to what holds with the port open and no transfer.
    setInterruptMode(InterruptMode::Defer);
    return r;
}

}  // namespace zor::cli
