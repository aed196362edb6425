// The Qt window, offscreen: its controls against the form table, the fit of
// every text, keys and accelerators, the chart's pixels and labels, the real
// program refusing the toolkit's options, and the wake-up of a running
// instance by a second process.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEngine>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <climits>
#include <thread>

#include "flash/partition_dump.h"
#include "flash/planner.h"
#include "platform/version_block.h"
#include "qt_support.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "text/plan_text.h"
#include "updatefile/update_writer.h"
#include "wizard/qt/chart_painter.h"
#include "wizard/qt/main_form.h"

namespace zor::test {
namespace {

using qtui::TfrmZORMain;
using wizard::ControlSpec;
using wizard::Ctl;
using wizard::Kind;
using wizard::Page;

class QtFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writeBytes(sample, sim::sampleUpdateFile()));
        sim::SimConfig config;
        config.flashStepMs = 1;
        chrono = std::make_unique<sim::Chronometer>(config);
        devices.attach("COM1", *chrono);
    }
    void TearDown() override {
        if (!form || !form->core().transferRunning()) {
            EXPECT_EQ(chrono->violations(), std::vector<std::string>{});
        }
    }
    void make(std::vector<std::string> args = {}) {
        form = std::make_unique<TfrmZORMain>(
            wizard::WizardEnvironment{devices, clock, programVersionBlock(), dir.file("zorload"),
                                      std::move(args), dir.path()});
        ASSERT_TRUE(form->construct());
        form->show();
    }
    QWidget* w(Ctl c) { return form->widget(c); }
    void click(Ctl c) { QTest::mouseClick(w(c), Qt::LeftButton); }
    // Through the pages to the component list, every component ticked.
    void toComponentPage() {
        make({sample});
        for (int i = 0; i < 4; ++i)
            click(Ctl::btnAvanti);
        ASSERT_EQ(form->core().page(), Page::SelLanguage);
        auto* list = static_cast<QTreeWidget*>(w(Ctl::lvSelLang));
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setCheckState(0, Qt::Checked);
    }

    TempDir dir{"zor_qtform"};
    std::string sample = dir.file("esempio.upd");
    VirtualClock clock;
    sim::SimDevices devices{clock};
    std::unique_ptr<sim::Chronometer> chrono;
    std::unique_ptr<TfrmZORMain> form;
};

QString plainCaption(const ControlSpec& def) {
    return QString::fromUtf8(def.caption);
}

// Every control where the table puts it, with its caption, visibility and
// roles; the window fixed at 495 x 358 without minimise or maximise box.
TEST_F(QtFormTest, ControlsStandWhereTheFormTablePutsThem) {
    make();
    EXPECT_EQ(form->size(), QSize(495, 358));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form->windowTitle(), "Zorload");

    for (const ControlSpec& def : wizard::formControls()) {
        if (def.kind == Kind::Form)
            continue;
        QWidget* c = w(def.id);
        ASSERT_NE(c, nullptr) << def.name;
        EXPECT_EQ(c->objectName(), def.name);
        EXPECT_EQ(c->pos(), QPoint(def.left, def.top)) << def.name;
        if (def.width > 0) {
            EXPECT_EQ(c->size(), QSize(def.width, def.height)) << def.name;
        }
        if (auto* label = qobject_cast<QLabel*>(c); label && def.id != Ctl::lblProgramVersion &&
                                                    def.id != Ctl::lblStepTitle &&
                                                    def.id != Ctl::lblStepText) {
            EXPECT_EQ(label->text(), plainCaption(def)) << def.name;
        }
        if (def.kind == Kind::Button) {
            EXPECT_EQ(static_cast<QPushButton*>(c)->text(), plainCaption(def));
        }
        if (def.buddy != Ctl::Form) {
            EXPECT_EQ(static_cast<QLabel*>(c)->buddy(), w(def.buddy)) << def.name;
        }
    }
    // The start page as constructed.
    EXPECT_TRUE(w(Ctl::pnlPresenta)->isVisible());
    EXPECT_FALSE(w(Ctl::Pagine)->isVisible());
    EXPECT_FALSE(w(Ctl::btnAltro)->isVisible());
    EXPECT_FALSE(w(Ctl::cbLogga)->isVisible());
    EXPECT_FALSE(w(Ctl::btnIndietro)->isEnabled());
    EXPECT_EQ(static_cast<QLabel*>(w(Ctl::lblProgramVersion))->text(), "Versione 2.1.0.155");
    EXPECT_TRUE(static_cast<QPushButton*>(w(Ctl::btnAvanti))->isDefault());
    EXPECT_EQ(static_cast<QLineEdit*>(w(Ctl::FileName))->maxLength(), 250);

    // The two report lists.
    auto* ports = static_cast<QTreeWidget*>(w(Ctl::lwPorte));
    auto* parts = static_cast<QTreeWidget*>(w(Ctl::lvSelLang));
    EXPECT_EQ(ports->headerItem()->text(0), "Porta");
    EXPECT_EQ(ports->headerItem()->text(1), "Informazioni");
    EXPECT_EQ(ports->columnWidth(0), 100);
    EXPECT_EQ(parts->headerItem()->text(0), "Componente");
    EXPECT_EQ(parts->headerItem()->text(1), "Versione");
    EXPECT_EQ(parts->columnWidth(0), 280);
    EXPECT_EQ(parts->columnWidth(1), 140);
    EXPECT_FALSE(parts->header()->sectionsClickable());

    std::vector<QString> chain;
    for (QWidget* c : form->tabChain())
        chain.push_back(c->objectName());
    EXPECT_EQ(chain,
              (std::vector<QString>{"btnAvanti", "btnIndietro", "btnAltro", "btnAnnulla",
                                    "FileName", "btnSfoglia", "lwPorte", "lvSelLang", "cbLogga"}));
}

// Every text the window can show fits its control in the form's font.
TEST_F(QtFormTest, EveryTextFitsItsBounds) {
    make();
    std::map<Ctl, std::vector<QString>> texts;
    for (int p = 0; p < wizard::PAGE_COUNT; ++p) {
        texts[Ctl::lblStepTitle].push_back(QString::fromUtf8(wizard::pageTitle(Page(p))));
        texts[Ctl::lblStepText].push_back(QString::fromUtf8(wizard::pageText(Page(p))));
    }
    for (PlanVerdict verdict :
         {PlanVerdict::Unchanged, PlanVerdict::Complete, PlanVerdict::Partial, PlanVerdict::NoMilo})
        texts[Ctl::lbErroreLingua].push_back(QString::fromUtf8(verdictText(verdict)));
    texts[Ctl::lbProgresso] = {"Progresso complessivo (fase 10 di 10):"};
    texts[Ctl::lbFase] = {"Progresso fase (100 %):"};
    texts[Ctl::lblProgramVersion] = {"Versione 2.1.0.155"};
    texts[Ctl::btnAvanti] = {"&Fine", "&Avanti >"};
    texts[Ctl::cbLogga] = {"Crea file registro in zorload.log"};
    for (const ControlSpec& def : wizard::formControls()) {
        if ((def.kind == Kind::Label || def.kind == Kind::Button) && def.width > 0 &&
            texts[def.id].empty() && *def.caption) {
            texts[def.id].push_back(plainCaption(def));
        }
    }
    const QStringList help = QString::fromStdString(wizard::helpText()).split('\n');
    for (const QString& line : help)
        texts[Ctl::memPg2Help].push_back(line);

    for (const auto& [id, candidates] : texts) {
        const ControlSpec& def = wizard::control(id);
        const QFontMetrics metrics(w(id)->font());
        // Buttons keep their text off the frame, check boxes leave room for
        // the box; labels may use their whole width.
        const int margin = def.kind == Kind::Button ? 4 : def.kind == Kind::CheckBox ? 20 : 0;
        for (QString text : candidates) {
            text.remove('&');
            const int flags = def.wordWrap ? Qt::TextWordWrap : 0;
            const QRect need =
                metrics.boundingRect(QRect(0, 0, def.width - margin, 10000), flags, text);
            EXPECT_LE(need.width(), def.width - margin) << def.name << ": " << text.toStdString();
            if (def.kind == Kind::Label) {
                EXPECT_LE(need.height(), def.height) << def.name << ": " << text.toStdString();
            }
        }
    }
}

// Enter is Next, Esc is Cancel; Alt with an accelerator clicks its button;
// during the transfer Esc and the close box do nothing but the refusal.
TEST_F(QtFormTest, KeysAcceleratorsAndTheCloseRule) {
    BoxCloser boxes;
    make({sample});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_EQ(form->core().page(), Page::SelFile);
    // A button's accelerator clicks it after a short press animation.
    QTest::keyClick(form.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(pumpUntil([&] { return form->core().page() == Page::Pres; }, 2000));
    QTest::keyClick(form.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(pumpUntil([&] { return form->core().page() == Page::SelFile; }, 2000));
    QTest::keyClick(w(Ctl::FileName), Qt::Key_Return);  // the edit passes Enter on
    EXPECT_EQ(form->core().page(), Page::SetCrono);
    form.reset();

    toComponentPage();
    click(Ctl::btnAvanti);
    ASSERT_EQ(form->core().page(), Page::Download);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    form->close();
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return form->core().page() == Page::Done; }, 20000));
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0].rfind("L'invio dei dati al cronometro non può", 0), 0u);
    EXPECT_EQ(static_cast<QPushButton*>(w(Ctl::btnAvanti))->text(), "&Fine");
    QTest::keyClick(form.get(), Qt::Key_Escape);  // Cancel is enabled again
    EXPECT_FALSE(form->isVisible());
}

// The chart on screen: type colours inside black outlines, raised outer and
// lowered inner edges, nothing painted between the boxes.
TEST_F(QtFormTest, ChartPaintsEveryBoxWithItsEdges) {
    toComponentPage();
    QWidget* box = w(Ctl::pbSelLang);
    ASSERT_EQ(box->size(), QSize(433, 73));
    const QImage img = box->grab().toImage();
    const qtui::EdgeColours edges = qtui::edgeColours(box->palette());
    const QRgb background = img.pixel(2, 2);  // left of the first box
    const int h = 73;
    const std::vector<ChartBox> boxes = chartBoxes(form->core().chartTable(), 433, 73);
    ASSERT_EQ(boxes.size(), 5u);  // MILO, PGM, two DATAREL, free
    for (const ChartBox& b : boxes) {
        SCOPED_TRACE(b.label);
        EXPECT_EQ(img.pixel(b.x0 + 3, h - 9), QColor(b.fill.r, b.fill.g, b.fill.b).rgb());
        EXPECT_EQ(img.pixel(b.x0 + 1, h - 9), QColor(Qt::black).rgb());
        EXPECT_EQ(img.pixel(b.x1 - 2, h - 7), QColor(Qt::black).rgb());
        EXPECT_EQ(img.pixel(b.x0 - 1, 30), edges.btnHighlight.rgb());
        EXPECT_EQ(img.pixel(b.x0 + 2, 4), edges.btnHighlight.rgb());
        EXPECT_EQ(img.pixel(b.x1 + 1, 30), edges.darkShadow.rgb());
        EXPECT_EQ(img.pixel(b.x0 + 2, h - 4), edges.darkShadow.rgb());
        EXPECT_EQ(img.pixel(b.x0, 30), edges.light.rgb());
        EXPECT_EQ(img.pixel(b.x1, 30), edges.btnShadow.rgb());
        EXPECT_EQ(img.pixel(b.x1 + 3, 30), background);
    }
    // Labels are drawn in black inside their box.
    const ChartBox& program = boxes[1];
    bool ink = false;
    for (int x = program.labelRect.left; x < program.labelRect.right; ++x)
        ink |= img.pixelColor(x, program.labelRect.top + 6) == QColor(Qt::black);
    EXPECT_TRUE(ink);
}

// The toolkit's own options are the program's unknown options: the real
// program shows the box naming the first and ends with status 1, the window
// never shown; the platform comes from the environment all the same.
TEST(QtProgram, ToolkitOptionsAreUnknownOptions) {
    const std::vector<QStringList> cases = {
        {"-reverse"},           {"-platform", "xcb"},
        {"-style", "fusion"},   {"-session", "x"},
        {"-widgetcount"},       {"-display", ":0"},
        {"-geometry", "10x10"}, {"a.upd", "-qwindowtitle", "x"},
    };
    TempDir dir("zor_qtoptions");
    for (const QStringList& args : cases) {
        const QString option = args[0] == "a.upd" ? args[1] : args[0];
        SCOPED_TRACE(option.toStdString());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZORLOAD_ANSWER_BOXES", "1");
        program.setProcessEnvironment(env);
        program.start(ZORLOAD_PROGRAM, args);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        // Qt may add warnings of its own there.
        const QString told = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(told.contains("Zorload: Opzione della linea di comando sconosciuta: '" +
                                  option + "'\nUso: zorload [-v] [-high] [-?] [FileDaCaricare]\n"))
            << told.toStdString();
    }
}

// A paint device that keeps the text the painter hands to it, run by run,
// after the painter's own processing of the string; everything else is
// dropped.
class DrawnText : public QPaintDevice {
  public:
    struct Run {
        QString text;
        bool underlined;
    };
    std::vector<Run> runs;
    QPaintEngine* paintEngine() const override { return &engine_; }

  protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return 433;
            case PdmHeight:
                return 73;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return INT_MAX;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            case PdmWidthMM:
            case PdmHeightMM:
                return 100;
            default:
                return 96;  // dots per inch, logical and physical
        }
    }

  private:
    class Engine : public QPaintEngine {
      public:
        explicit Engine(std::vector<Run>& runs) : QPaintEngine(AllFeatures), runs_(runs) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawRects(const QRectF*, int) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            runs_.push_back({item.text(), (item.renderFlags() & QTextItem::Underline) ||
                                              item.font().underline()});
        }
        Type type() const override { return User; }

      private:
        std::vector<Run>& runs_;
    };
    mutable Engine engine_{runs};
};

// Names with '&' are labelled as the Windows chart labels them: "&&" shows
// one '&', a lone '&' is dropped and underlines the character after it.
TEST(QtChart, AmpersandsInLabels) {
    const struct {
        const char* name;
        const char* shown;
        const char* underlined;
    } cases[] = {
        // An unpadded version loses its last character, as on Windows.
        {"R&&D VERS 2.0", "R&D 2.", ""},
        {"&Lingua VERS 2.0", "Lingua 2.", "L"},
        {"A&B&&C VERS 1.0", "AB&C 1.", "B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PartitionTable table;
        resetTable(table);
        ASSERT_TRUE(addPartition(table, PT_DATAREL, 0, c.name, nullptr, 0, 8));
        DrawnText device;
        {
            QPainter painter(&device);
            qtui::drawAllocation(painter, table, 433, 73, qtui::formFont(),
                                 qtui::edgeColours(QPalette()));
        }
        QString shown, underlined;
        for (const DrawnText::Run& run : device.runs) {
            shown += run.text;
            if (run.underlined)
                underlined += run.text;
        }
        EXPECT_EQ(shown.toStdString(), c.shown);
        EXPECT_EQ(underlined.toStdString(), c.underlined);
    }
}

// A second start (the real program, with arguments) wakes this window from
// its minimised state and ends at once with status 0, showing nothing;
// wParam 2 changes nothing.
TEST_F(QtFormTest, SecondStartWakesTheRunningWindow) {
    make();
    SingleInstance owner("MorvantiZorloadMutex", dir.path());
    ASSERT_TRUE(owner.CheckSingleInstance());
    const auto wakeUps = qtui::listenForWakeUps(owner, *form);
    ASSERT_NE(wakeUps, nullptr);

    form->showMinimized();
    ASSERT_TRUE(form->isMinimized());
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    QElapsedTimer took;
    took.start();
    second.start(ZORLOAD_PROGRAM, {"-v", "altro.upd"});
    ASSERT_TRUE(second.waitForStarted(5000));
    ASSERT_TRUE(pumpUntil([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_LT(took.elapsed(), 4000);  // answered, not timed out
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->core().page(), Page::Pres);

    form->showMinimized();
    bool delivered = false;
    std::thread other([&] {
        SingleInstance sender("MorvantiZorloadMutex", dir.path());
        delivered = sender.notifyRunning(WM_SHOWINSTANCE, 2, 0);
    });
    pumpUntil([&] { return delivered; }, 5000);
    other.join();
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(form->isMinimized());
}

}  // namespace
}  // namespace zor::test
