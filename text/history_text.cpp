#include "text/history_text.h"

#include "text/cli_text.h"
#include "text/plan_text.h"
#include "text/station_text.h"

namespace zor {

namespace {

std::string whyText(const HistoryResult& result) {
    switch (result.fault) {
        case HistoryFault::PathRefused:
            return fileProblemText(result.problem);
        case HistoryFault::CannotOpen:
            return "il database non si apre (" + result.message + ")";
        case HistoryFault::NewerSchema:
            return "il database è di una versione più recente di Zorload (schema " +
                   std::to_string(result.schemaVersion) + ")";
        case HistoryFault::CannotWrite:
            return "scrittura non riuscita (" + result.message + ")";
        case HistoryFault::CannotRead:
            return "lettura non riuscita (" + result.message + ")";
        case HistoryFault::Unavailable:
            return "questa versione del programma è senza storico";
        case HistoryFault::NoServer:
            return "questa versione del programma non scrive lo storico su un server "
                   "PostgreSQL";
        case HistoryFault::None:
            break;
    }
    return std::string();
}

}  // namespace

std::string historyProblemText(const std::string& path, const HistoryResult& result) {
    return "storico " + path + ": " + whyText(result);
}

std::string historyNotKeptText(const std::string& path, const HistoryResult& result) {
    return "Attenzione: l'esecuzione non è stata registrata nello storico " + path + ": " +
           whyText(result) + ". L'aggiornamento prosegue.";
}

std::string historyUnsentText(const std::string& server, size_t waiting, const HistoryResult& why) {
    std::string text = "Attenzione: ";
    text += waiting == 1 ? "1 esecuzione resta" : std::to_string(waiting) + " esecuzioni restano";
    text += " da inviare allo storico " + server;
    if (!why.ok())
        text += " (" + whyText(why) + ")";
    return text + ": partiranno con le prossime esecuzioni.";
}

std::string historyServerFallbackText(const std::string& server, const HistoryResult& why,
                                      const std::string& localPath) {
    return "Attenzione: storico " + server + " non raggiungibile (" + whyText(why) +
           "): mostro le esecuzioni di questo banco (" + localPath + ").";
}

std::string historySettingsIgnoredLine(const std::string& fault) {
    return "Attenzione: " + fault + ": le impostazioni dello storico sono ignorate.";
}

std::string historyNoPathText() {
    return std::string("Attenzione: l'esecuzione non è stata registrata nello storico: ") +
           NO_HISTORY_PATH_TEXT + ". L'aggiornamento prosegue.";
}

const char* const NO_HISTORY_PATH_TEXT =
    "nessuna cartella per lo storico (HOME, XDG_STATE_HOME o LOCALAPPDATA non impostate): "
    "indicarne una con --history o ZORLOAD_HISTORY";

std::string runMeaningText(const std::string& meaningKey, int code, bool dryRun) {
    if (meaningKey == meaning::DONE)
        return "completato";
    if (meaningKey == meaning::CURRENT)
        return alreadyUpToDateText();
    if (meaningKey == meaning::PLANNED || dryRun)
        return "solo piano";
    if (meaningKey == meaning::SKIPPED)
        return "non aggiornato";
    RunFailure failure;
    failure.number = code;
    failure.end = meaningKey == meaning::UNREACHABLE ? RunEnd::Unreachable
                  : meaningKey == meaning::NO_FIT    ? RunEnd::NoFit
                  : meaningKey == meaning::UNCHANGED ? RunEnd::Unchanged
                                                     : RunEnd::TransferFailed;
    failure.code = static_cast<TransferCode>(code);
    const std::string word = failureMeaning(failure);
    return "errore " + std::to_string(code) + (word.empty() ? std::string() : " " + word);
}

std::string verdictKeyText(const std::string& verdictKey) {
    if (verdictKey == verdict::COMPLETE)
        return verdictText(PlanVerdict::Complete);
    if (verdictKey == verdict::PARTIAL)
        return verdictText(PlanVerdict::Partial);
    if (verdictKey == verdict::UNCHANGED)
        return verdictText(PlanVerdict::Unchanged);
    if (verdictKey == verdict::NO_MILO)
        return verdictText(PlanVerdict::NoMilo);
    if (verdictKey == verdict::CURRENT)
        return alreadyUpToDateText();
    return std::string();
}

const HistoryHeadings HISTORY_HEADINGS = {"Ora (UTC)", "Banco", "Porta", "S/N",
                                          "Esito",     "Tempo", "File"};

std::string historyCountText(size_t runs) {
    return std::to_string(runs) + (runs == 1 ? " esecuzione" : " esecuzioni");
}

std::string serialLastUpdateText(const std::string& serial, const std::string& time,
                                 const std::string& bench, const std::string& port,
                                 const std::string& file, const std::string& fileId) {
    return "Cronometro S/N " + serial + ": ultimo aggiornamento riuscito " + time + ", banco " +
           (bench.empty() ? std::string("sconosciuto") : bench) + " (" + port + "), file " + file +
           (fileId.empty() ? std::string() : " (ID " + fileId + ")") + ". Componenti installati:";
}

std::string serialComponentText(const std::string& name, bool written) {
    return "  " + name + (written ? "  (scritto in quell'aggiornamento)" : "");
}

std::string serialNeverUpdatedText(const std::string& serial) {
    return "Cronometro S/N " + serial + ": nessun aggiornamento riuscito nello storico.";
}

std::string serialLatestRunText(const std::string& time, const std::string& bench,
                                const std::string& outcome) {
    return "Ultima esecuzione: " + time + ", banco " +
           (bench.empty() ? std::string("sconosciuto") : bench) + ": " + outcome + ".";
}

std::string importDoneText(size_t added, size_t present, size_t refused) {
    return "Importate " + std::to_string(added) + " esecuzioni, " + std::to_string(present) +
           " già nello storico" +
           (refused == 0 ? std::string()
                         : ", " + std::to_string(refused) + " righe non leggibili") +
           ".";
}

std::string importBadLineText(const std::string& file, size_t line) {
    return file + ":" + std::to_string(line) +
           ": riga non leggibile (non è una registrazione di --record), saltata";
}

std::string badDateText(const std::string& option, const std::string& value) {
    return option + " richiede una data AAAA-MM-GG oppure AAAA-MM-GGThh:mm:ssZ ('" + value + "')";
}

const char* const ONE_FORMAT_TEXT = "--json, --csv e --table non si possono usare insieme";

}  // namespace zor
