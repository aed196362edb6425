#pragma once
// The bench window on the Win32 API: it draws what StationWindowCore tells
// it and hands every click to the core's handlers. The ports' threads reach
// it through a queue that PostMessage wakes; no port waits for the window.
//
// Contract for programs that drive the window from outside (test drivers):
//  - The top-level window's class is BENCH_WINDOW_CLASS.
//  - The controls are its direct children with the IDs of BenchControl;
//    each tile is a child window too, with the ID FIRST_TILE_ID + its index,
//    of class BENCH_TILE_CLASS, and its window text is what a screen reader
//    says for it (name, port, state, S/N). A tile's parts are its children
//    with the IDs of TilePart.
//  - Class by kind: buttons, radio buttons "Button" (BM_CLICK, BM_GETCHECK),
//    texts "Static", the file name "Edit", the component and session lists
//    "SysListView32" (the component list has a check box per row), a tile's
//    bar "msctls_progress32" (PBM_GETPOS, 0..100). Texts are read with
//    WM_GETTEXT (the W variant gives the Italian accents right).
//  - Enter in the file name loads the file typed there; the file is also
//    loaded by "Avvia" when it was changed since.
//  - "Posti..." opens the positions editor, a modal dialog (class "#32770")
//    owned by the window, whose controls have the IDs of PositionsControl;
//    "Annulla" (and Esc) is IDCANCEL. A box the core shows while it is open
//    (a refused save) is owned by the editor.
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "station_window/station_window_core.h"
#include "wizard/win32/wide_text.h"

namespace zor::stationwin {

constexpr char BENCH_WINDOW_CLASS[] = "ZorloadBanco";
constexpr char BENCH_TILE_CLASS[] = "ZorloadBancoPosto";

enum BenchControl : int {
    ID_FILE_LABEL = 100,
    ID_FILE,
    ID_BROWSE,
    ID_FILE_INFO,
    ID_SELECTION,  // the group box
    ID_ALL,
    ID_OUTDATED,
    ID_CHOSEN,
    ID_COMPONENTS,
    ID_START,
    ID_STOP,
    ID_TOTALS,
    ID_STATUS,
    ID_SESSION_LABEL,
    ID_SESSION,
    ID_COPY,
    ID_SAVE_CSV,
    ID_POSITIONS,  // "Posti...", in the tab order after "Ferma"
};
constexpr int FIRST_TILE_ID = 200;

// The positions editor's controls, in its tab order. Each label stands just
// before the field it names, which is what a screen reader says for the field.
enum PositionsControl : int {
    ID_POSITIONS_LIST = 900,  // name and port of each position
    ID_POSITIONS_NAME_LABEL,
    ID_POSITIONS_NAME,  // the selected row's name
    ID_POSITIONS_PORT_LABEL,
    ID_POSITIONS_PORT,  // its port: a choice, or a name typed
    ID_POSITIONS_ADD,
    ID_POSITIONS_REMOVE,
    ID_POSITIONS_UP,
    ID_POSITIONS_DOWN,
    ID_POSITIONS_SAVE,  // the default button
};

enum TilePart : int {
    TILE_NAME = 1,
    TILE_PORT,
    TILE_STATE,
    TILE_SERIAL,
    TILE_BAR,
    TILE_TIMES,  // phase, elapsed and left on one line
    TILE_FAILURE,
    TILE_STEP,
    TILE_RETRY,
};

class BenchWindow : public StationWindowView {
  public:
    // Registers the window classes and creates the window, hidden, with its
    // controls and one tile per position. The icon is the instance's
    // resource 1, as in the wizard.
    BenchWindow(HINSTANCE instance, SerialDeviceOpener& devices, Clock& clock,
                std::vector<BenchPosition> positions);
    ~BenchWindow() override;
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    StationWindowCore& core() { return *core_; }
    HWND handle() const { return hwnd_; }

    // Centres the window on the work area, shows it and focuses the first
    // control of the tab order.
    void show();
    // The file from the command line, in the field and loaded; with start,
    // every component is chosen and the station started on it.
    void openFile(const std::string& path, bool start);
    // The message loop, until the window is gone.
    int run();

    // ---- StationWindowView ----
    void setTiles(const std::vector<TileView>& tiles) override;
    void updateTile(size_t index, const TileView& tile) override;
    void setTotals(const std::string& text) override;
    void addSessionRow(const SessionRow& row) override;
    void setControls(const ControlsView& controls) override;
    void setComponents(const std::vector<ComponentRow>& rows) override;
    void messageBox(const BoxRequest& box) override;

  private:
    static constexpr UINT WM_ZOR_QUEUED = WM_APP + 1;  // the queue has work
    static constexpr UINT_PTR TICK_TIMER = 1;

    struct Tile {
        HWND frame = nullptr;
        HWND parts[TILE_RETRY + 1] = {};
        TileView view;
        HBRUSH brush = nullptr;
    };

    template <typename W>
    friend LRESULT CALLBACK win32ui::objectWindowProc(HWND, UINT, WPARAM, LPARAM);
    std::string exceptionTitle() const;
    static LRESULT CALLBACK tileProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void onNotify(const NMHDR& header);
    void post(std::function<void()> fn);
    void runQueued();

    // bench_window.cpp: the controls and where they go.
    void createControls();
    HWND make(const wchar_t* cls, const std::string& text, DWORD style, int id, DWORD exStyle = 0);
    void layout();
    int scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
    void keepFocusUsable();

    // bench_actions.cpp: what the buttons do.
    void browse();
    bool loadTypedFile();
    void start();
    void copySession();
    void saveSession();

    // bench_positions.cpp: "Posti...".
    void editPositions();

    // bench_tiles.cpp: the tiles.
    Tile makeTile(size_t index);
    void drawTile(Tile& tile, const TileView& view);
    void placeTiles(int left, int top, int width, int height);
    LRESULT colourTile(const Tile& tile, HDC dc, HWND part);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr, bold_ = nullptr;
    HWND controls_[ID_POSITIONS - ID_FILE_LABEL + 1] = {};
    HWND control(int id) const { return controls_[id - ID_FILE_LABEL]; }
    std::vector<Tile> tiles_;
    SelectionMode mode_ = SelectionMode::All;
    bool fileEnabled_ = true;
    bool fileTyped_ = false;  // the file name changed since it was last loaded
    int quiet_ = 0;           // our own changes raise no events back
    bool destroyed_ = false;

    std::mutex queueLock_;
    std::deque<std::function<void()>> queue_;

    std::unique_ptr<StationWindowCore> core_;
};

}  // namespace zor::stationwin
