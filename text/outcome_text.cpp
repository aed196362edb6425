#include "text/outcome_text.h"

#include "platform/system_error.h"

namespace zor {
namespace {

const char CONN_FAILED[] =
    "Non è stato possibile stabilire la comunicazione con il cronometro.\n"
    "Verificate che il cronometro sia effettivamente collegato alla porta seriale indicata e "
    "che sia stato messo in modalità \"Aggiornamento software\".";
const char NO_PORTS[] =
    "Su questo computer non è disponibile nessuna porta seriale. Non è quindi possibile "
    "proseguire nell'aggiornamento.";
const char OPEN_ERROR_CAPTION[] = "Errore apertura file";
const char FILE_CAPTION_TAIL[] = " - Impossibile caricare il file";

BoxRequest error(std::string text, std::string caption) {
    return {std::move(text), std::move(caption), BoxIcon::Exclamation, true};
}

std::string refusedFileText(const Outcome& o, const std::string& appTitle) {
    switch (o.fileFault) {
        case UpdateFileFault::NewerFormat:
            return "Il file selezionato è stato scritto per una versione più recente di " +
                   appTitle +
                   ". Per poterlo caricare è quindi necessario utilizzare una versione "
                   "aggiornata del programma.";
        case UpdateFileFault::ReadError:
            return "Si è verificato un errore durante la lettura del file:\n" + o.detail;
        case UpdateFileFault::NotUpdateFile:
            break;
    }
    return NOT_AN_UPDATE_FILE;
}

}  // namespace

const char* const NOT_AN_UPDATE_FILE =
    "Il file selezionato non è un file di aggiornamento (oppure è danneggiato).";

std::string transferFailureText(int code, const std::string& answerShown) {
    return "Il trasferimento non ha avuto successo.\nCodice errore: " + std::to_string(code) +
           "\nMessaggio: " + answerShown + ".";
}

std::string outcomeMessage(const Outcome& o, const std::string& appTitle) {
    switch (o.kind) {
        case OutcomeKind::Ok:
        case OutcomeKind::PortOpenFailed:
        case OutcomeKind::ListingIncomplete:
            return std::string();
        case OutcomeKind::PortConfigureFailed:
            return "Impossibile impostare la porta!";
        case OutcomeKind::NoAnswer:
        case OutcomeKind::WrongAnswer:
            return CONN_FAILED;
        case OutcomeKind::NoPorts:
            return NO_PORTS;
        case OutcomeKind::TransferFailed:
            return transferFailureText(o.code, displayText(o.lastAnswer));
        case OutcomeKind::FileNotOpened:
            return NOT_AN_UPDATE_FILE;
        case OutcomeKind::FileRefused:
            return refusedFileText(o, appTitle);
        case OutcomeKind::LogNotOpened:
            return "Impossibile aprire il log file.";
    }
    return std::string();
}

std::string osErrorText(int code) {
    const std::string text = systemErrorText(code);
    return text.empty() ? "Errore di sistema " + std::to_string(code) : text;
}

std::vector<BoxRequest> boxesFor(const Outcome& o, const std::string& appTitle) {
    const std::string message = outcomeMessage(o, appTitle);
    switch (o.kind) {
        case OutcomeKind::Ok:
        case OutcomeKind::ListingIncomplete:
            return {};
        case OutcomeKind::PortOpenFailed:
            return {error(o.systemText.empty() ? osErrorText(o.osError) : o.systemText,
                          OPEN_ERROR_CAPTION)};
        case OutcomeKind::PortConfigureFailed:
        case OutcomeKind::NoAnswer:
        case OutcomeKind::WrongAnswer:
            return {error(message, "Errore:")};
        case OutcomeKind::NoPorts:
            return {error(message, "Scansione porte")};
        case OutcomeKind::TransferFailed:
            return {error(message, "Trasferimento interrotto")};
        case OutcomeKind::FileNotOpened:
            return {error(o.systemText.empty() ? osErrorText(o.osError) : o.systemText,
                          OPEN_ERROR_CAPTION),
                    error(message, appTitle + FILE_CAPTION_TAIL)};
        case OutcomeKind::FileRefused:
            return {error(message, appTitle + FILE_CAPTION_TAIL)};
        case OutcomeKind::LogNotOpened:
            return {{message, appTitle, BoxIcon::Information, false}};
    }
    return {};
}

}  // namespace zor
