#include "text/station_window_text.h"

namespace zor {

const char* const STATION_WINDOW_TITLE = "Zorload - banco";

const StationWindowCaptions STATION_WINDOW_CAPTIONS = {
    "&File d'aggiornamento:",
    "&Sfoglia...",
    "Componenti da inviare",
    "&Tutti",
    "Solo quelli &diversi da quelli installati",
    "Solo quelli s&celti:",
    "&Avvia",
    "F&erma",
    "&Riprova",
    "C&opia",
    "Sal&va CSV...",
    "Cronometri di questa sessione",
};

const char* const SESSION_COLUMNS[5] = {"Ora", "Posto", "S/N", "Esito", "Secondi"};

std::string loadedFileText(const std::string& identifier, int components) {
    return "ID: " + identifier + ", " + std::to_string(components) +
           (components == 1 ? " componente" : " componenti");
}

std::string tileSerialText(const std::string& serial) {
    return "S/N " + serial;
}

std::string tileElapsedText(const std::string& duration) {
    return "Tempo " + duration;
}

std::string tileLeftText(const std::string& duration) {
    return "Resta " + duration;
}

std::string tileAccessibleName(const std::string& name, const std::string& port,
                               const std::string& state, const std::string& serial) {
    std::string text = name == port ? name : name + ", " + port;
    text += ": " + state;
    if (!serial.empty())
        text += ", S/N " + serial;
    return text;
}

std::string stationWindowTotalsText(int done, int failed, int upToDate, uint64_t perHour,
                                    const std::string& running) {
    return "Completati " + std::to_string(done) + ", falliti " + std::to_string(failed) +
           ", già aggiornati " + std::to_string(upToDate) + ", " + std::to_string(perHour) +
           " cronometri/ora, in funzione " + running;
}

std::string retryAccessibleName(const std::string& tileName) {
    return "Riprova " + tileName;
}

const char* const TILES_ACCESSIBLE_NAME = "Posti del banco";

const char* const SAVE_CSV_DIALOG_TITLE = "Salva l'elenco dei cronometri";
const char* const CSV_FILTER_NAME = "Valori separati da virgole (*.csv)";
const char* const SESSION_CSV_FILE_NAME = "cronometri.csv";

std::string sessionCsvFailedText(const std::string& path, const std::string& why) {
    return "Impossibile salvare l'elenco dei cronometri in " + path + ":\n" + why;
}

std::string positionsIgnoredText(const std::string& fault) {
    return fault +
           "\n\nIl banco si apre senza posti: un riquadro per ogni porta su cui si collega "
           "un cronometro.";
}

std::string historySettingsIgnoredText(const std::string& fault) {
    return fault +
           "\n\nLe impostazioni dello storico sono ignorate: le esecuzioni sono registrate "
           "nello storico predefinito e gli eventi del banco non sono pubblicati su MQTT.";
}

std::string benchEventsNotSentText(const std::string& why) {
    return "Gli eventi del banco non vengono pubblicati su MQTT: " + why +
           ".\n\nIl banco funziona comunque.";
}

std::string badBenchMqttText(const std::string& path) {
    return "l'impostazione mqtt di " + path + " non è nella forma mqtt://HOST[:PORTA]/PREFISSO";
}

const char* const NO_BENCH_MQTT_TEXT = "questa versione del programma non pubblica su MQTT";

const char* const NO_FILE_TO_START = "Scegliere prima il file d'aggiornamento da inviare.";
const char* const NO_COMPONENT_TO_START = "Scegliere almeno un componente da inviare.";

std::string closeRefusedText(int transfers) {
    if (transfers == 1) {
        return "C'è ancora 1 trasferimento in corso. L'invio dei dati al cronometro non può "
               "essere interrotto: prima di chiudere il banco è necessario attendere che "
               "termini.";
    }
    return "Ci sono ancora " + std::to_string(transfers) +
           " trasferimenti in corso. L'invio dei dati al cronometro non può essere "
           "interrotto: prima di chiudere il banco è necessario attendere che terminino.";
}

const char* const TILE_BAR_NAME = "Avanzamento";

const PositionsEditorCaptions POSITIONS_EDITOR_CAPTIONS = {
    "&Posti...", "Posti del banco", "Posto",   "Porta", "&Aggiungi", "&Rimuovi", "S&u",
    "&Giù",      "&Salva",          "Annulla",
};

std::string newPositionName(size_t number) {
    return "Posto " + std::to_string(number);
}

std::string positionRefusedText(const PositionsResult& result,
                                const std::vector<BenchPosition>& positions) {
    const size_t index = result.line > 0 ? size_t(result.line) - 1 : 0;
    const std::string number = "Il posto n. " + std::to_string(result.line);
    const std::string name =
        index < positions.size() ? "\"" + positions[index].name + "\"" : std::string();
    switch (result.fault) {
        case PositionsFault::EmptyName:
            return number + " non ha un nome.";
        case PositionsFault::EmptyPort:
            return "Il posto " + name + " non ha una porta.";
        case PositionsFault::SameName:
            return "Due posti si chiamano " + name + ".";
        case PositionsFault::SamePort:
            return "Il posto " + name + " è sulla porta di un altro posto (" +
                   positions[index].port + ").";
        case PositionsFault::BadCharacter:
            return number + " ha un carattere di controllo nel nome o nella porta.";
        case PositionsFault::BadLine:
            return number +
                   ": il nome non può contenere '=', né iniziare con ';', '#' o '[', e né il "
                   "nome né la porta possono iniziare o finire con uno spazio.";
        default:
            return number + " non si può salvare.";
    }
}

std::string positionsNotSavedText(const std::string& path, const std::string& why) {
    if (path.empty())
        return "Impossibile salvare i posti: manca la cartella delle impostazioni "
               "dell'utente.";
    return "Impossibile salvare i posti in " + path + ": " + why;
}

}  // namespace zor
