#pragma once
// What the bench window's core asks of a window: the Qt window and the Win32
// window each draw it; tests record it. Every text is UTF-8 and already
// worded; the window only places it.
#include <cstdint>
#include <string>
#include <vector>

#include "text/outcome_text.h"

namespace zor::stationwin {

// A tile's state, as its colour shows it.
enum class TileState { Waiting, Working, Done, UpToDate, Failed, Absent, Held };

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// One bench position as its tile shows it.
struct TileView {
    std::string name;  // "Posto 1", or the port's name without positions
    std::string port;  // "COM3", the by-path name's last part, ...
    TileState state = TileState::Waiting;
    std::string stateText;  // "in attesa", "trasferimento 45% fase 2/3", "errore 103 scrittura"
    Rgb background, foreground;
    std::string serial;  // "S/N 0412-0087", empty before a chronometer identified itself
    bool progressShown = false;
    int percent = 0;             // the bar, 0..100
    std::string phase;           // "fase 2/3", empty before the transfer's first phase
    std::string elapsed, left;   // "Tempo 1:02", "Resta 0:40"; empty when not known
    std::string failure, step;   // on failure: the code and meaning, and what to do
    bool retryEnabled = false;   // "Riprova"
    std::string accessibleName;  // what a screen reader says for the tile
};

// The controls above and below the tiles.
struct ControlsView {
    std::string fileInfo;          // the loaded file's ID and components; empty when none
    bool fileEnabled = true;       // the file field, "Sfoglia..." and the selection
    bool startEnabled = false;     // "Avvia"
    bool stopEnabled = false;      // "Ferma"
    bool positionsEnabled = true;  // "Posti..."
    std::string status;            // a line under the tiles: stopping, ...
};

// One row of the session's list of chronometers.
struct SessionRow {
    std::string time;      // local "HH:MM:SS"
    std::string position;  // the tile's name
    std::string serial;
    std::string result;  // "completato", "errore 103 scrittura", ...
    double seconds = 0;
};

// One component of the loaded file, for the chosen selection.
struct ComponentRow {
    size_t slot = 0;
    std::string name;  // the component's text as the wizard shows it
    bool checked = false;
};

class StationWindowView {
  public:
    virtual ~StationWindowView() = default;
    // The tiles, all of them, when their number or order changed.
    virtual void setTiles(const std::vector<TileView>& tiles) = 0;
    // One tile changed.
    virtual void updateTile(size_t index, const TileView& tile) = 0;
    // The totals line under the tiles.
    virtual void setTotals(const std::string& text) = 0;
    virtual void addSessionRow(const SessionRow& row) = 0;
    virtual void setControls(const ControlsView& controls) = 0;
    // The loaded file's components, for the chosen selection.
    virtual void setComponents(const std::vector<ComponentRow>& rows) = 0;
    // A modal box with an OK button; returns once the user closed it.
    virtual void messageBox(const BoxRequest& box) = 0;
};

}  // namespace zor::stationwin
