// The bench window's widgets: built once, drawn from the core's views, every
// click handed to the core.
#include "wizard/qt/station_window_qt.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "platform/file.h"
#include "text/app_text.h"
#include "text/cli_text.h"
#include "text/station_window_text.h"
#include "text/wizard_text.h"

namespace zor::stationwin {
namespace {

QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// A caption as a screen reader says it: no mnemonic, no trailing colon.
QString spoken(const char* caption) {
    QString text = QString::fromUtf8(caption).remove('&');
    if (text.endsWith(':'))
        text.chop(1);
    return text;
}

QPushButton* button(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setAccessibleName(spoken(caption));
    return b;
}

QLabel* plainLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QColor colourOf(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

// Sets a label's text, hiding it while it has none.
void showText(QLabel* label, const std::string& text) {
    label->setText(qs(text));
    label->setVisible(!text.empty());
}

// The positions editor's port column: while a cell is edited, a combo box
// offering the bench's ports that takes one typed in as well.
class PortDelegate : public QStyledItemDelegate {
  public:
    PortDelegate(QStringList ports, QObject* parent)
        : QStyledItemDelegate(parent), ports_(std::move(ports)) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(ports_);
        combo->setAccessibleName(spoken(POSITIONS_EDITOR_CAPTIONS.port));
        return combo;
    }

  private:
    QStringList ports_;
};

// A tile's width in average characters: its longest line, the phase with
// the time spent and left, fits.
constexpr int TILE_CHARACTERS = 36;
constexpr int TICK_MS = 250;

}  // namespace

StationWindow::StationWindow(Clock& clock, StationFactory stations,
                             std::vector<BenchPosition> positions, QWidget* parent)
    : QWidget(parent) {
    setWindowTitle(QString::fromUtf8(STATION_WINDOW_TITLE));
    buildControls();
    core_ = std::make_unique<StationWindowCore>(
        *this, clock, std::move(stations),
        [this](std::function<void()> fn) {
            QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
        },
        std::move(positions));
    core_->show();
    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, [this] { core_->tick(); });
    ticker_->start(TICK_MS);
}

StationWindow::~StationWindow() {
    ticker_->stop();
    core_.reset();  // the ports end before the widgets go
}

void StationWindow::buildControls() {
    const StationWindowCaptions& c = STATION_WINDOW_CAPTIONS;
    auto* top = new QVBoxLayout(this);

    // The file.
    auto* fileRow = new QHBoxLayout;
    auto* fileLabel = new QLabel(QString::fromUtf8(c.file), this);
    file_ = new QLineEdit(this);
    file_->setAccessibleName(spoken(c.file));
    fileLabel->setBuddy(file_);
    browse_ = button(c.browse, this);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse_);
    top->addLayout(fileRow);
    fileInfo_ = plainLabel(this);
    top->addWidget(fileInfo_);
    connect(file_, &QLineEdit::editingFinished, this, [this] { fileEdited(); });
    connect(browse_, &QPushButton::clicked, this, [this] { browse(); });

    // The selection, and Avvia and Ferma beside it.
    auto* middle = new QHBoxLayout;
    auto* group = new QGroupBox(QString::fromUtf8(c.selection), this);
    group->setAccessibleName(spoken(c.selection));
    auto* groupLayout = new QVBoxLayout(group);
    selection_ = new QButtonGroup(this);
    const std::pair<const char*, SelectionMode> modes[] = {{c.all, SelectionMode::All},
                                                           {c.outdated, SelectionMode::Outdated},
                                                           {c.chosen, SelectionMode::Chosen}};
    for (const auto& [caption, mode] : modes) {
        auto* radio = new QRadioButton(QString::fromUtf8(caption), group);
        radio->setAccessibleName(spoken(caption));
        selection_->addButton(radio, static_cast<int>(mode));
        groupLayout->addWidget(radio);
    }
    selection_->button(static_cast<int>(SelectionMode::All))->setChecked(true);
    components_ = new QListWidget(group);
    components_->setAccessibleName(spoken(c.chosen));
    components_->setMaximumHeight(components_->fontMetrics().height() * 5);
    groupLayout->addWidget(components_);
    connect(selection_, &QButtonGroup::idClicked, this, [this](int id) {
        core_->setSelectionMode(static_cast<SelectionMode>(id));
        enableComponents();
    });
    connect(components_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        core_->setComponentChecked(item->data(Qt::UserRole).toULongLong(),
                                   item->checkState() == Qt::Checked);
    });
    middle->addWidget(group, 1);
    auto* startStop = new QVBoxLayout;
    start_ = button(c.start, this);
    stop_ = button(c.stop, this);
    start_->setDefault(true);
    startStop->addWidget(start_);
    startStop->addWidget(stop_);
    positions_ = button(POSITIONS_EDITOR_CAPTIONS.button, this);
    startStop->addWidget(positions_);
    startStop->addStretch(1);
    middle->addLayout(startStop);
    top->addLayout(middle);
    connect(start_, &QPushButton::clicked, this, [this] { core_->start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { core_->stop(); });
    connect(positions_, &QPushButton::clicked, this, [this] { editPositions(); });

    // The tiles, scrolling on a bench with more positions than fit.
    auto* scroll = tileScroll_ = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setAccessibleName(QString::fromUtf8(TILES_ACCESSIBLE_NAME));
    scroll->setMinimumHeight(fontMetrics().height() * 14);
    tileArea_ = new QWidget(scroll);
    auto* areaLayout = new QVBoxLayout(tileArea_);
    grid_ = new QGridLayout;
    areaLayout->addLayout(grid_);
    areaLayout->addStretch(1);
    scroll->setWidget(tileArea_);
    scroll->viewport()->installEventFilter(this);
    top->addWidget(scroll, 3);

    totals_ = plainLabel(this);
    status_ = plainLabel(this);
    top->addWidget(totals_);
    top->addWidget(status_);

    // The session's list.
    auto* sessionLabel = new QLabel(QString::fromUtf8(c.session), this);
    session_ = new QTreeWidget(this);
    session_->setAccessibleName(spoken(c.session));
    sessionLabel->setBuddy(session_);
    session_->setRootIsDecorated(false);
    // A share of the height, never less than a few rows: the tiles come first.
    session_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    session_->setMinimumHeight(fontMetrics().height() * 6);
    session_->setColumnCount(5);
    QStringList headings;
    for (const char* heading : SESSION_COLUMNS)
        headings << QString::fromUtf8(heading);
    session_->setHeaderLabels(headings);
    session_->header()->setStretchLastSection(false);
    session_->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    top->addWidget(sessionLabel);
    top->addWidget(session_, 1);
    auto* sessionRow = new QHBoxLayout;
    copy_ = button(c.copy, this);
    saveCsv_ = button(c.saveCsv, this);
    sessionRow->addWidget(copy_);
    sessionRow->addWidget(saveCsv_);
    sessionRow->addStretch(1);
    top->addLayout(sessionRow);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(qs(core_->sessionText())); });
    connect(saveCsv_, &QPushButton::clicked, this, [this] { saveCsv(); });
}

QRadioButton* StationWindow::selectionButton(SelectionMode mode) const {
    return static_cast<QRadioButton*>(selection_->button(static_cast<int>(mode)));
}

// ---- The file ------------------------------------------------------------------

bool StationWindow::openFile(const std::string& path) {
    loading_ = true;
    const bool loaded = core_->loadFile(path);
    loading_ = false;
    if (loaded)
        loadedPath_ = path;
    file_->setText(qs(loadedPath_));
    return loaded;
}

void StationWindow::fileEdited() {
    const std::string path = file_->text().toStdString();
    // Focus leaving for the refusing box ends the editing once more.
    if (loading_ || path == loadedPath_)
        return;
    if (path.empty()) {
        file_->setText(qs(loadedPath_));
        return;
    }
    openFile(path);
}

void StationWindow::browse() {
    QFileDialog dialog(this, QString::fromUtf8(OPEN_DIALOG_TITLE));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({QString::fromUtf8(UPD_FILTER_NAME), QString::fromUtf8(BIN_FILTER_NAME),
                           QString::fromUtf8(ALL_FILES_FILTER_NAME)});
    if (!loadedPath_.empty())
        dialog.selectFile(qs(loadedPath_));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    openFile(dialog.selectedFiles().first().toStdString());
}

void StationWindow::saveCsv() {
    QFileDialog dialog(this, QString::fromUtf8(SAVE_CSV_DIALOG_TITLE));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QString::fromUtf8(CSV_FILTER_NAME)});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QString::fromUtf8(SESSION_CSV_FILE_NAME));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const std::string path = dialog.selectedFiles().first().toStdString();
    FileProblem problem;
    if (!writeWholeFile(path, core_->sessionCsv(), false, problem)) {
        messageBox({sessionCsvFailedText(path, fileProblemText(problem)), STATION_WINDOW_TITLE,
                    BoxIcon::Error, true});
    }
}

// ---- The positions ---------------------------------------------------------------

void StationWindow::editPositions() {
    if (!core_->canEditPositions())
        return;
    const PositionsEditorCaptions& c = POSITIONS_EDITOR_CAPTIONS;
    QDialog dialog(this);
    dialog.setWindowTitle(QString::fromUtf8(c.title));
    auto* table = new QTableWidget(0, 2, &dialog);
    table->setAccessibleName(spoken(c.title));
    table->setHorizontalHeaderLabels({QString::fromUtf8(c.name), QString::fromUtf8(c.port)});
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the list; the arrows go from cell to cell, F2 edits one. The
    // rows keep their numbers: a refusing box names a position by its number.
    table->setTabKeyNavigation(false);
    const std::vector<std::string> choices = core_->portChoices();
    QStringList ports;
    for (const std::string& port : choices)
        ports << qs(port);
    table->setItemDelegateForColumn(1, new PortDelegate(ports, table));
    const auto setRow = [table](int r, const BenchPosition& p) {
        table->setItem(r, 0, new QTableWidgetItem(qs(p.name)));
        table->setItem(r, 1, new QTableWidgetItem(qs(p.port)));
    };
    const auto rows = [table] {
        std::vector<BenchPosition> edited;
        for (int r = 0; r < table->rowCount(); ++r) {
            edited.push_back({table->item(r, 0)->text().trimmed().toStdString(),
                              table->item(r, 1)->text().trimmed().toStdString()});
        }
        return edited;
    };
    for (const BenchPosition& p : core_->positions()) {
        table->insertRow(table->rowCount());
        setRow(table->rowCount() - 1, p);
    }

    QPushButton* add = button(c.add, &dialog);
    QPushButton* remove = button(c.remove, &dialog);
    QPushButton* up = button(c.up, &dialog);
    QPushButton* down = button(c.down, &dialog);
    QPushButton* save = button(c.save, &dialog);
    QPushButton* cancel = button(c.cancel, &dialog);
    save->setDefault(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* listRow = new QHBoxLayout;
    auto* moves = new QVBoxLayout;
    for (QPushButton* b : {add, remove, up, down})
        moves->addWidget(b);
    moves->addStretch(1);
    listRow->addWidget(table, 1);
    listRow->addLayout(moves);
    layout->addLayout(listRow, 1);
    auto* ends = new QHBoxLayout;
    ends->addStretch(1);
    ends->addWidget(save);
    ends->addWidget(cancel);
    layout->addLayout(ends);
    dialog.resize(dialog.fontMetrics().averageCharWidth() * 90, dialog.sizeHint().height());

    const auto enable = [=] {
        const int r = table->currentRow();
        remove->setEnabled(r >= 0);
        up->setEnabled(r > 0);
        down->setEnabled(r >= 0 && r + 1 < table->rowCount());
    };
    // Su and Giù swap the row with its neighbour; the cursor goes with it.
    const auto move = [=](int by) {
        const int r = table->currentRow(), to = r + by;
        if (r < 0 || to < 0 || to >= table->rowCount())
            return;
        std::vector<BenchPosition> all = rows();
        setRow(r, all[to]);
        setRow(to, all[r]);
        table->setCurrentCell(to, table->currentColumn());
    };
    connect(table, &QTableWidget::currentCellChanged, &dialog, enable);
    connect(add, &QPushButton::clicked, &dialog, [=] {
        // The first port no position is on yet.
        const std::vector<BenchPosition> all = rows();
        std::string port;
        for (const std::string& choice : choices) {
            if (std::none_of(all.begin(), all.end(),
                             [&](const BenchPosition& p) { return p.port == choice; })) {
                port = choice;
                break;
            }
        }
        const int r = table->rowCount();
        table->insertRow(r);
        setRow(r, {newPositionName(size_t(r) + 1), port});
        table->setCurrentCell(r, 0);
        enable();
    });
    connect(remove, &QPushButton::clicked, &dialog, [=] {
        if (table->currentRow() >= 0)
            table->removeRow(table->currentRow());
        enable();
    });
    connect(up, &QPushButton::clicked, &dialog, [=] { move(-1); });
    connect(down, &QPushButton::clicked, &dialog, [=] { move(1); });
    // The core says with its own box why it refused; the editor stays open.
    connect(save, &QPushButton::clicked, &dialog, [&] {
        if (core_->savePositions(rows()))
            dialog.accept();
    });
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    table->setCurrentCell(table->rowCount() > 0 ? 0 : -1, 0);
    enable();
    table->setFocus();
    dialog.exec();
}

// ---- The tiles ------------------------------------------------------------------

StationWindow::TileWidgets StationWindow::makeTile(size_t index) {
    TileWidgets w;
    w.frame = new QFrame(tileArea_);
    w.frame->setFrameShape(QFrame::StyledPanel);
    w.frame->setAutoFillBackground(true);
    w.frame->setFixedWidth(w.frame->fontMetrics().averageCharWidth() * TILE_CHARACTERS);
    auto* layout = new QVBoxLayout(w.frame);
    w.title = plainLabel(w.frame);
    QFont bold = w.title->font();
    bold.setBold(true);
    w.title->setFont(bold);
    w.state = plainLabel(w.frame);
    w.state->setWordWrap(true);
    w.serial = plainLabel(w.frame);
    w.bar = new QProgressBar(w.frame);
    w.bar->setRange(0, 100);
    auto* times = new QHBoxLayout;
    w.phase = plainLabel(w.frame);
    w.times = plainLabel(w.frame);
    times->addWidget(w.phase);
    times->addStretch(1);
    times->addWidget(w.times);
    w.failure = plainLabel(w.frame);
    w.failure->setWordWrap(true);
    w.step = plainLabel(w.frame);
    w.step->setWordWrap(true);
    w.retry = button(STATION_WINDOW_CAPTIONS.retry, w.frame);
    for (QWidget* part : {static_cast<QWidget*>(w.title), static_cast<QWidget*>(w.state),
                          static_cast<QWidget*>(w.serial), static_cast<QWidget*>(w.bar)})
        layout->addWidget(part);
    layout->addLayout(times);
    layout->addWidget(w.failure);
    layout->addWidget(w.step);
    layout->addWidget(w.retry, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(w.retry, &QPushButton::clicked, this, [this, index] { core_->retry(index); });
    return w;
}

void StationWindow::drawTile(TileWidgets& w, const TileView& tile) {
    QPalette palette = w.frame->palette();
    palette.setColor(QPalette::Window, colourOf(tile.background));
    palette.setColor(QPalette::WindowText, colourOf(tile.foreground));
    w.frame->setPalette(palette);
    w.frame->setAccessibleName(qs(tile.accessibleName));
    w.title->setText(qs(tile.name == tile.port ? tile.name : tile.name + "  " + tile.port));
    w.state->setText(qs(tile.stateText));
    showText(w.serial, tile.serial);
    w.bar->setVisible(tile.progressShown);
    w.bar->setValue(tile.percent);
    w.bar->setAccessibleName(qs(tile.name));
    showText(w.phase, tile.phase);
    showText(w.times, tile.left.empty() ? tile.elapsed : tile.elapsed + "  " + tile.left);
    // The state line already says the failure, unless more was added to it.
    showText(w.failure, tile.failure == tile.stateText ? std::string() : tile.failure);
    showText(w.step, tile.step);
    w.retry->setVisible(!tile.failure.empty());
    w.retry->setEnabled(tile.retryEnabled);
    w.retry->setAccessibleName(qs(retryAccessibleName(tile.name)));
}

void StationWindow::setTiles(const std::vector<TileView>& tiles) {
    // The same number of tiles: drawn in place, so that the keyboard's focus
    // stays on the "Riprova" it was on.
    if (tiles.size() != tiles_.size()) {
        for (TileWidgets& w : tiles_)
            delete w.frame;
        tiles_.clear();
        for (size_t i = 0; i < tiles.size(); ++i)
            tiles_.push_back(makeTile(i));
        columns_ = 0;
        layTiles();
        chainTabs();
    }
    for (size_t i = 0; i < tiles.size(); ++i)
        drawTile(tiles_[i], tiles[i]);
}

void StationWindow::updateTile(size_t index, const TileView& tile) {
    if (index < tiles_.size())
        drawTile(tiles_[index], tile);
}

void StationWindow::layTiles() {
    if (tiles_.empty())
        return;
    const int width = tiles_.front().frame->width() + grid_->spacing();
    const int columns = std::max(1, (tileScroll_->viewport()->width() - grid_->spacing()) / width);
    if (columns == columns_)
        return;
    columns_ = columns;
    for (const TileWidgets& w : tiles_)
        grid_->removeWidget(w.frame);
    for (size_t i = 0; i < tiles_.size(); ++i)
        grid_->addWidget(tiles_[i].frame, static_cast<int>(i) / columns,
                         static_cast<int>(i) % columns, Qt::AlignLeft | Qt::AlignTop);
}

// The tiles' viewport resized: the rows are laid again.
bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tileScroll_->viewport() && event->type() == QEvent::Resize)
        layTiles();
    return QWidget::eventFilter(watched, event);
}

// Top to bottom: the file, the selection, Avvia, Ferma and Posti, each tile's
// "Riprova", then the session's list and its buttons.
void StationWindow::chainTabs() {
    std::vector<QWidget*> chain = {file_, browse_};
    for (QAbstractButton* radio : selection_->buttons())
        chain.push_back(radio);
    chain.insert(chain.end(), {components_, start_, stop_, positions_});
    for (const TileWidgets& w : tiles_)
        chain.push_back(w.retry);
    chain.insert(chain.end(), {session_, copy_, saveCsv_});
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// ---- The rest of what the core draws --------------------------------------------

void StationWindow::setTotals(const std::string& text) {
    totals_->setText(qs(text));
}

void StationWindow::addSessionRow(const SessionRow& row) {
    auto* item = new QTreeWidgetItem(session_);
    item->setText(0, qs(row.time));
    item->setText(1, qs(row.position));
    item->setText(2, qs(row.serial));
    item->setText(3, qs(row.result));
    item->setText(4, QString::number(row.seconds, 'f', 1));
    item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
    session_->scrollToItem(item);
}

void StationWindow::setControls(const ControlsView& controls) {
    fileInfo_->setText(qs(controls.fileInfo));
    fileEnabled_ = controls.fileEnabled;
    file_->setEnabled(controls.fileEnabled);
    browse_->setEnabled(controls.fileEnabled);
    for (QAbstractButton* radio : selection_->buttons())
        radio->setEnabled(controls.fileEnabled);
    enableComponents();
    start_->setEnabled(controls.startEnabled);
    stop_->setEnabled(controls.stopEnabled);
    positions_->setEnabled(controls.positionsEnabled);
    showText(status_, controls.status);
}

void StationWindow::enableComponents() {
    components_->setEnabled(fileEnabled_ &&
                            selection_->checkedId() == static_cast<int>(SelectionMode::Chosen));
}

void StationWindow::setComponents(const std::vector<ComponentRow>& rows) {
    const QSignalBlocker quiet(components_);
    components_->clear();
    for (const ComponentRow& row : rows) {
        auto* item = new QListWidgetItem(qs(row.name), components_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(row.slot));
    }
}

void StationWindow::messageBox(const BoxRequest& request) {
    // Over the positions editor while it is open.
    QWidget* modal = QApplication::activeModalWidget();
    showBox(request, modal ? modal : this);
}

void showBox(const BoxRequest& request, QWidget* parent) {
    if (request.beep)
        QApplication::beep();
    QMessageBox box(request.icon == BoxIcon::Information   ? QMessageBox::Information
                    : request.icon == BoxIcon::Exclamation ? QMessageBox::Warning
                                                           : QMessageBox::Critical,
                    qs(request.caption), qs(lfLineEnds(request.text)), QMessageBox::Ok,
                    parent && parent->isVisible() ? parent : nullptr);
    box.setTextFormat(Qt::PlainText);
    // For scripts that run the real program, as the wizard's boxes do.
    if (!qEnvironmentVariableIsEmpty("ZORLOAD_ANSWER_BOXES")) {
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        QTimer::singleShot(0, &box, &QMessageBox::accept);
    }
    box.exec();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (core_->closeQuery())
        event->accept();
    else
        event->ignore();
}

}  // namespace zor::stationwin
