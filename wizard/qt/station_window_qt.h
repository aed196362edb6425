#pragma once
// The bench window on Qt 6 Widgets: the update file and the selection on
// top, "Avvia", "Ferma" and "Posti...", a tile per bench position, the
// totals, and the session's list of chronometers with "Copia" and "Salva
// CSV...". Every rule
// is the core's (station_window_core.h); this only draws what it says and
// hands it the user's clicks. The ports' threads reach the core through the
// window's event queue, so no port ever waits for the window.
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "station_window/station_window_core.h"

class QButtonGroup;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTimer;
class QTreeWidget;

namespace zor::stationwin {

class StationWindow : public QWidget, public StationWindowView {
  public:
    // stations: engineStations(devices, clock) in the program. positions:
    // the bench's, in order; empty for a tile per port a chronometer is on.
    StationWindow(Clock& clock, StationFactory stations, std::vector<BenchPosition> positions,
                  QWidget* parent = nullptr);
    ~StationWindow() override;

    StationWindowCore& core() { return *core_; }
    // Puts path in the file field and loads it, as "Sfoglia..." does; a
    // refused file leaves the field on the one loaded before.
    bool openFile(const std::string& path);

    // The controls, for the program's start and the tests.
    QLineEdit* fileField() const { return file_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* positionsButton() const { return positions_; }
    QRadioButton* selectionButton(SelectionMode mode) const;
    QListWidget* componentList() const { return components_; }
    size_t tileCount() const { return tiles_.size(); }
    QFrame* tileFrame(size_t tile) const { return tiles_.at(tile).frame; }
    QPushButton* retryButton(size_t tile) const { return tiles_.at(tile).retry; }
    QLabel* totalsLabel() const { return totals_; }
    QLabel* statusLabel() const { return status_; }
    QTreeWidget* sessionList() const { return session_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveCsvButton() const { return saveCsv_; }

    // ---- StationWindowView ----
    void setTiles(const std::vector<TileView>& tiles) override;
    void updateTile(size_t index, const TileView& tile) override;
    void setTotals(const std::string& text) override;
    void addSessionRow(const SessionRow& row) override;
    void setControls(const ControlsView& controls) override;
    void setComponents(const std::vector<ComponentRow>& rows) override;
    void messageBox(const BoxRequest& box) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct TileWidgets {
        QFrame* frame = nullptr;
        QLabel *title = nullptr, *state = nullptr, *serial = nullptr, *phase = nullptr,
               *times = nullptr, *failure = nullptr, *step = nullptr;
        QProgressBar* bar = nullptr;
        QPushButton* retry = nullptr;
    };

    void buildControls();
    TileWidgets makeTile(size_t index);
    void drawTile(TileWidgets& w, const TileView& tile);
    void chainTabs();
    // As many tiles to a row as the window's width holds.
    void layTiles();
    void browse();
    void fileEdited();
    void saveCsv();
    // "Posti...": the modal editor of the bench's positions.
    void editPositions();
    void enableComponents();

    QLineEdit* file_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* fileInfo_ = nullptr;
    QButtonGroup* selection_ = nullptr;
    QListWidget* components_ = nullptr;
    QPushButton *start_ = nullptr, *stop_ = nullptr, *positions_ = nullptr;
    QWidget* tileArea_ = nullptr;
    QScrollArea* tileScroll_ = nullptr;
    QGridLayout* grid_ = nullptr;
    QLabel *totals_ = nullptr, *status_ = nullptr;
    QTreeWidget* session_ = nullptr;
    QPushButton *copy_ = nullptr, *saveCsv_ = nullptr;
    QTimer* ticker_ = nullptr;

    std::vector<TileWidgets> tiles_;
    int columns_ = 0;
    bool fileEnabled_ = true;
    std::string loadedPath_;
    bool loading_ = false;
    std::unique_ptr<StationWindowCore> core_;  // last: it draws on the widgets above
};

// A modal box with an OK button, over parent when it is shown (else on its
// own, before the window opens).
void showBox(const BoxRequest& box, QWidget* parent);

}  // namespace zor::stationwin
