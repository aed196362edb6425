// What a technician sees and does in the Qt window, offscreen: the texts the
// widgets show against the literal texts of support/window_texts.h, the keys
// on each page, the component list driven through its widgets, the chart's
// pixels, the session log's banners and the order things close in.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "flash/partition_dump.h"
#include "platform/version_block.h"
#include "qt_support.h"
#include "sim/component_image.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "support/window_texts.h"
#include "text/plan_text.h"
#include "updatefile/update_writer.h"
#include "window_text_checks.h"
#include "wizard/qt/chart_painter.h"
#include "wizard/qt/main_form.h"

namespace zor::test {
namespace {

namespace wt = window_texts;
using qtui::TfrmZORMain;
using wizard::Ctl;
using wizard::Page;

Ctl ctl(const char* name) {
    return ctlNamed(name);
}

template <typename... Args>
QString format(const char* fmt, Args... args) {
    return QString::fromStdString(formatText(fmt, args...)).replace("\r\n", "\n");
}

QMessageBox::Icon qtIcon(wt::Icon i) {
    return i == wt::Icon::Information   ? QMessageBox::Information
           : i == wt::Icon::Exclamation ? QMessageBox::Warning
                                        : QMessageBox::Critical;
}

// A port that tells when the program lets go of it.
class WatchedPort : public SerialPort {
  public:
    WatchedPort(std::unique_ptr<SerialPort> port, std::function<void()> onClose)
        : port_(std::move(port)), onClose_(std::move(onClose)) {}
    ~WatchedPort() override { onClose_(); }
    bool configure(uint32_t bps) override { return port_->configure(bps); }
    int readByte(uint8_t& byte) override { return port_->readByte(byte); }
    bool write(const uint8_t* data, size_t size) override { return port_->write(data, size); }
    void purge() override { port_->purge(); }
    bool modemStatus(uint32_t& bits) override { return port_->modemStatus(bits); }
    bool enableDtrRts() override { return port_->enableDtrRts(); }
    int lastError() const override { return port_->lastError(); }

  private:
    std::unique_ptr<SerialPort> port_;
    std::function<void()> onClose_;
};

class WatchedDevices : public sim::SimDevices {
  public:
    using SimDevices::SimDevices;
    OpenResult open(const std::string& name, bool queryOnly) override {
        OpenResult r = SimDevices::open(name, queryOnly);
        if (r.port && !queryOnly && onClose)
            r.port = std::make_unique<WatchedPort>(std::move(r.port), onClose);
        return r;
    }
    std::function<void()> onClose;
};

// Runs fn once, when the first call from another thread reaches the object
// it filters (a progress report of the transfer worker, which waits for it).
class OnMetaCall : public QObject {
  public:
    explicit OnMetaCall(std::function<void()> fn) : fn_(std::move(fn)) {}
    bool ran = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall && !ran) {
            ran = true;
            fn_();
        }
        return false;
    }

  private:
    std::function<void()> fn_;
};

class QtWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writeBytes(sample, sim::sampleUpdateFile()));
        attach({});
    }
    void attach(sim::SimConfig config) {
        config.flashStepMs = 1;
        chrono = std::make_unique<sim::Chronometer>(config);
        devices.attach("COM1", *chrono);
    }
    void make(std::vector<std::string> args = {}) {
        form.reset();
        form = std::make_unique<TfrmZORMain>(
            wizard::WizardEnvironment{devices, clock, programVersionBlock(), dir.file("zorload"),
                                      std::move(args), dir.path()});
        if (form->construct())
            form->show();
    }
    void activate() {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QWidget* w(Ctl c) { return form->widget(c); }
    QString text(Ctl c) {
        if (auto* label = qobject_cast<QLabel*>(w(c)))
            return label->text();
        return static_cast<QAbstractButton*>(w(c))->text();
    }
    QTreeWidget* list(Ctl c) { return static_cast<QTreeWidget*>(w(c)); }
    void click(Ctl c) { QTest::mouseClick(w(c), Qt::LeftButton); }
    void next(int times = 1) {
        for (int i = 0; i < times; ++i)
            click(Ctl::btnAvanti);
    }
    Page page() { return form->core().page(); }
    // Alt with a letter, and the short press animation of a button.
    void alt(Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), key,
                        Qt::AltModifier);
        QTest::qWait(250);
    }
    std::string log() {
        std::ifstream in(dir.file("zorload.LOG"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }

    TempDir dir{"zor_qtwindow"};
    std::string sample = dir.file("esempio.upd");
    VirtualClock clock;
    WatchedDevices devices{clock};
    std::unique_ptr<sim::Chronometer> chrono;
    std::unique_ptr<TfrmZORMain> form;
};

// Every text the widgets show, page by page, as written.
TEST_F(QtWindowTest, ShownTextsReadAsWritten) {
    BoxCloser boxes;
    make({"-log", sample});
    EXPECT_EQ(form->windowTitle(), wt::WINDOW_TITLE);
    for (const wt::Text& t : wt::CAPTIONS) {
        const Ctl c = ctl(t.name);
        EXPECT_EQ(text(c), c == Ctl::cbLogga ? format(wt::LOG_BOX.text, "zorload.log")
                                             : QString::fromUtf8(t.text))
            << t.name;
    }
    EXPECT_EQ(text(Ctl::lblProgramVersion), format(wt::PROGRAM_VERSION.text, "2.1.0.155"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list(ctl(wt::COLUMNS[i].name))->headerItem()->text(i % 2), wt::COLUMNS[i].text);
    }
    QStringList help;
    for (const char* line : wt::HELP_LINES)
        help << QString::fromUtf8(line);
    EXPECT_EQ(static_cast<QPlainTextEdit*>(w(Ctl::memPg2Help))->toPlainText().split('\n'), help);

    auto expectStep = [&](Page p) {
        ASSERT_EQ(page(), p);
        const wt::PageText& literal = wt::PAGES[static_cast<int>(p)];
        EXPECT_EQ(text(Ctl::lblStepTitle), QString::fromUtf8(literal.title)) << literal.page;
        EXPECT_EQ(text(Ctl::lblStepText), QString::fromUtf8(literal.text)) << literal.page;
        EXPECT_EQ(
            text(Ctl::btnAvanti),
            QString::fromUtf8(p == Page::Done ? wt::NEXT_ON_DONE.text : wt::caption("btnAvanti")));
    };
    next();
    expectStep(Page::SelFile);

    // The file dialog, as Browse opens it.
    QString dialogTitle;
    QStringList filters;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialogTitle = dialog->windowTitle();
            filters = dialog->nameFilters();
            filters << dialog->selectedNameFilter();
            dialog->reject();
        }
    });
    watch.start(20);
    click(Ctl::btnSfoglia);
    watch.stop();
    EXPECT_EQ(dialogTitle, wt::OPEN_DIALOG_TITLE);
    EXPECT_EQ(filters,
              (QStringList{wt::OPEN_DIALOG_FILTERS[0].text, wt::OPEN_DIALOG_FILTERS[1].text,
                           wt::OPEN_DIALOG_FILTERS[2].text, wt::OPEN_DIALOG_FILTERS[0].text}));

    next();
    expectStep(Page::SetCrono);
    next();
    expectStep(Page::SelPort);
    next();
    expectStep(Page::SelLanguage);
    EXPECT_EQ(text(Ctl::lbErroreLingua), wt::VERDICTS[0].text);
    auto* rows = list(Ctl::lvSelLang);
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
        rows->topLevelItem(i)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(text(Ctl::lbErroreLingua), wt::VERDICTS[1].text);
    next();
    expectStep(Page::Download);
    EXPECT_EQ(text(Ctl::lbProgresso), wt::caption("lbProgresso"));
    EXPECT_EQ(text(Ctl::lbFase), wt::caption("lbFase"));
    QString overall, phase;
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (text(Ctl::lbProgresso) != wt::caption("lbProgresso")) {
                overall = text(Ctl::lbProgresso);
                phase = text(Ctl::lbFase);
            }
            return page() == Page::Done;
        },
        20000));
    int n = 0, of = 0, percent = 0;
    ASSERT_EQ(std::sscanf(overall.toUtf8().constData(), wt::OVERALL_PROGRESS.text, &n, &of), 2);
    EXPECT_EQ(overall, format(wt::OVERALL_PROGRESS.text, n, of));
    ASSERT_EQ(std::sscanf(phase.toUtf8().constData(), "Progresso fase (%d", &percent), 1);
    EXPECT_EQ(phase, format(wt::PHASE_PROGRESS.text, percent));
    expectStep(Page::Done);
    click(Ctl::btnAltro);
    expectStep(Page::New);
    EXPECT_TRUE(boxes.shown.empty());
}

// The boxes as the window shows them: text, caption and icon.
TEST_F(QtWindowTest, BoxesReadAsWritten) {
    const std::string shortFile = dir.file("corto.upd");
    ASSERT_TRUE(writeBytes(shortFile, std::vector<uint8_t>(600, 0x24)));
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> run;
        std::vector<std::pair<const char*, QString>> boxes;
    };
    sim::SimConfig silentE;
    silentE.faults = {{'E', 1, sim::Fault::Silence}};
    const Case cases[] = {
        {"-v",
         {"-v"},
         nullptr,
         {{"version", format(wt::box("version").text, "Morvanti Zorload", "2.1.0.155")}}},
        {"-x",
         {"-x"},
         nullptr,
         {{"unknownOption", format(wt::box("unknownOption").text, "-x", "zorload")}}},
        {"log",
         {"-log"},
         [&] {
             std::filesystem::create_directory(dir.file("zorload.LOG"));
             next();
             std::filesystem::remove(dir.file("zorload.LOG"));
         },
         {{"logOpen", wt::box("logOpen").text}}},
        {"short file",
         {shortFile},
         [&] { next(2); },
         {{"notAnUpdate", wt::box("notAnUpdate").text}}},
        {"no port",
         {sample},
         [&] {
             devices.setFailure("COM1", OpenFailure::NotInstalled);
             next(3);
             devices.setFailure("COM1", OpenFailure::None);
         },
         {{"noPort", wt::box("noPort").text}}},
        {"transfer fails, closing refused",
         {sample},
         [&] {
             attach(silentE);
             next(4);
             auto* rows = list(Ctl::lvSelLang);
             for (int i = 0; i < rows->topLevelItemCount(); ++i)
                 rows->topLevelItem(i)->setCheckState(0, Qt::Checked);
             // At the first progress report, while the worker waits for it.
             OnMetaCall report([&] {
                 ASSERT_EQ(page(), Page::Download);
                 QTest::keyClick(form.get(), Qt::Key_Escape);  // Cancel is disabled: nothing
                 form->close();
                 EXPECT_TRUE(form->isVisible());
                 EXPECT_TRUE(form->core().transferRunning());
             });
             form->installEventFilter(&report);
             next();
             pumpUntil([&] { return page() == Page::SelPort; }, 20000);
             EXPECT_TRUE(report.ran);
         },
         {{"closeRefused", wt::box("closeRefused").text},
          {"transferFailed", format(wt::box("transferFailed").text, 102,
                                    "Mancata risposta da parte del cronometro")}}},
        {"no chronometer",
         {sample},
         [&] {
             devices.addEmptyPort("COM1");
             next(4);
         },
         {{"noContact", wt::box("noContact").text}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BoxCloser boxes;
        make(c.args);
        if (c.run)
            c.run();
        pumpUntil([&] { return boxes.shown.size() >= c.boxes.size(); }, 2000);
        ASSERT_EQ(boxes.shown.size(), c.boxes.size());
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            const wt::Box& literal = wt::box(c.boxes[i].first);
            EXPECT_EQ(QString::fromStdString(boxes.shown[i].text), c.boxes[i].second);
            EXPECT_EQ(boxes.shown[i].caption, literal.caption) << literal.name;
            EXPECT_EQ(boxes.shown[i].icon, qtIcon(literal.icon)) << literal.name;
        }
    }
}

// Esc presses Annulla wherever it is enabled and closes the window (the port
// with it); Enter presses the focused button, else Next; the accelerators of
// buttons press them and those of labels focus their controls.
TEST_F(QtWindowTest, KeysOnEveryPage) {
    struct EscCase {
        Page page;
        int nexts;
    };
    for (const EscCase& c :
         {EscCase{Page::Pres, 0}, EscCase{Page::SelFile, 1}, EscCase{Page::SetCrono, 2},
          EscCase{Page::SelPort, 3}, EscCase{Page::SelLanguage, 4}}) {
        SCOPED_TRACE(wizard::pageName(c.page));
        make({sample});
        activate();
        next(c.nexts);
        ASSERT_EQ(page(), c.page);
        QTest::keyClick(form.get(), Qt::Key_Escape);
        EXPECT_FALSE(form->isVisible());
        EXPECT_FALSE(devices.isOpen("COM1"));
    }

    BoxCloser boxes;
    make();
    activate();
    QTest::keyClick(form.get(), Qt::Key_Return);  // Next, the default
    ASSERT_EQ(page(), Page::SelFile);
    QTest::keyClick(w(Ctl::FileName), Qt::Key_Return);  // empty name: Next is disabled
    EXPECT_EQ(page(), Page::SelFile);
    w(Ctl::btnIndietro)->setFocus();
    QTest::keyClick(w(Ctl::btnIndietro), Qt::Key_Return);  // the focused button
    EXPECT_EQ(page(), Page::Pres);
    next();

    // Browse by its accelerator; the dialog is cancelled.
    bool dialogShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialogShown = true;
            dialog->reject();
        }
    });
    watch.start(20);
    alt(Qt::Key_S);
    pumpUntil([&] { return dialogShown; }, 2000);
    watch.stop();
    EXPECT_TRUE(dialogShown);

    struct Buddy {
        Page page;
        Qt::Key key;
        Ctl focused;
    };
    static_cast<QLineEdit*>(w(Ctl::FileName))->setText(QString::fromStdString(sample));
    for (const Buddy& b : {Buddy{Page::SelFile, Qt::Key_N, Ctl::FileName},
                           Buddy{Page::SelPort, Qt::Key_P, Ctl::lwPorte},
                           Buddy{Page::SelLanguage, Qt::Key_C, Ctl::lvSelLang}}) {
        while (page() != b.page)
            next();
        activate();
        w(Ctl::btnIndietro)->setFocus();
        alt(b.key);
        EXPECT_EQ(QApplication::focusWidget(), w(b.focused)) << wizard::pageName(b.page);
    }
    EXPECT_EQ(page(), Page::SelLanguage);
    EXPECT_TRUE(boxes.shown.empty());
}

// Ticks, unticks and moves of the current row through the list's own
// widgets: each re-plans (one planner block in the log per move), and the
// verdict, the notice and Next follow.
TEST_F(QtWindowTest, ComponentListDrivesThePlan) {
    const std::string big = dir.file("grande.upd");
    ComponentSpec huge;
    huge.version = "Tabelle mondiali VERS 3.0 BUILD 1";
    huge.infoType = 1;
    huge.blks = 3;
    huge.data = sim::componentBlocks({1, 3, huge.version}, 4, 9);
    ComponentSpec small = huge;
    small.version = "Lingua tedesca VERS 1.1 BUILD 2";
    small.blks = 1;
    small.data = sim::componentBlocks({1, 1, small.version}, 2, 8);
    ASSERT_TRUE(UpdateFileWriter().add(huge).add(small).writeTo(big));

    make({"-log", big});
    activate();
    next(4);
    ASSERT_EQ(page(), Page::SelLanguage);
    auto* rows = list(Ctl::lvSelLang);
    ASSERT_EQ(rows->topLevelItemCount(), 2);
    ASSERT_EQ(QApplication::focusWidget(), rows);
    rows->setCurrentItem(rows->topLevelItem(0));

    struct Step {
        const char* what;
        Qt::Key key;  // Space ticks or unticks the current row
        int verdict;  // into VERDICTS
        bool notice;
        bool next;
        int currentRow;
    };
    const Step steps[] = {
        {"down", Qt::Key_Down, 0, false, false, 1},
        {"tick the small one", Qt::Key_Space, 2, false, true, 1},
        {"up", Qt::Key_Up, 2, false, true, 0},
        {"tick the large one too", Qt::Key_Space, 2, true, false, 0},
        {"down", Qt::Key_Down, 2, true, false, 1},
        {"untick the small one", Qt::Key_Space, 2, true, false, 1},
        {"up", Qt::Key_Up, 2, true, false, 0},
        {"untick the large one", Qt::Key_Space, 0, false, false, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const int blocks = count(log(), "BEGIN SistemaBlocchi");
        QTest::keyClick(rows, s.key);
        EXPECT_EQ(rows->indexOfTopLevelItem(rows->currentItem()), s.currentRow);
        EXPECT_EQ(count(log(), "BEGIN SistemaBlocchi"), blocks + 1);
        EXPECT_EQ(text(Ctl::lbErroreLingua), wt::VERDICTS[s.verdict].text);
        EXPECT_EQ(w(Ctl::lblNoSpace)->isVisible(), s.notice);
        EXPECT_EQ(w(Ctl::imgNoSpace)->isVisible(), s.notice);
        EXPECT_EQ(w(Ctl::btnAvanti)->isEnabled(), s.next);
    }
}

// Dark pixels in a rectangle of an image.
int ink(const QImage& img, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() < 96 && c.green() < 96 && c.blue() < 96;
        }
    }
    return n;
}

// The chart on screen: each type's fill, the edges in their colours and
// order, and the labels of changed partitions in bold, the others regular.
TEST_F(QtWindowTest, ChartOnScreen) {
    sim::SimConfig types;
    types.partitions = {{8, 0, 1, "Boot VERS 1.00 BUILD 10"},
                        {0, 1, 3, "Programma base VERS 2.10 BUILD 35"},
                        {5, 4, 1, "Modulo cinque"},
                        {12, 5, 1, "Modulo dodici"},
                        {1, 6, 1, "Lingua italiano VERS 1.2 BUILD 4"}};
    attach(types);
    make({sample});
    QWidget* box = w(Ctl::pbSelLang);
    const int width = 433, h = 73, W = width - 5;
    ASSERT_EQ(box->size(), QSize(width, h));
    const qtui::EdgeColours edges = qtui::edgeColours(box->palette());
    const QColor black(Qt::black);

    struct Expect {
        int first, count;
        QColor fill;
        bool bold;
    };
    // The label's ink against the same text drawn regular and bold.
    auto check = [&](const std::vector<Expect>& expected) {
        const QImage img = box->grab().toImage();
        const std::vector<ChartBox> drawn = chartBoxes(form->core().chartTable(), width, h);
        ASSERT_EQ(drawn.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const Expect& e = expected[i];
            const int x0 = e.first * W / 8 + 5, x1 = (e.first + e.count) * W / 8;
            SCOPED_TRACE(drawn[i].label);
            EXPECT_EQ(img.pixel(x0 + 3, h - 9), e.fill.rgb());
            EXPECT_EQ(img.pixel(x0 + 1, 20), black.rgb());  // the fill's outline
            EXPECT_EQ(img.pixel(x1 - 2, h - 7), black.rgb());
            EXPECT_EQ(img.pixel(x0 - 1, 30), edges.btnHighlight.rgb());   // outer: light
            EXPECT_EQ(img.pixel(x0 + 2, 4), edges.btnHighlight.rgb());    // top and left,
            EXPECT_EQ(img.pixel(x1 + 1, 30), edges.darkShadow.rgb());     // dark right
            EXPECT_EQ(img.pixel(x0 + 2, h - 4), edges.darkShadow.rgb());  // and bottom
            EXPECT_EQ(img.pixel(x0, 30), edges.light.rgb());              // inner: light
            EXPECT_EQ(img.pixel(x0 + 2, 5), edges.light.rgb());           // top and left,
            EXPECT_EQ(img.pixel(x1, 30), edges.btnShadow.rgb());          // shadow right
            EXPECT_EQ(img.pixel(x0 + 2, h - 5), edges.btnShadow.rgb());   // and bottom

            const QRect label(x0 + 1, 11, x1 - 1 - (x0 + 1), h - 6 - 11);
            const QRect inside = QRect(x0 + 2, 11, x1 - x0 - 4, h - 7 - 11);
            int regularBold[2];
            for (int bold = 0; bold < 2; ++bold) {
                QImage ref(width, h, QImage::Format_ARGB32);
                ref.fill(e.fill);
                QPainter p(&ref);
                QFont f = box->font();
                f.setBold(bold);
                p.setFont(f);
                p.setPen(black);
                p.drawText(label, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                           QString::fromStdString(chartLabelText(drawn[i])));
                regularBold[bold] = ink(ref, inside);
            }
            ASSERT_NE(regularBold[0], regularBold[1]);
            const int shown = ink(img, inside);
            EXPECT_EQ(std::abs(shown - regularBold[1]) < std::abs(shown - regularBold[0]), e.bold)
                << shown << " dark pixels; regular " << regularBold[0] << ", bold "
                << regularBold[1];
        }
    };
    const QColor lime(0, 255, 0), yellow(255, 255, 0), white(255, 255, 255), red(255, 0, 0),
        aqua(0, 255, 255), grey(128, 128, 128);

    {
        SCOPED_TRACE("before any plan");
        check({{0, 8, aqua, false}});
    }
    next(4);
    ASSERT_EQ(page(), Page::SelLanguage);
    {
        SCOPED_TRACE("the chronometer as it is");
        check({{0, 1, red, false},
               {1, 3, lime, false},
               {4, 1, white, false},
               {5, 1, grey, false},
               {6, 1, yellow, false},
               {7, 1, aqua, false}});
    }
    auto* rows = list(Ctl::lvSelLang);
    rows->topLevelItem(0)->setCheckState(0, Qt::Checked);  // a newer boot
    rows->topLevelItem(2)->setCheckState(0, Qt::Checked);  // a newer Italian
    {
        SCOPED_TRACE("two components replaced");
        check({{0, 1, red, true},
               {1, 1, yellow, true},
               {2, 2, aqua, false},
               {4, 1, white, false},
               {5, 1, grey, false},
               {6, 1, yellow, false},
               {7, 1, aqua, false}});
    }
}

// The log opened again writes its end and start banners; a file loaded again
// clears every tick; closing lets go of the port before the log ends.
TEST_F(QtWindowTest, LogReloadAndCloseOrder) {
    bool closing = false;
    int endsWhenPortClosed = -1;
    devices.onClose = [&] {
        if (closing)
            endsWhenPortClosed = count(log(), "Session end");
    };
    make({"-log", sample});
    next();
    click(Ctl::btnIndietro);
    ASSERT_TRUE(static_cast<QAbstractButton*>(w(Ctl::cbLogga))->isChecked());
    next();
    EXPECT_EQ(log(),
              "Session start ---------------------------\r\n"
              "Session end -----------------------------\r\n\r\n"
              "Session start ---------------------------\r\n");

    next(3);
    ASSERT_EQ(page(), Page::SelLanguage);
    auto* rows = list(Ctl::lvSelLang);
    rows->topLevelItem(1)->setCheckState(0, Qt::Checked);
    rows->topLevelItem(3)->setCheckState(0, Qt::Checked);
    for (int i = 0; i < 3; ++i)
        click(Ctl::btnIndietro);
    ASSERT_EQ(page(), Page::SelFile);
    next(3);
    ASSERT_EQ(page(), Page::SelLanguage);
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
        EXPECT_EQ(rows->topLevelItem(i)->checkState(0), Qt::Unchecked) << i;
    EXPECT_EQ(text(Ctl::lbErroreLingua), wt::VERDICTS[0].text);

    ASSERT_TRUE(devices.isOpen("COM1"));  // since the check
    closing = true;
    click(Ctl::btnAnnulla);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(endsWhenPortClosed, 1);
    EXPECT_EQ(count(log(), "Session end"), 2);
}

// An exception that escapes the window's construction or its event loop:
// one box with its message under the program's name, the error icon.
TEST(QtStartup, EscapedExceptionShowsItsMessage) {
    const QString before = QApplication::applicationName();
    QApplication::setApplicationName("Zorload");
    BoxCloser closer;
    qtui::showStartupError(std::runtime_error("Memoria insufficiente"));
    QApplication::setApplicationName(before);
    ASSERT_EQ(closer.shown.size(), 1u);
    EXPECT_EQ(closer.shown[0].text, "Memoria insufficiente");
    EXPECT_EQ(closer.shown[0].caption, "Zorload");
    EXPECT_EQ(closer.shown[0].icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace zor::test
