#include "app/outcome.h"

#include "app/encoding.h"
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

Outcome make(OutcomeKind kind, std::string message, Hint hint) {
    Outcome o;
    o.kind = kind;
    o.message = std::move(message);
    o.hint = hint;
    return o;
}

BoxRequest error(std::string text, std::string caption) {
    return {std::move(text), std::move(caption), BoxIcon::Exclamation, true};
}

}  // namespace

const char* const NOT_AN_UPDATE_FILE =
    "Il file selezionato non è un file di aggiornamento (oppure è danneggiato).";

Outcome Outcome::portOpenFailed(OpenFailure failure, int osError) {
    Outcome o = make(OutcomeKind::PortOpenFailed, {},
                     failure == OpenFailure::NotInstalled ? Hint::PortMissing
                     : failure == OpenFailure::InUse      ? Hint::PortInUse
                     : failure == OpenFailure::NotSerial  ? Hint::PortNotSerial
                                                          : Hint::None);
    o.openFailure = failure;
    o.osError = osError;
    o.systemText = systemErrorText(osError);
    return o;
}

Outcome Outcome::portConfigureFailed(int osError) {
    Outcome o = make(OutcomeKind::PortConfigureFailed, "Impossibile impostare la porta!",
                     Hint::PortSettings);
    o.osError = osError;
    return o;
}

Outcome Outcome::noAnswer() {
    return make(OutcomeKind::NoAnswer, CONN_FAILED, Hint::CheckChronometer);
}

Outcome Outcome::wrongAnswer(const std::string& lastAnswer) {
    Outcome o = make(OutcomeKind::WrongAnswer, CONN_FAILED, Hint::CheckChronometer);
    o.lastAnswer = lastAnswer;
    return o;
}

Outcome Outcome::listingIncomplete() {
    return make(OutcomeKind::ListingIncomplete, {}, Hint::RetryCable);
}

Outcome Outcome::noPorts() {
    return make(OutcomeKind::NoPorts, NO_PORTS, Hint::NoSerialPort);
}

Outcome Outcome::transferFailed(int code, const std::string& lastAnswer, Hint hint) {
    Outcome o =
        make(OutcomeKind::TransferFailed, transferFailureText(code, displayText(lastAnswer)), hint);
    o.code = code;
    o.lastAnswer = lastAnswer;
    return o;
}

std::string transferFailureText(int code, const std::string& answerShown) {
    return "Il trasferimento non ha avuto successo.\nCodice errore: " + std::to_string(code) +
           "\nMessaggio: " + answerShown + ".";
}

Outcome Outcome::fileNotOpened(int osError) {
    Outcome o = make(OutcomeKind::FileNotOpened, NOT_AN_UPDATE_FILE, Hint::ChooseFile);
    o.osError = osError;
    o.systemText = systemErrorText(osError);
    return o;
}

Outcome Outcome::fileRefused(const std::string& message) {
    return make(OutcomeKind::FileRefused, message, Hint::ChooseFile);
}

Outcome Outcome::logNotOpened() {
    return make(OutcomeKind::LogNotOpened, "Impossibile aprire il log file.", Hint::None);
}

std::string displayText(const std::string& cp1252) {
    std::string out;
    size_t pos = 0;
    while (pos <= cp1252.size()) {
        size_t end = cp1252.find('\n', pos);
        if (end == std::string::npos)
            end = cp1252.size();
        std::string line = cp1252.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t nul = line.find('\0');
        if (nul != std::string::npos)
            line.resize(nul);
        if (pos != 0)
            out += '\n';
        out += cp1252ToUtf8(line);
        pos = end + 1;
    }
    return out;
}

std::vector<BoxRequest> boxesFor(const Outcome& o, const std::string& appTitle) {
    switch (o.kind) {
        case OutcomeKind::Ok:
        case OutcomeKind::ListingIncomplete:
            return {};
        case OutcomeKind::PortOpenFailed:
            return {error(o.systemText, OPEN_ERROR_CAPTION)};
        case OutcomeKind::PortConfigureFailed:
        case OutcomeKind::NoAnswer:
        case OutcomeKind::WrongAnswer:
            return {error(o.message, "Errore:")};
        case OutcomeKind::NoPorts:
            return {error(o.message, "Scansione porte")};
        case OutcomeKind::TransferFailed:
            return {error(o.message, "Trasferimento interrotto")};
        case OutcomeKind::FileNotOpened:
            return {error(o.systemText, OPEN_ERROR_CAPTION),
                    error(o.message, appTitle + FILE_CAPTION_TAIL)};
        case OutcomeKind::FileRefused:
            return {error(o.message, appTitle + FILE_CAPTION_TAIL)};
        case OutcomeKind::LogNotOpened:
            return {{o.message, appTitle, BoxIcon::Information, false}};
    }
    return {};
}

}  // namespace zor
