#include "text/station_text.h"

#include "text/outcome_text.h"

namespace zor {

std::string stationStateText(PortState state, int overall, int phase, int phaseCount,
                             const RunFailure& failure) {
    switch (state) {
        case PortState::Absent:
            return "assente";
        case PortState::Held:
            return "occupata";
        case PortState::Waiting:
            return "in attesa";
        case PortState::Connecting:
            return "collegamento";
        case PortState::Checking:
            return "verifica";
        case PortState::Transferring:
            return phaseCount > 0 ? "trasferimento " + std::to_string(overall) + "% fase " +
                                        std::to_string(phase) + "/" + std::to_string(phaseCount)
                                  : std::string("trasferimento");
        case PortState::Restarting:
            return "riavvio";
        case PortState::Done:
            return "completato";
        case PortState::UpToDate:
            return "già aggiornato";
        case PortState::Failed: {
            const std::string meaning = failureMeaning(failure);
            return "errore " + std::to_string(failure.number) +
                   (meaning.empty() ? "" : " " + meaning);
        }
    }
    return std::string();
}

std::string failureMeaning(const RunFailure& failure) {
    switch (failure.end) {
        case RunEnd::Unreachable:
            return "collegamento";
        case RunEnd::Unchanged:
        case RunEnd::NoFit:
            return "piano";
        case RunEnd::TransferFailed:
        case RunEnd::Done:
            break;
        default:
            return std::string();
    }
    switch (failure.code) {
        case TRANSFER_NO_PORT:
            return "porta";
        case TRANSFER_PROGRAM_START:
            return "avvio";
        case TRANSFER_DATA_BLOCK:
            return "dati";
        case TRANSFER_WRITE:
            return "scrittura";
        case TRANSFER_RESTART:
            return "riavvio";
        case TRANSFER_LISTING:
            return "risposta";
        case TRANSFER_BAD_TYPE:
            return "partizione";
        case TRANSFER_ERASE:
            return "cancellazione";
        default:
            return std::string();
    }
}

std::string failureStep(const RunFailure& failure) {
    switch (failure.end) {
        case RunEnd::Unreachable:
            return "Controllare il cavo e la modalità \"Aggiornamento software\", poi "
                   "ricollegarlo.";
        case RunEnd::Unchanged:
        case RunEnd::NoFit:
            return "I componenti scelti non si installano su questo cronometro: controllarlo "
                   "con 'zorload-cli check'.";
        default:
            break;
    }
    switch (failure.code) {
        case TRANSFER_PROGRAM_START:
            return "Controllare che sia in modalità \"Aggiornamento software\" e ricollegarlo.";
        case TRANSFER_DATA_BLOCK:
            return "Controllare il cavo (senza --high se era dato) e ricollegarlo.";
        case TRANSFER_WRITE:
            return "Ricollegarlo; se si ripete, contattare l'assistenza.";
        case TRANSFER_RESTART:
            return "Tutto è stato scritto: spegnerlo e riaccenderlo, poi controllarlo con "
                   "'zorload-cli check'.";
        case TRANSFER_LISTING:
            return "Controllare il cavo e l'alimentazione, poi ricollegarlo.";
        case TRANSFER_BAD_TYPE:
            return "Contattare l'assistenza.";
        default:
            return "Ricollegarlo.";
    }
}

std::string portWatchedText(const std::string& device) {
    return "sorvegliata (" + device + ")";
}

const char* const PORT_UNPLUGGED_TEXT = "scollegata";
const char* const CHRONOMETER_GONE_TEXT = "scollegato";

std::string chronometerText(const std::string& identification) {
    return "cronometro " + identification;
}

std::string chronometerPluggedText(const std::string& time, const std::string& port) {
    return time + " " + port + ": cronometro collegato";
}

std::string stationPhaseText(int phase, int phaseCount, const std::string& left) {
    return "fase " + std::to_string(phase) + "/" + std::to_string(phaseCount) +
           (left.empty() ? "" : ", resta " + left);
}

std::string knownAgainText(const std::string& stateText) {
    return stateText + " in questa sessione, non riscritto";
}

std::string runResultTraceText(const std::string& result) {
    return "esito: " + result;
}

std::string lastAnswerTraceText(const std::string& lastAnswer) {
    return " (ultima risposta \"" + lastAnswer + "\")";
}

const char* const POSITION_HEADING = "Posto";
const StationHeadings STATION_HEADINGS = {"Porta",      "Dispositivo", "Stato",
                                          "Cronometro", "Tempo",       "Resta"};

std::string hiddenPortsText(size_t hidden, bool allWaiting) {
    return "+" + std::to_string(hidden) + (allWaiting ? " in attesa" : " altre porte");
}

std::string stationTotalsText(int done, int failed, int upToDate, uint64_t perHour,
                              const std::string& elapsed, const std::string& benchLeft) {
    return "Completati " + std::to_string(done) + ", falliti " + std::to_string(failed) +
           ", già aggiornati " + std::to_string(upToDate) + ", " + std::to_string(perHour) +
           " cronometri/ora, " + elapsed + (benchLeft.empty() ? "" : ", resta " + benchLeft);
}

std::string stationStoppingText(long running) {
    return "Arresto: nessun nuovo cronometro, " + std::to_string(running) +
           (running == 1 ? " trasferimento in corso" : " trasferimenti in corso");
}

std::string stationSummaryText(int done, int failed, int upToDate, const std::string& elapsed) {
    return "Riepilogo: completati " + std::to_string(done) + ", falliti " + std::to_string(failed) +
           ", già aggiornati " + std::to_string(upToDate) + " in " + elapsed + ".";
}

std::string failedChronometerText(const std::string& port, const std::string& serial,
                                  const RunFailure& failure, const std::string& lastAnswer) {
    std::string text = "Fallito: " + port + ", S/N " + (serial.empty() ? "?" : serial) +
                       ", errore " + std::to_string(failure.number);
    const std::string meaning = failureMeaning(failure);
    if (!meaning.empty())
        text += " " + meaning;
    if (!lastAnswer.empty())
        text += ", ultima risposta \"" + lastAnswer + "\"";
    return text + ". " + failureStep(failure);
}

std::string emptyPortEntryText(const std::string& list) {
    return "--ports '" + list + "': voce vuota nell'elenco";
}

std::string notASerialPortText(const std::string& label) {
    return "--ports: " + label + " non è una porta seriale";
}

std::string samePortText(const std::string& first, const std::string& second,
                         const std::string& identity) {
    return "--ports: " + first + " e " + second + " sono la stessa porta (" + identity + ")";
}

namespace {

std::string positionsFile(const std::string& path) {
    return "file dei posti " + path;
}

}  // namespace

std::string positionsFaultText(const std::string& path, const PositionsResult& result) {
    const std::string line = positionsFile(path) + ", riga " + std::to_string(result.line) + ": ";
    switch (result.fault) {
        case PositionsFault::None:
        case PositionsFault::Missing:
            break;
        case PositionsFault::Unreadable:
            return positionsFile(path) + ": " + osErrorText(result.problem.error);
        case PositionsFault::TooLarge:
            return positionsFile(path) + ": più lungo di " +
                   std::to_string(BENCH_POSITIONS_MAX_BYTES / 1024) + " KiB";
        case PositionsFault::BadLine:
            return line + "attesa una riga 'nome=porta'";
        case PositionsFault::EmptyName:
            return line + "manca il nome del posto prima di '='";
        case PositionsFault::EmptyPort:
            return line + "manca la porta dopo '='";
        case PositionsFault::SameName:
            return line + "un posto con questo nome c'è già";
        case PositionsFault::SamePort:
            return line + "questa porta è già di un altro posto";
        case PositionsFault::BadCharacter:
            return line + "un carattere di controllo, o testo non UTF-8, nel nome o nella porta";
        case PositionsFault::NoSection:
            return line + "fuori da ogni sezione (manca [posti] prima dei posti)";
        case PositionsFault::UnknownKey:
            return line + "impostazione sconosciuta in [storico] (sono procedura, banco, " +
                   "percorso e mqtt)";
        case PositionsFault::BadValue:
            return line + "per procedura e banco si scrive si oppure no";
    }
    return positionsFile(path);
}

std::string positionsFaultText(const std::string& path, const SettingsResult& result) {
    PositionsResult fault;
    fault.fault = result.fault;
    fault.line = result.line;
    fault.problem = result.problem;
    return positionsFaultText(path, fault);
}

std::string positionNotASerialPortText(const std::string& path, const std::string& position,
                                       const std::string& label) {
    return positionsFile(path) + ": " + position + ": " + label + " non è una porta seriale";
}

std::string positionsSamePortText(const std::string& path, const std::string& first,
                                  const std::string& second, const std::string& identity) {
    return positionsFile(path) + ": " + first + " e " + second + " sono sulla stessa porta (" +
           identity + ")";
}

}  // namespace zor
