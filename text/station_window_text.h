#pragma once
// The bench window's words: its title and controls, each tile's lines, the
// totals, the session's list and the boxes that refuse a start or a close.
#include <cstdint>
#include <string>
#include <vector>

#include "app/bench_positions.h"

namespace zor {

extern const char* const STATION_WINDOW_TITLE;  // "Zorload - banco"

// The controls.
struct StationWindowCaptions {
    const char* file;       // the file field's label
    const char* browse;     // "Sfoglia..."
    const char* selection;  // the selection's group
    const char* all;        // every component
    const char* outdated;   // only those that differ from the chronometer's
    const char* chosen;     // the components ticked below
    const char* start;      // "Avvia"
    const char* stop;       // "Ferma"
    const char* retry;      // "Riprova"
    const char* copy;       // copies the session's list
    const char* saveCsv;    // saves it as CSV
    const char* session;    // the list's heading
};
extern const StationWindowCaptions STATION_WINDOW_CAPTIONS;

// The session list's column headings, in order: time, position, S/N,
// result, seconds.
extern const char* const SESSION_COLUMNS[5];

// "ID: 1234-5678, 3 componenti".
std::string loadedFileText(const std::string& identifier, int components);
std::string tileSerialText(const std::string& serial);     // "S/N 0412-0087"
std::string tileElapsedText(const std::string& duration);  // "Tempo 1:02"
std::string tileLeftText(const std::string& duration);     // "Resta 0:40"
// What a screen reader says for a tile: its name, port, state and S/N.
std::string tileAccessibleName(const std::string& name, const std::string& port,
                               const std::string& state, const std::string& serial);
// Under the tiles: "Completati 3, falliti 1, già aggiornati 0, 42 cronometri/ora,
// in funzione 0:12:03".
std::string stationWindowTotalsText(int done, int failed, int upToDate, uint64_t perHour,
                                    const std::string& running);

// What a screen reader says for a tile's "Riprova" and for the tiles' area.
std::string retryAccessibleName(const std::string& tileName);  // "Riprova Posto 1"
extern const char* const TILES_ACCESSIBLE_NAME;

// "Salva CSV...": the dialog's title, its filter and the name it proposes.
extern const char* const SAVE_CSV_DIALOG_TITLE;
extern const char* const CSV_FILTER_NAME;
extern const char* const SESSION_CSV_FILE_NAME;

// Boxes.
// The session's list could not be written to path (as shown): why.
std::string sessionCsvFailedText(const std::string& path, const std::string& why);
// The positions file's fault (positionsFaultText), and that the bench opens
// without positions.
std::string positionsIgnoredText(const std::string& fault);
// The [storico] settings' fault (positionsFaultText), and that the window
// keeps its runs in the default history and sends no events.
std::string historySettingsIgnoredText(const std::string& fault);
// The bench's events go to no broker: why (the address is not one, the
// program was built without MQTT, the client did not start).
std::string benchEventsNotSentText(const std::string& why);
// The mqtt= setting of the file at path is no broker's address.
std::string badBenchMqttText(const std::string& path);
extern const char* const NO_BENCH_MQTT_TEXT;     // a program built without MQTT
extern const char* const NO_FILE_TO_START;       // "Avvia" before a file is loaded
extern const char* const NO_COMPONENT_TO_START;  // "Avvia" with nothing chosen
// The close box while transfers run.
std::string closeRefusedText(int transfers);

// What a screen reader says for a tile's bar (the Win32 window names it).
extern const char* const TILE_BAR_NAME;  // "Avanzamento"

// The positions editor ("Posti...").
struct PositionsEditorCaptions {
    const char* button;  // opens it: "&Posti..."
    const char* title;   // "Posti del banco"
    const char* name;    // the column of names
    const char* port;    // the column of ports
    const char* add;
    const char* remove;
    const char* up;
    const char* down;
    const char* save;
    const char* cancel;
};
extern const PositionsEditorCaptions POSITIONS_EDITOR_CAPTIONS;
// The name a new position gets: "Posto 3" for the third.
std::string newPositionName(size_t number);
// Why edited positions cannot be saved: the first position at fault (its
// number, 1-based, is result.line) and what is wrong with it.
std::string positionRefusedText(const PositionsResult& result,
                                const std::vector<BenchPosition>& positions);
// The positions file could not be written.
std::string positionsNotSavedText(const std::string& path, const std::string& why);

}  // namespace zor
