// What the user reads, from the wizard's rules against a recording window:
// every caption, step text and message box compared with the literal texts
// of support/window_texts.h, not with the form table they are built from.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>

#include "platform/version_block.h"
#include "recording_view.h"
#include "sim/component_image.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "support/window_texts.h"
#include "updatefile/update_writer.h"
#include "window_text_checks.h"
#include "wizard/wizard.h"

namespace zor::test {
namespace {

namespace wt = window_texts;
using wizard::Ctl;
using wizard::Page;

Ctl ctl(const char* name) {
    return ctlNamed(name);
}

template <typename... Args>
std::string format(const char* fmt, Args... args) {
    return formatText(fmt, args...);
}

BoxIcon icon(wt::Icon i) {
    return i == wt::Icon::Information   ? BoxIcon::Information
           : i == wt::Icon::Exclamation ? BoxIcon::Exclamation
                                        : BoxIcon::Error;
}

// One wizard with its own chronometer world.
struct World {
    explicit World(const TempDir& dir, sim::SimConfig config = {}) {
        config.flashStepMs = 1;
        chrono = std::make_unique<sim::Chronometer>(config);
        devices.attach("COM1", *chrono);
        programPath = dir.file("zorload");
    }
    ~World() {
        if (wiz && wiz->transferRunning())
            view.finishTransfer();
    }
    bool start(std::vector<std::string> args) {
        wiz = std::make_unique<wizard::Wizard>(
            view, wizard::WizardEnvironment{devices, clock, programVersionBlock(), programPath,
                                            std::move(args), "/"});
        view.wizard = wiz.get();
        return wiz->construct();
    }
    void next(int times = 1) {
        for (int i = 0; i < times; ++i)
            wiz->btnAvantiClick();
    }
    VirtualClock clock;
    sim::SimDevices devices{clock};
    std::unique_ptr<sim::Chronometer> chrono;
    std::string programPath;
    RecordingView view;
    std::unique_ptr<wizard::Wizard> wiz;
};

class WindowTextsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(writeBytes(sample, sim::sampleUpdateFile())); }
    TempDir dir{"zor_texts"};
    std::string sample = dir.file("esempio.upd");
};

// Through every page with -log: the titles and step texts, every caption the
// window is built with or given, the list headers, the instructions, the
// verdicts, the transfer page's captions, the file dialog and "&Fine".
TEST_F(WindowTextsTest, EveryPageAndControlReadsAsWritten) {
    // The captions the window is built with: all of them, and nothing more.
    EXPECT_STREQ(wizard::control(Ctl::Form).caption, wt::WINDOW_TITLE);
    for (const wizard::ControlSpec& c : wizard::formControls()) {
        if (c.id == Ctl::Form || c.id == Ctl::lbErroreLingua || !*c.caption)
            continue;
        const char* literal = wt::caption(c.name);
        ASSERT_NE(literal, nullptr) << c.name << " shows a text nobody wrote down";
        EXPECT_STREQ(c.caption, literal) << c.name;
    }
    for (const wt::Text& t : wt::CAPTIONS)
        EXPECT_STREQ(wizard::control(ctl(t.name)).caption, t.text) << t.name;
    const wizard::Column* columns[] = {&wizard::PORT_COLUMNS[0], &wizard::PORT_COLUMNS[1],
                                       &wizard::COMPONENT_COLUMNS[0],
                                       &wizard::COMPONENT_COLUMNS[1]};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_STREQ(columns[i]->caption, wt::COLUMNS[i].text);
    std::string help = wt::HELP_LINES[0];
    for (size_t i = 1; i < std::size(wt::HELP_LINES); ++i)
        help += std::string("\n") + wt::HELP_LINES[i];
    EXPECT_EQ(wizard::helpText(), help);

    World w(dir);
    std::vector<Page> seen;
    auto expectPage = [&](Page p) {
        const wt::PageText& literal = wt::PAGES[static_cast<int>(p)];
        EXPECT_EQ(w.view.page, p);
        EXPECT_STREQ(wizard::pageName(p), literal.page);
        EXPECT_EQ(w.view.caption(Ctl::lblStepTitle), literal.title) << literal.page;
        EXPECT_EQ(w.view.caption(Ctl::lblStepText), literal.text) << literal.page;
        EXPECT_EQ(w.view.caption(Ctl::btnAvanti),
                  p == Page::Done ? wt::NEXT_ON_DONE.text : wt::caption("btnAvanti"))
            << literal.page;
        seen.push_back(p);
    };
    ASSERT_TRUE(w.start({"-log", sample}));
    EXPECT_EQ(w.view.caption(Ctl::Form), wt::WINDOW_TITLE);
    EXPECT_EQ(w.view.caption(Ctl::lblProgramVersion),
              format(wt::PROGRAM_VERSION.text, "2.1.0.155"));
    EXPECT_EQ(w.view.caption(Ctl::cbLogga), format(wt::LOG_BOX.text, "zorload.log"));
    expectPage(Page::Pres);
    w.next();
    expectPage(Page::SelFile);

    w.view.dialogAnswer = sample;
    w.wiz->btnSfogliaClick();
    ASSERT_EQ(w.view.dialogs.size(), 1u);
    EXPECT_EQ(w.view.dialogs[0].title, wt::OPEN_DIALOG_TITLE);
    ASSERT_EQ(w.view.dialogs[0].filters.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_STREQ(w.view.dialogs[0].filters[i].description, wt::OPEN_DIALOG_FILTERS[i].text);
        EXPECT_STREQ(w.view.dialogs[0].filters[i].pattern, wt::OPEN_DIALOG_FILTERS[i].name);
    }

    w.next();
    expectPage(Page::SetCrono);
    w.view.onPump = [&] {
        if (w.view.page == Page::CheckCom && (seen.empty() || seen.back() != Page::CheckCom))
            expectPage(Page::CheckCom);
    };
    w.next();
    expectPage(Page::SelPort);
    w.next();
    w.view.onPump = nullptr;
    ASSERT_EQ(seen.end()[-1], Page::CheckCom);
    expectPage(Page::SelLanguage);

    // The verdicts, ticking the sample's rows (MILO, PGM, two DATAREL).
    struct Tick {
        int row;
        bool on;
        const char* verdict;
    };
    for (const Tick& t : {Tick{-1, false, "unchanged"}, Tick{2, true, "partial"},
                          Tick{1, true, "complete"}, Tick{0, true, "complete"}}) {
        if (t.row >= 0)
            w.view.tick(t.row, t.on);
        const char* literal = nullptr;
        for (const wt::Text& v : wt::VERDICTS) {
            if (std::strcmp(v.name, t.verdict) == 0)
                literal = v.text;
        }
        EXPECT_EQ(w.view.caption(Ctl::lbErroreLingua), literal) << t.verdict;
    }

    w.next();
    expectPage(Page::Download);
    EXPECT_EQ(w.view.caption(Ctl::lbProgresso), wt::caption("lbProgresso"));
    EXPECT_EQ(w.view.caption(Ctl::lbFase), wt::caption("lbFase"));
    w.view.finishTransfer();
    w.wiz->ShowProgress(2, 3, 45);
    EXPECT_EQ(w.view.caption(Ctl::lbProgresso), format(wt::OVERALL_PROGRESS.text, 2, 3));
    EXPECT_EQ(w.view.caption(Ctl::lbFase), format(wt::PHASE_PROGRESS.text, 45));
    expectPage(Page::Done);
    w.wiz->btnAltroClick();
    expectPage(Page::New);

    // The chronometer without MILO.
    sim::SimConfig noMilo;
    noMilo.partitions = {{0, 1, 3, "Programma base VERS 2.10 BUILD 35"}};
    noMilo.flashStepMs = 1;
    sim::Chronometer bare(noMilo);
    w.devices.attach("COM1", bare);
    w.next();
    ASSERT_EQ(w.view.page, Page::SelLanguage);
    for (int row = 0; row < 4; ++row)
        w.view.tick(row, false);
    EXPECT_EQ(w.view.caption(Ctl::lbErroreLingua), wt::VERDICTS[3].text);
    EXPECT_EQ(seen.size(), wt::PAGE_COUNT);
}

// Every message box the wizard can show: text, caption, icon and whether the
// warning sound came first, in the order they appear.
TEST_F(WindowTextsTest, EveryBoxReadsAsWritten) {
    const std::string tooNew = dir.file("nuovo.upd");
    ComponentSpec future;
    future.version = "Programma futuro VERS 9.0 BUILD 1";
    future.infoType = 0x10;
    future.data = sim::componentBlocks({0, 1, future.version}, 1, 3);
    ASSERT_TRUE(UpdateFileWriter().add(future).writeTo(tooNew));
    const std::string shortFile = dir.file("corto.upd");
    ASSERT_TRUE(writeBytes(shortFile, std::vector<uint8_t>(600, 0x24)));
    std::filesystem::create_directory(dir.file("zorload.LOG"));  // the log cannot be opened

    struct Expected {
        const char* box;
        std::string text;  // empty: the OS's own text, whatever it is
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void(World&)> run;
        std::vector<Expected> boxes;
        sim::SimConfig config = {};
    };
    auto toFilePage = [](World& w) { w.next(); };
    auto toTransfer = [](World& w) {
        w.next(4);
        for (size_t i = 0; i < w.view.components.size(); ++i)
            w.view.tick(static_cast<int>(i), true);
        w.next();
        w.view.finishTransfer();
    };
    sim::SimConfig silentE;
    silentE.faults = {{'E', 1, sim::Fault::Silence}};
    const Case cases[] = {
        {"-v",
         {"-v"},
         nullptr,
         {{"version", format(wt::box("version").text, "Morvanti Zorload", "2.1.0.155")}}},
        {"-?", {"-?", "-x"}, nullptr, {{"usage", format(wt::box("usage").text, "zorload")}}},
        {"--v",
         {"--v"},
         nullptr,
         {{"unknownOption", format(wt::box("unknownOption").text, "--v", "zorload")}}},
        {"log", {"-log"}, toFilePage, {{"logOpen", wt::box("logOpen").text}}},
        {"missing file",
         {dir.file("manca.upd")},
         [](World& w) { w.next(2); },
         {{"systemError", ""}, {"notAnUpdate", wt::box("notAnUpdate").text}}},
        {"short file",
         {shortFile},
         [](World& w) { w.next(2); },
         {{"notAnUpdate", wt::box("notAnUpdate").text}}},
        {"newer file", {tooNew}, [](World& w) { w.next(2); }, {{"tooNew", wt::box("tooNew").text}}},
        {"no port",
         {sample},
         [](World& w) {
             w.devices.setFailure("COM1", OpenFailure::NotInstalled);
             w.next(3);
         },
         {{"noPort", wt::box("noPort").text}}},
        {"port refuses its settings",
         {sample},
         [](World& w) {
             w.devices.setConfigureFails("COM1", true);
             w.next(4);
         },
         {{"portSetup", wt::box("portSetup").text}}},
        {"no chronometer",
         {sample},
         [](World& w) {
             w.devices.addEmptyPort("COM1");
             w.next(4);
         },
         {{"noContact", wt::box("noContact").text}}},
        {"transfer fails",
         {sample},
         [&](World& w) {
             bool tried = false;
             w.view.onProgress = [&w, tried]() mutable {
                 if (!tried)
                     w.view.closeWindow();
                 tried = true;
             };
             toTransfer(w);
         },
         {{"closeRefused", wt::box("closeRefused").text},
          {"transferFailed", format(wt::box("transferFailed").text, 102,
                                    "Mancata risposta da parte del cronometro")}},
         silentE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w(dir, c.config);
        if (w.start(c.args) && c.run)
            c.run(w);
        ASSERT_EQ(w.view.boxes.size(), c.boxes.size());
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            const wt::Box& literal = wt::box(c.boxes[i].box);
            const ViewBox& shown = w.view.boxes[i];
            if (!c.boxes[i].text.empty()) {
                EXPECT_EQ(shown.text, c.boxes[i].text);
            } else {
                EXPECT_FALSE(shown.text.empty());
            }
            EXPECT_EQ(shown.caption, literal.caption) << literal.name;
            EXPECT_EQ(shown.icon, icon(literal.icon)) << literal.name;
            EXPECT_EQ(shown.beeped, literal.beep) << literal.name;
        }
    }
}

}  // namespace
}  // namespace zor::test
