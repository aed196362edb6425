// TfrmZORMain, its construction: the controls of the form table as Qt
// widgets, in their places, with their fonts, accelerators and tab order.
// What the window shows is in main_form_view.cpp, what it hands to the core
// in main_form_events.cpp.
#include "wizard/qt/main_form.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "wizard/qt/artwork.h"
#include "wizard/qt/main_form_parts.h"

namespace zor::qtui {

using wizard::ControlSpec;
using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

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

namespace {

QPixmap pictureFor(Ctl id) {
    switch (id) {
        case Ctl::imgTop:
            return headerPicture();
        case Ctl::imgStart:
            return startPicture();
        case Ctl::imgPortaCom:
            return portIcon();
        case Ctl::imgComponenti:
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
    setObjectName(wizard::control(Ctl::Form).name);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(wizard::FORM_WIDTH, wizard::FORM_HEIGHT);
    setFont(formFont());
    setWindowTitle(QString::fromUtf8(wizard::control(Ctl::Form).caption));

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

}  // namespace zor::qtui
