#include "cli/transfer_run.h"

#include <memory>

#include "app/main_thread_queue.h"
#include "cli/port_access.h"
#include "cli/progress.h"
#include "platform/clock.h"
#include "platform/terminal.h"

namespace zor::cli {

const char* nextStep(Hint hint) {
    switch (hint) {
        case Hint::RetryCommand:
            return "la porta non era aperta: ripetere il comando.";
        case Hint::ChronometerMode:
            return "il cronometro ha rifiutato l'avvio del componente: controllare che sia in "
                   "modalità \"Aggiornamento software\" e ripetere il comando.";
        case Hint::RetryWithoutHigh:
            return "un blocco di dati non è stato confermato: controllare il cavo, ripetere il "
                   "comando (senza --high se era dato).";
        case Hint::RetryWrite:
            return "la scrittura nella memoria del cronometro non è terminata bene: ripetere il "
                   "comando; se si ripete, contattare l'assistenza.";
        case Hint::PowerCycle:
            return "tutto è stato scritto, ma il cronometro non ha confermato il riavvio: "
                   "spegnerlo e riaccenderlo, poi controllare con 'zorload-cli check'.";
        case Hint::ChronometerSilent:
            return "il cronometro non risponde più: controllare il cavo e l'alimentazione, poi "
                   "ripetere il comando.";
        case Hint::Support:
            return "il piano contiene una partizione che non si può scrivere: contattare "
                   "l'assistenza.";
        case Hint::RetryErase:
            return "la cancellazione di un blocco non è riuscita: ripetere il comando.";
        default:
            return "ripetere il comando.";
    }
}

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
    const size_t count = phases.size();
    display.begin("Trasferimento su " + portLabel(conn.port, conn.device) + " a " +
                  std::to_string(session.link().lineSpeed()) + " bit/s: " + std::to_string(count) +
                  (count == 1 ? " fase, " : " fasi, ") + std::to_string(dataBytes) +
                  " byte di dati. Non spegnere il cronometro e non scollegare il cavo.");

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
        r.phase = "riavvio del cronometro";
    } else if (session.transferPhase() == 0) {
        r.phase = "verifica del cronometro";
    } else {
        r.phase = "fase " + std::to_string(session.transferPhase()) + "/" +
                  std::to_string(session.transferPhaseCount()) + ", " + display.currentPhaseText();
    }
    // Back to what holds with the port open and no transfer.
    setInterruptMode(InterruptMode::Defer);
    return r;
}

}  // namespace zor::cli
