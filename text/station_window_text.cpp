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
    "&Ferma",
    "&Riprova",
    "&Copia",
    "Salva &CSV...",
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

}  // namespace zor
