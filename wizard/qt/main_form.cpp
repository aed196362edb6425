#include "wizard/qt/main_form.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>

#include "wizard/qt/artwork.h"
#include "wizard/qt/chart_painter.h"

namespace zor::qtui {

using wizard::ControlSpec;
using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

// For scripts and tests that run the real program: with ZORLOAD_ANSWER_BOXES
// set, a box about to show is told on stderr and answered with OK at once.
static void answerForScripts(QMessageBox& box) {
    if (qEnvironmentVariableIsEmpty("ZORLOAD_ANSWER_BOXES"))
        return;
    std::fprintf(stderr, "%s: %s\n", box.windowTitle().toStdString().c_str(),
                 box.text().toStdString().c_str());
    QTimer::singleShot(0, &box, &QMessageBox::accept);
}

static QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QFont formFont() {
    QFont font;
    for (const char* family : {"Liberation Sans", "Arial", "DejaVu Sans"}) {
        if (QFontDatabase::hasFamily(family)) {
            font = QFont(family);
            break;
        }
    }
    font.setPixelSize(wizard::FORM_FONT_PX);
    font.setStyleHint(QFont::SansSerif);
    // The layout was drawn for a face a shade narrower than these: 2 % less
    // spacing lets the longest texts (the planner's verdicts, "Altro
    // cronometro...") fit their controls on one line, as designed.
    font.setLetterSpacing(QFont::PercentageSpacing, 98);
    return font;
}

// The paint box of the component page: paints the core's planned table.
class ChartBox : public QWidget {
  public:
    ChartBox(wizard::Wizard*& core, QWidget* parent) : QWidget(parent), core_(core) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!core_)
            return;
        QPainter painter(this);
        drawAllocation(painter, core_->chartTable(), width(), height(), font(),
                       edgeColours(palette()));
    }

  private:
    wizard::Wizard*& core_;
};

// The transfer animation: our own clip, looped while active; the first frame
// stands still otherwise.
class AnimationBox : public QWidget {
  public:
    explicit AnimationBox(QWidget* parent) : QWidget(parent) {
        timer_.setInterval(1000 / ANIMATION_FPS);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            frame_ = (frame_ + 1) % ANIMATION_FRAMES;
            update();
        });
    }
    void setPlaying(bool on) {
        if (on && !timer_.isActive())
            timer_.start();
        if (!on)
            timer_.stop();
    }
    bool playing() const { return timer_.isActive(); }
    int frame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (frames_.empty()) {
            for (int i = 0; i < ANIMATION_FRAMES; ++i)
                frames_.push_back(QPixmap::fromImage(animationFrame(i)));
        }
        QPainter(this).drawPixmap(0, 0, frames_[frame_]);
    }

  private:
    QTimer timer_;
    int frame_ = 0;
    std::vector<QPixmap> frames_;
};

namespace {

QPixmap pictureFor(Ctl id) {
    switch (id) {
        case Ctl::imgTop:
            return headerPicture();
        case Ctl::imgStart:
            return startPicture();
        case Ctl::imgPortaCom:
            return portIcon();
        case Ctl::Image1:
            return componentsIcon();
        default:
            return noSpaceIcon();
    }
}

// A memo without border or scroll bars on the button face, read-only.
QPlainTextEdit* plainMemo(QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setFocusPolicy(Qt::ClickFocus);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->document()->setDocumentMargin(1);
    QPalette pal = memo->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    memo->setPalette(pal);
    return memo;
}

QTreeWidget* reportList(QWidget* parent, const wizard::Column (&columns)[2], int width) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setHeaderLabels(
        {QString::fromUtf8(columns[0].caption), QString::fromUtf8(columns[1].caption)});
    list->header()->setSectionsClickable(false);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(columns[1].width == 0);
    list->setColumnWidth(0, columns[0].width);
    list->setColumnWidth(
        1, columns[1].width ? columns[1].width : width - columns[0].width - 2 * list->frameWidth());
    // The selection stays visible when the list has no focus.
    QPalette pal = list->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    list->setPalette(pal);
    return list;
}

}  // namespace

TfrmZORMain::TfrmZORMain(wizard::WizardEnvironment env, QWidget* parent) : QWidget(parent) {
    setObjectName("TfrmZORMain");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(wizard::FORM_WIDTH, wizard::FORM_HEIGHT);
    setFont(formFont());
    setWindowTitle("Zorload");

    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind == Kind::Form)
            continue;
        QWidget* parentWidget = def.parent == Ctl::Form     ? this
                                : def.parent == Ctl::Pagine ? pages_[static_cast<int>(def.page)]
                                                            : widget(def.parent);
        QWidget* w = createControl(def, parentWidget);
        w->setObjectName(def.name);
        if (def.width > 0) {
            w->setGeometry(def.left, def.top, def.width, def.height);
        } else {
            w->move(def.left, def.top);
            w->adjustSize();
        }
        if (def.fontPx || def.bold) {
            QFont f = font();
            if (def.fontPx)
                f.setPixelSize(def.fontPx);
            f.setBold(def.bold);
            w->setFont(f);
        }
        w->setVisible(!def.hidden);
        widgets_[static_cast<int>(def.id)] = w;
    }
    // Accelerators of labels focus their controls.
    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind == Kind::Label && def.buddy != Ctl::Form)
            static_cast<QLabel*>(widget(def.id))->setBuddy(widget(def.buddy));
    }
    const std::vector<QWidget*> chain = tabChain();
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);

    core_ = std::make_unique<wizard::Wizard>(*this, std::move(env));
    chartCore_ = core_.get();
    wireEvents();
}

TfrmZORMain::~TfrmZORMain() {
    chartCore_ = nullptr;
}

QWidget* TfrmZORMain::createControl(const ControlSpec& def, QWidget* parent) {
    const QString caption = QString::fromUtf8(def.caption);
    switch (def.kind) {
        case Kind::Picture: {
            auto* picture = new QLabel(parent);
            picture->setPixmap(pictureFor(def.id));
            return picture;
        }
        case Kind::Bevel: {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            return line;
        }
        case Kind::Label: {
            auto* label = new QLabel(caption, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(def.wordWrap);
            label->setTextFormat(Qt::PlainText);
            if (def.disabledLook)
                label->setEnabled(false);
            return label;
        }
        case Kind::Notebook: {
            pagine_ = new QStackedWidget(parent);
            for (int i = 0; i < wizard::PAGE_COUNT; ++i) {
                pages_[i] = new QWidget(pagine_);
                pages_[i]->setObjectName(wizard::pageName(static_cast<Page>(i)));
                pagine_->addWidget(pages_[i]);
            }
            return pagine_;
        }
        case Kind::Button: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(false);
            button->setDefault(def.defaultButton);
            return button;
        }
        case Kind::Panel: {
            auto* panel = new QFrame(parent);
            if (def.innerBevel == wizard::Bevel::Raised &&
                def.outerBevel == wizard::Bevel::Lowered) {
                panel->setFrameStyle(QFrame::Box | QFrame::Sunken);  // an etched groove
            } else if (def.innerBevel == wizard::Bevel::Lowered) {
                panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            }
            panel->setLineWidth(1);
            return panel;
        }
        case Kind::CheckBox:
            return new QCheckBox(caption, parent);
        case Kind::Edit: {
            auto* edit = new QLineEdit(parent);
            edit->setMaxLength(def.maxLength);
            return edit;
        }
        case Kind::Memo: {
            QPlainTextEdit* memo = plainMemo(parent);
            if (def.id == Ctl::memPg2Help)
                memo->setPlainText(qs(wizard::helpText()));
            return memo;
        }
        case Kind::ListView:
            if (def.id == Ctl::lwPorte)
                return lwPorte_ = reportList(parent, wizard::PORT_COLUMNS, def.width);
            return lvSelLang_ = reportList(parent, wizard::COMPONENT_COLUMNS, def.width);
        case Kind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
        case Kind::PaintBox:
            return chart_ = new ChartBox(chartCore_, parent);
        case Kind::Animation:
            return animation_ = new AnimationBox(parent);
        case Kind::Form:
            break;
    }
    return new QWidget(parent);
}

void TfrmZORMain::wireEvents() {
    auto click = [this](Ctl button, void (wizard::Wizard::*handler)()) {
        QObject::connect(static_cast<QPushButton*>(widget(button)), &QPushButton::clicked, this,
                         [this, handler] { (core_.get()->*handler)(); });
    };
    click(Ctl::btnAvanti, &wizard::Wizard::btnAvantiClick);
    click(Ctl::btnIndietro, &wizard::Wizard::btnIndietroClick);
    click(Ctl::btnAnnulla, &wizard::Wizard::btnAnnullaClick);
    click(Ctl::btnAltro, &wizard::Wizard::btnAltroClick);
    click(Ctl::btnSfoglia, &wizard::Wizard::btnSfogliaClick);

    QObject::connect(static_cast<QLineEdit*>(widget(Ctl::FileName)), &QLineEdit::textChanged, this,
                     [this](const QString& text) { core_->fileNameOnChange(text.toStdString()); });

    QObject::connect(lwPorte_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = lwPorte_->selectedItems();
        core_->lwPorteOnchange(selected.isEmpty() ? -1
                                                  : lwPorte_->indexOfTopLevelItem(selected[0]));
    });
    QObject::connect(lwPorte_, &QTreeWidget::itemDoubleClicked, this,
                     [this] { core_->lwPorteDblClick(); });

    QObject::connect(
        lvSelLang_, &QTreeWidget::itemChanged, this,
        [this](QTreeWidgetItem* item, int column) { selLangItemChanged(item, column); });
    QObject::connect(lvSelLang_, &QTreeWidget::currentItemChanged, this,
                     [this](QTreeWidgetItem* item) {
                         if (!item)
                             return;
                         const int row = lvSelLang_->indexOfTopLevelItem(item);
                         core_->lvSelLangChange(row, item->checkState(0) == Qt::Checked,
                                                wizard::Wizard::ListChange::State);
                     });
}

void TfrmZORMain::selLangItemChanged(QTreeWidgetItem* item, int column) {
    const int row = lvSelLang_->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(checks_.size()))
        return;
    const bool checked = item->checkState(0) == Qt::Checked;
    const bool stateChanged = column == 0 && checked != checks_[row];
    checks_[row] = checked;
    core_->lvSelLangChange(
        row, checked,
        stateChanged ? wizard::Wizard::ListChange::State : wizard::Wizard::ListChange::Text);
}

void TfrmZORMain::appendTabChain(Ctl parent, std::vector<QWidget*>& chain) const {
    std::vector<const ControlSpec*> children;
    for (const ControlSpec& def : wizard::formControls()) {
        if (def.parent == parent && def.tabOrder >= 0 && def.kind != Kind::Form)
            children.push_back(&def);
    }
    // Pages in index order, then by tab order within each.
    std::stable_sort(children.begin(), children.end(),
                     [](const ControlSpec* a, const ControlSpec* b) {
                         return std::make_pair(static_cast<int>(a->page), a->tabOrder) <
                                std::make_pair(static_cast<int>(b->page), b->tabOrder);
                     });
    for (const ControlSpec* def : children) {
        if (def->kind == Kind::Notebook || def->kind == Kind::Panel) {
            appendTabChain(def->id, chain);
        } else {
            chain.push_back(widget(def->id));
        }
    }
}

std::vector<QWidget*> TfrmZORMain::tabChain() const {
    std::vector<QWidget*> chain;
    appendTabChain(Ctl::Form, chain);
    return chain;
}

bool TfrmZORMain::construct() {
    return core_->construct();
}

void TfrmZORMain::WMShowInstance(uint32_t wParam) {
    if (wParam == 2)
        return;
    showMinimized();
    showNormal();
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = this;
    if (front->isVisible() && front->isEnabled()) {
        front->raise();
        front->activateWindow();
    }
}

// ---- Closing and keys ----------------------------------------------------------

void TfrmZORMain::closeEvent(QCloseEvent* event) {
    if (!core_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    core_->FormClose();
    event->accept();
}

void TfrmZORMain::keyPressEvent(QKeyEvent* event) {
    // Enter clicks the focused button, else the default button; Esc clicks
    // the cancel button. Disabled buttons take no clicks.
    auto clickIfEnabled = [](QWidget* w) {
        auto* button = qobject_cast<QPushButton*>(w);
        if (button && button->isEnabled() && button->isVisible())
            button->click();
    };
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focused = focusWidget();
        clickIfEnabled(qobject_cast<QPushButton*>(focused) ? focused : widget(Ctl::btnAvanti));
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        clickIfEnabled(widget(Ctl::btnAnnulla));
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- WizardView --------------------------------------------------------------

void TfrmZORMain::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    QString body = qs(text);
    body.replace("\r\n", "\n");
    QMessageBox box(icon == BoxIcon::Information   ? QMessageBox::Information
                    : icon == BoxIcon::Exclamation ? QMessageBox::Warning
                                                   : QMessageBox::Critical,
                    qs(caption), body, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setFont(font());
    answerForScripts(box);
    // The hourglass of a running check must not hide the box's button.
    const int busy = busy_;
    for (int i = 0; i < busy; ++i)
        QApplication::restoreOverrideCursor();
    box.exec();
    for (int i = 0; i < busy; ++i)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfrmZORMain::beep() {
    QApplication::beep();
}

void TfrmZORMain::setBusy(bool on) {
    if (on) {
        ++busy_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busy_ > 0) {
        --busy_;
        QApplication::restoreOverrideCursor();
    }
}

void TfrmZORMain::processPendingEvents() {
    QCoreApplication::processEvents();
}

void TfrmZORMain::showPage(Page page) {
    pagine_->setCurrentIndex(static_cast<int>(page));
}

void TfrmZORMain::setVisible(Ctl control, bool visible) {
    widget(control)->setVisible(visible);
}

void TfrmZORMain::setEnabled(Ctl control, bool enabled) {
    widget(control)->setEnabled(enabled);
}

void TfrmZORMain::setCaption(Ctl control, const std::string& text) {
    const QString value = qs(text);
    if (control == Ctl::Form) {
        setWindowTitle(value);
        return;
    }
    QWidget* w = widget(control);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // The core made this change itself: no change event back.
        const QSignalBlocker quiet(edit);
        edit->setText(value);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        memo->setPlainText(value);
    }
}

void TfrmZORMain::setChecked(Ctl control, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(widget(control)))
        box->setChecked(checked);
}

bool TfrmZORMain::isChecked(Ctl control) {
    auto* box = qobject_cast<QCheckBox*>(widget(control));
    return box && box->isChecked();
}

void TfrmZORMain::setFocus(Ctl control) {
    widget(control)->setFocus();
}

void TfrmZORMain::clearPortRows() {
    const QSignalBlocker quiet(lwPorte_);
    lwPorte_->clear();
}

void TfrmZORMain::addPortRow(const wizard::PortListRow& row) {
    const QSignalBlocker quiet(lwPorte_);
    lwPorte_->addTopLevelItem(new QTreeWidgetItem({qs(row.port), qs(row.status)}));
}

void TfrmZORMain::focusPortRow(int row, bool select) {
    QTreeWidgetItem* item = lwPorte_->topLevelItem(row);
    if (!item)
        return;
    const QSignalBlocker quiet(lwPorte_);
    // The focus mark alone leaves the selection as it is.
    lwPorte_->selectionModel()->setCurrentIndex(
        lwPorte_->indexFromItem(item),
        select ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
               : QItemSelectionModel::NoUpdate);
}

void TfrmZORMain::setComponentRows(const std::vector<wizard::ComponentListRow>& rows) {
    const QSignalBlocker quiet(lvSelLang_);
    lvSelLang_->clear();
    checks_.assign(rows.size(), false);
    for (const wizard::ComponentListRow& row : rows) {
        auto* item = new QTreeWidgetItem({qs(row.name), qs(row.version)});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, Qt::UserRole, row.slot);
        lvSelLang_->addTopLevelItem(item);
    }
}

void TfrmZORMain::setBar(Ctl bar, int value) {
    static_cast<QProgressBar*>(widget(bar))->setValue(std::clamp(value, 0, 100));
}

void TfrmZORMain::repaintChart() {
    chart_->repaint();
}

void TfrmZORMain::setAnimationPlaying(bool playing) {
    animation_->setPlaying(playing);
}

void TfrmZORMain::informationSound() {
    QApplication::beep();
}

bool TfrmZORMain::openFileDialog(const wizard::FileDialogRequest& request,
                                 std::string& chosenPath) {
    QStringList filters;
    for (const wizard::FileFilter& f : request.filters)
        filters << QString::fromUtf8(f.description);
    QFileDialog dialog(this, qs(request.title), qs(request.initialDirectory));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosenPath = dialog.selectedFiles().first().toStdString();
    return true;
}

void TfrmZORMain::closeWindow() {
    close();
}

void TfrmZORMain::invokeAndWait(std::function<void()> fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(fn), Qt::BlockingQueuedConnection);
}

void TfrmZORMain::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void showStartupError(const std::exception& error) {
    const QString text = QString::fromLocal8Bit(error.what());
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    answerForScripts(box);
    box.exec();
}

std::unique_ptr<QSocketNotifier> listenForWakeUps(SingleInstance& instance, TfrmZORMain& form) {
    if (instance.listenFd() < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(instance.listenFd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&instance, &form] {
        instance.serviceRequests([&form](uint32_t message, uint32_t wParam, uint32_t) {
            if (message == WM_SHOWINSTANCE)
                form.WMShowInstance(wParam);
        });
    });
    return notifier;
}

}  // namespace zor::qtui
