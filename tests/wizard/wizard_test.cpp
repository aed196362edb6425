// The wizard's rules, page by page, against a recording window and the
// in-process simulated chronometer on a virtual clock.
#include "wizard/wizard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "history/history_store.h"
#include "platform/version_block.h"
#include "recording_view.h"
#include "sim/component_image.h"
#include "sim/sample_file.h"
#include "sim/sim_port.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace zor::test {
namespace {

using wizard::Ctl;
using wizard::Page;
using wizard::Wizard;

// An environment variable set, or removed (null), for one test's time.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        set(value);
    }
    ~ScopedEnv() { set(had_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void set(const char* value) {
#ifdef _WIN32
        _putenv_s(name_, value ? value : "");
#else
        value ? ::setenv(name_, value, 1) : ::unsetenv(name_);
#endif
    }
    const char* name_;
    bool had_;
    std::string old_;
};

// The simulated ports, plus serial adapters listed after COM1..COM4.
class AdapterDevices : public sim::SimDevices {
  public:
    using SimDevices::SimDevices;
    std::vector<std::string> adapterPaths() override { return adapters; }
    std::vector<std::string> adapters;
};

class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writeBytes(sample, sim::sampleUpdateFile()));
        attach();
    }
    void TearDown() override {
        if (wiz && wiz->transferRunning())
            view.finishTransfer();
        for (const auto& c : chronos)
            EXPECT_EQ(c->violations(), std::vector<std::string>{});
    }

    sim::Chronometer& attach(sim::SimConfig config = {}) {
        config.flashStepMs = 1;
        chronos.push_back(std::make_unique<sim::Chronometer>(config));
        devices.attach("COM1", *chronos.back());
        return *chronos.back();
    }
    sim::Chronometer& chrono() { return *chronos.back(); }

    bool start(std::vector<std::string> args = {}) {
        // The bench's settings are the test's own, never the user's.
        wiz = std::make_unique<Wizard>(
            view, wizard::WizardEnvironment{devices, clock, programVersionBlock(),
                                            dir.file("zorload"), std::move(args), dir.path(),
                                            SlashRule::OptionUnlessPath, settings});
        view.wizard = wiz.get();
        return wiz->construct();
    }
    void next() { wiz->btnAvantiClick(); }
    void back() { wiz->btnIndietroClick(); }

    // From a fresh start to the component page with the sample file on COM1.
    void toComponentPage(std::vector<std::string> args = {}) {
        args.push_back(sample);
        ASSERT_TRUE(start(args));
        next();  // Pres -> SelFile
        next();  // load -> SetCrono
        next();  // SelPort, scanned
        ASSERT_EQ(view.page, Page::SelPort);
        next();  // CheckCom -> SelLanguage
        ASSERT_EQ(view.page, Page::SelLanguage);
    }
    void tickAll() {
        for (size_t i = 0; i < view.components.size(); ++i)
            view.tick(static_cast<int>(i), true);
    }
    // Next, Back, Cancel enabled; Next's caption.
    void expectButtons(bool next, bool back, bool cancel, const char* nextCaption = "&Avanti >") {
        EXPECT_EQ(view.enabled(Ctl::btnAvanti), next) << wizard::pageName(view.page);
        EXPECT_EQ(view.enabled(Ctl::btnIndietro), back) << wizard::pageName(view.page);
        EXPECT_EQ(view.enabled(Ctl::btnAnnulla), cancel) << wizard::pageName(view.page);
        EXPECT_EQ(view.caption(Ctl::btnAvanti), nextCaption);
        EXPECT_EQ(view.visible(Ctl::btnAltro), view.page == Page::Done);
    }

    // One transfer of every component, from a fresh start to its end.
    void transferAll() {
        toComponentPage();
        tickAll();
        next();
        view.finishTransfer();
    }

    TempDir dir{"zor_wizard"};
    std::string sample = dir.file("esempio.upd");
    std::string settings = dir.file("banco.ini");  // the bench's settings: none unless written
    VirtualClock clock;
    AdapterDevices devices{clock};
    std::vector<std::unique_ptr<sim::Chronometer>> chronos;
    RecordingView view;
    std::unique_ptr<Wizard> wiz;
};

// The road of two chronometers: every page, its buttons and its entry
// action, the transfer with both bars, "Altro cronometro..." and the second
// chronometer with the same file, port and ticks.
TEST_F(WizardTest, TwoChronometersFromStartToDone) {
    ASSERT_TRUE(start({sample}));
    EXPECT_EQ(view.caption(Ctl::Form), "Zorload");
    EXPECT_EQ(view.page, Page::Pres);
    EXPECT_TRUE(view.visible(Ctl::pnlPresenta));
    EXPECT_TRUE(view.visible(Ctl::lblProgramVersion));
    EXPECT_EQ(view.caption(Ctl::lblProgramVersion), "Versione 2.1.0.155");
    EXPECT_FALSE(view.visible(Ctl::Pagine));
    EXPECT_FALSE(view.visible(Ctl::cbLogga));
    EXPECT_EQ(view.caption(Ctl::FileName), sample);  // not loaded yet
    EXPECT_FALSE(view.visible(Ctl::pnlVersione));
    expectButtons(true, false, true);

    next();
    EXPECT_EQ(view.page, Page::SelFile);
    EXPECT_FALSE(view.visible(Ctl::pnlPresenta));
    EXPECT_FALSE(view.visible(Ctl::lblProgramVersion));
    EXPECT_TRUE(view.visible(Ctl::lblStepTitle));
    EXPECT_EQ(view.caption(Ctl::lblStepTitle), "Selezione del file da caricare");
    EXPECT_EQ(view.focus, Ctl::FileName);
    expectButtons(true, true, true);

    next();
    EXPECT_EQ(view.page, Page::SetCrono);
    EXPECT_TRUE(view.visible(Ctl::pnlVersione));
    EXPECT_EQ(view.caption(Ctl::memID), "0214-002A");
    EXPECT_EQ(view.caption(Ctl::memVersion),
              "Boot VERS 1.01 BUILD 14\nProgramma base VERS 2.20 BUILD 41\n"
              "Lingua italiano VERS 1.3 BUILD 5\nLingua inglese VERS 1.3 BUILD 5");
    ASSERT_EQ(view.components.size(), 4u);
    EXPECT_EQ(view.components[1].name, "Programma base");
    EXPECT_EQ(view.components[1].version, "2.20");
    EXPECT_EQ(view.components[3].slot, 3);
    EXPECT_EQ(view.focus, Ctl::btnAvanti);
    expectButtons(true, true, true);

    next();
    EXPECT_EQ(view.page, Page::SelPort);
    ASSERT_EQ(view.ports.size(), 4u);
    EXPECT_EQ(view.ports[0].port, "COM1");
    EXPECT_EQ(view.ports[0].status, "Disponibile (cavo seriale connesso)");
    EXPECT_EQ(view.ports[1].status, "Non installata");
    EXPECT_EQ(view.selectedPort, 0);
    EXPECT_EQ(view.focus, Ctl::lwPorte);
    expectButtons(true, true, true);

    bool sawCheckPage = false;
    uint32_t paintedAt = 0, firstFrameAt = 0;
    chrono().setTrace([&](bool fromHost, uint32_t ms, const std::vector<uint8_t>&) {
        if (fromHost && !firstFrameAt)
            firstFrameAt = ms;
    });
    view.onPump = [&] {  // the check page, painted before the check starts
        if (view.page != Page::CheckCom)
            return;
        sawCheckPage = true;
        paintedAt = clock.tickMs();
        EXPECT_EQ(view.caption(Ctl::lblStepTitle), "Verifica delle comunicazioni");
        EXPECT_EQ(view.busyDepth, 1);
        expectButtons(false, false, true);
    };
    next();  // CheckCom runs the check on entry and moves on by itself
    view.onPump = nullptr;
    EXPECT_TRUE(sawCheckPage);
    EXPECT_EQ(firstFrameAt - paintedAt, 50u);  // the page shows a moment before the check
    EXPECT_EQ(view.page, Page::SelLanguage);
    EXPECT_EQ(view.pages.end()[-2], Page::CheckCom);
    EXPECT_EQ(view.busyDepth, 0);
    EXPECT_EQ(view.focus, Ctl::lvSelLang);
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Situazione preesistente:");
    EXPECT_FALSE(view.visible(Ctl::lblNoSpace));
    expectButtons(false, true, true);  // nothing would change

    tickAll();
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Aggiornamento completo");
    expectButtons(true, true, true);

    std::vector<std::pair<int, int>> bars;
    view.onProgress = [&] {
        bars.push_back({view.bars[Ctl::barProgresso], view.bars[Ctl::barFase]});
    };
    next();
    EXPECT_EQ(view.page, Page::Download);
    EXPECT_TRUE(view.animating);
    expectButtons(false, false, false);
    view.finishTransfer();

    EXPECT_EQ(view.page, Page::Done);
    EXPECT_FALSE(view.animating);
    EXPECT_EQ(view.infoSounds, 1);
    EXPECT_TRUE(view.boxes.empty());
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(bars.back(), std::make_pair(100, 100));  // both full before Done
    EXPECT_EQ(chrono().restartCount(), 1);
    expectButtons(true, false, true, "&Fine");

    // The next chronometer, on the same port, with the same ticks.
    sim::Chronometer& second = attach();
    wiz->btnAltroClick();
    EXPECT_EQ(view.page, Page::New);
    expectButtons(true, false, true);
    next();
    EXPECT_EQ(view.page, Page::SelLanguage);
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Aggiornamento completo");
    next();
    view.finishTransfer();
    EXPECT_EQ(view.page, Page::Done);
    EXPECT_EQ(second.restartCount(), 1);
    EXPECT_EQ(second.partitions()[1].name, "Programma base VERS 2.20 BUILD 41");

    wiz->btnAvantiClick();  // "Fine"
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(wiz->link().RsIsOpen());
}

// Back on every page that offers it, and the pages that rescan on arrival.
TEST_F(WizardTest, BackFollowsThePageOrderAndSkipsTheCheckPage) {
    toComponentPage();
    const int scans = view.scans;
    EXPECT_TRUE(wiz->link().RsIsOpen());
    back();
    EXPECT_EQ(view.page, Page::SelPort);
    EXPECT_EQ(view.scans, scans + 1);
    EXPECT_FALSE(wiz->link().RsIsOpen());
    back();
    EXPECT_EQ(view.page, Page::SetCrono);
    back();
    EXPECT_EQ(view.page, Page::SelFile);
    back();
    EXPECT_EQ(view.page, Page::Pres);
    back();  // disabled there
    EXPECT_EQ(view.page, Page::Pres);
}

// A refused or vanished file keeps the wizard on the file page, usable.
TEST_F(WizardTest, FilePageKeepsRefusedAndVanishedFiles) {
    ASSERT_TRUE(start());
    next();
    expectButtons(false, true, true);  // empty name
    wiz->fileNameOnChange("x");
    expectButtons(true, true, true);  // whether or not the file exists
    wiz->fileNameOnChange(dir.file("missing.upd"));
    next();
    EXPECT_EQ(view.page, Page::SelFile);
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[0].caption, "Errore apertura file");
    EXPECT_EQ(view.boxes[1].caption, "Zorload - Impossibile caricare il file");
    EXPECT_FALSE(view.visible(Ctl::pnlVersione));

    // Browse loads at once, focuses Next and remembers the folder.
    view.dialogAnswer = sample;
    wiz->btnSfogliaClick();
    ASSERT_EQ(view.dialogs.size(), 1u);
    EXPECT_EQ(view.dialogs[0].title, "Seleziona il file d'aggiornamento");
    EXPECT_EQ(view.dialogs[0].initialDirectory, dir.path());
    EXPECT_EQ(view.dialogs[0].filters[0].pattern, std::string("*.upd"));
    EXPECT_EQ(view.caption(Ctl::FileName), sample);
    EXPECT_TRUE(view.visible(Ctl::pnlVersione));
    EXPECT_EQ(view.focus, Ctl::btnAvanti);
    EXPECT_EQ(view.page, Page::SelFile);
    view.dialogAnswer.clear();
    wiz->btnSfogliaClick();  // cancelled: nothing changes
    EXPECT_EQ(view.dialogs[1].initialDirectory, dir.path() + "/");
    EXPECT_EQ(view.caption(Ctl::FileName), sample);

    // The file vanishes before Next: Next loads it again and fails.
    std::filesystem::remove(sample);
    next();
    EXPECT_EQ(view.page, Page::SelFile);
    EXPECT_FALSE(view.visible(Ctl::pnlVersione));
    EXPECT_EQ(view.boxes.size(), 4u);
}

// Serial adapters: rows after the COM ports, captioned by the last part of
// their path, preselected when no COM port is free, and checked by their path.
TEST_F(WizardTest, AdapterRowsOnThePortPage) {
    const std::string byId = "/dev/serial/by-id/usb-Maker_Cable_A1-if00-port0";
    devices.adapters = {"/dev/ttyUSB3", byId};
    devices.setFailure("COM1", OpenFailure::InUse);
    chronos.push_back(std::make_unique<sim::Chronometer>(sim::SimConfig{}));
    devices.attach(byId, chrono());
    ASSERT_TRUE(start({sample}));
    next();
    next();
    next();
    ASSERT_EQ(view.page, Page::SelPort);
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"COM1", "Utilizzata da un'altra applicazione"},
        {"COM2", "Non installata"},
        {"COM3", "Non installata"},
        {"COM4", "Non installata"},
        {"ttyUSB3", "Non installata"},
        {"usb-Maker_Cable_A1-if00-port0", "Disponibile (cavo seriale connesso)"},
    };
    ASSERT_EQ(view.ports.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(view.ports[i].port, rows[i].first);
        EXPECT_EQ(view.ports[i].status, rows[i].second);
    }
    EXPECT_EQ(view.selectedPort, 5);
    expectButtons(true, true, true);
    next();
    EXPECT_EQ(view.page, Page::SelLanguage);
    EXPECT_TRUE(devices.isOpen(byId));
}

// The port page's scan, seen from the window: the hourglass, the link closed,
// the list emptied, each row as its port is probed with the list repainted
// after it, COM1 given the focus mark, then the first available row focused
// and selected, or the box when there is none. Next waits for the end, even
// when the user picks an available row that has already appeared.
TEST_F(WizardTest, PortScanFillsTheListRowByRow) {
    devices.addEmptyPort("COM3");
    toComponentPage();  // the link is open on COM1
    const struct {
        OpenFailure com1, com3;
        std::vector<std::string> end;
        int selected;
    } cases[] = {
        {OpenFailure::None, OpenFailure::None, {"focus 0", "select 0", "idle"}, 0},
        {OpenFailure::InUse, OpenFailure::None, {"focus 0", "select 2", "idle"}, 2},
        {OpenFailure::NotInstalled,
         OpenFailure::NotInstalled,
         {"focus 0", "box Scansione porte", "idle"},
         -1},
    };
    for (const auto& c : cases) {
        devices.setFailure("COM1", c.com1);
        devices.setFailure("COM3", c.com3);
        if (view.page == Page::SelPort)
            back();
        view.calls.clear();
        view.onCall = [&](const std::string& call) {
            if (call == "clear") {
                EXPECT_EQ(view.busyDepth, 1);
                EXPECT_FALSE(wiz->link().RsIsOpen());
            } else if (call == "pump") {
                wiz->lwPorteOnchange(0);
                EXPECT_FALSE(view.enabled(Ctl::btnAvanti));
            }
        };
        view.page == Page::SelLanguage ? back() : next();
        view.onCall = nullptr;
        ASSERT_EQ(view.page, Page::SelPort);
        std::vector<std::string> expected = {"busy", "clear",    "row COM1", "pump",     "row COM2",
                                             "pump", "row COM3", "pump",     "row COM4", "pump"};
        expected.insert(expected.end(), c.end.begin(), c.end.end());
        EXPECT_EQ(view.calls, expected);
        EXPECT_EQ(view.focusedPort, c.selected < 0 ? 0 : c.selected);
        EXPECT_EQ(view.selectedPort, c.selected);
        EXPECT_EQ(view.enabled(Ctl::btnAvanti), c.selected >= 0);
    }
}

// A chronometer that does not answer: the check reports it and the port page
// is scanned afresh with the first available port selected again.
TEST_F(WizardTest, FailedCheckReturnsToARescannedPortPage) {
    ASSERT_TRUE(start({sample}));
    devices.addEmptyPort("COM1");
    devices.addEmptyPort("COM3");
    next();
    next();
    next();
    ASSERT_EQ(view.selectedPort, 0);
    wiz->lwPorteOnchange(2);  // COM3, also available
    const int scans = view.scans;
    next();
    EXPECT_EQ(view.page, Page::SelPort);
    EXPECT_EQ(view.scans, scans + 1);
    EXPECT_EQ(view.selectedPort, 0);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "Errore:");
    EXPECT_EQ(view.busyDepth, 0);
    EXPECT_FALSE(wiz->link().RsIsOpen());

    // Double clicks: on an unavailable port nothing, on an available one Next.
    wiz->lwPorteOnchange(1);
    expectButtons(false, true, true);
    wiz->lwPorteDblClick();
    EXPECT_EQ(view.page, Page::SelPort);
    wiz->lwPorteOnchange(-1);
    wiz->lwPorteDblClick();
    EXPECT_EQ(view.page, Page::SelPort);
    wiz->lwPorteOnchange(0);
    wiz->lwPorteDblClick();
    EXPECT_EQ(view.boxes.size(), 2u);  // checked (and failed) again
}

// A failed transfer: its box while the transfer page still shows, then the
// port page; closing is refused while the transfer runs.
TEST_F(WizardTest, FailedTransferReportsOnItsPageThenGoesToThePortPage) {
    sim::SimConfig config;
    config.faults = {{'E', 1, sim::Fault::Silence}};
    attach(config);
    toComponentPage();
    tickAll();
    bool tried = false;
    view.onProgress = [&] {
        if (tried)
            return;
        tried = true;
        wiz->btnAnnullaClick();  // disabled: nothing
        view.closeWindow();      // the title bar's close box
        view.closeWindow();
    };
    next();
    view.finishTransfer();

    ASSERT_EQ(view.boxes.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(view.boxes[i].text,
                  "L'invio dei dati al cronometro non può essere interrotto. Prima di chiudere "
                  "l'applicazione è necessario attendere il completamento dell'operazione di "
                  "trasferimento.");
        EXPECT_EQ(view.boxes[i].caption, "Zorload");
        EXPECT_TRUE(view.boxes[i].beeped);
    }
    EXPECT_FALSE(view.closed);
    const ViewBox& failure = view.boxes[2];
    EXPECT_EQ(failure.text,
              "Il trasferimento non ha avuto successo.\nCodice errore: 102\n"
              "Messaggio: Mancata risposta da parte del cronometro.");
    EXPECT_EQ(failure.caption, "Trasferimento interrotto");
    EXPECT_EQ(failure.icon, BoxIcon::Exclamation);
    EXPECT_TRUE(failure.beeped);
    EXPECT_EQ(failure.page, Page::Download);
    EXPECT_TRUE(failure.animating);
    EXPECT_EQ(view.page, Page::SelPort);
    EXPECT_FALSE(view.animating);
    EXPECT_EQ(view.infoSounds, 0);
}

// With [storico] procedura=si in the bench's settings every transfer, failed
// or done, is one run in the history they name, kept by the time the window
// has closed; the checks alone are none.
TEST_F(WizardTest, TransfersGoToTheHistoryTheBenchNames) {
    const ScopedEnv noHistory("ZORLOAD_HISTORY", nullptr);  // it would come before percorso
    const std::string db = dir.file("storico.sqlite");
    std::ofstream(settings) << "[storico]\nprocedura=si\npercorso=" << db << "\n";
    sim::SimConfig silent;
    silent.faults = {{'E', 1, sim::Fault::Silence}};
    attach(silent);
    transferAll();
    ASSERT_EQ(view.page, Page::SelPort);
    attach();
    next();  // checked again, the same ticks
    next();
    view.finishTransfer();
    ASSERT_EQ(view.page, Page::Done);
    view.closeWindow();
    EXPECT_EQ(view.boxes.size(), 1u);  // the failure's, and none of the history's

    HistoryResult opened;
    const auto store = openLocalHistory(db, false, opened);
    if (opened.fault == HistoryFault::Unavailable)
        GTEST_SKIP() << "built without the history";
    ASSERT_TRUE(store) << int(opened.fault) << " " << opened.message << " " << opened.problem.error;
    std::vector<HistoryRun> runs;
    ASSERT_TRUE(store->query({}, runs));
    ASSERT_EQ(runs.size(), 2u);
    const struct {
        int code;
        const char* meaning;
        const char* lastAnswer;
    } expected[] = {{102, "transfer_failed", "Mancata risposta da parte del cronometro"},
                    {0, "done", "000 Riavvio"}};
    for (size_t i = 0; i < runs.size(); ++i) {
        const HistoryRun& run = runs[i];
        EXPECT_EQ(run.code, expected[i].code);
        EXPECT_EQ(run.meaning, expected[i].meaning);
        EXPECT_EQ(run.lastAnswer, expected[i].lastAnswer);
        EXPECT_EQ(run.program, "zorload");
        EXPECT_EQ(run.version, "2.1.0.155");
        EXPECT_EQ(run.port, "COM1");
        EXPECT_EQ(run.serial, "0412-0087");
        EXPECT_EQ(run.file, sample);
        EXPECT_EQ(run.fileId, "0214-002A");
        EXPECT_EQ(run.verdict, "complete");
        EXPECT_EQ(run.selected.rfind("[{\"slot\": 0,", 0), 0u) << run.selected;
        EXPECT_EQ(run.tableRead.rfind("[{\"first\": 0,", 0), 0u) << run.tableRead;
        EXPECT_NE(run.tablePlanned.find("\"write\""), std::string::npos);
        EXPECT_GT(run.bytes, 0u);
    }
}

#ifndef _WIN32
// Without the bench's word (no settings, procedura=no) a transfer makes no
// history: the user's state folder stays as it was.
TEST_F(WizardTest, NoHistoryUnlessTheBenchSwitchesItOn) {
    const std::string state = dir.file("state");
    const ScopedEnv stateHome("XDG_STATE_HOME", state.c_str());
    const ScopedEnv noHistory("ZORLOAD_HISTORY", nullptr);
    for (const char* text : {static_cast<const char*>(nullptr), "[storico]\nprocedura=no\n"}) {
        if (text)
            std::ofstream(settings) << text;
        attach();
        transferAll();
        EXPECT_EQ(view.page, Page::Done);
        view.closeWindow();
        EXPECT_FALSE(std::filesystem::exists(state)) << (text ? text : "no settings");
    }
}
#endif

// The transfer page's labels and bars for the reports of the worker.
TEST(ShowProgress, LabelsAndBars) {
    struct Case {
        int phase, count, percent;
        const char* overallLabel;
        const char* phaseLabel;
        int overall, phaseBar;
    };
    const Case cases[] = {
        {0, 0, 0, "Progresso complessivo", "Progresso fase", 0, 0},
        {2, 3, 45, "Progresso complessivo (fase 2 di 3):", "Progresso fase (45 %):", 48, 45},
        {1, 3, 0, "Progresso complessivo (fase 1 di 3):", "Progresso fase (0 %):", 0, 0},
        {2, 3, 50, "Progresso complessivo (fase 2 di 3):", "Progresso fase (50 %):", 50, 50},
        {3, 3, 100, "Progresso complessivo (fase 3 di 3):", "Progresso fase (100 %):", 100, 100},
        // Odd reports show as the nearest end of the bar.
        {1, 1, 150, "Progresso complessivo (fase 1 di 1):", "Progresso fase (150 %):", 100, 100},
        {1, 2, -40, "Progresso complessivo (fase 1 di 2):", "Progresso fase (-40 %):", 0, 0},
        {1, 2, 2000000000,
         "Progresso complessivo (fase 1 di 2):", "Progresso fase (2000000000 %):", 100, 100},
    };
    VirtualClock clock;
    sim::SimDevices devices{clock};
    RecordingView view;
    Wizard wiz(view, {devices, clock, nullptr, "zorload", {}, "/"});
    for (const Case& c : cases) {
        wiz.ShowProgress(c.phase, c.count, c.percent);
        EXPECT_EQ(view.caption(Ctl::lbProgresso), c.overallLabel);
        EXPECT_EQ(view.caption(Ctl::lbFase), c.phaseLabel);
        EXPECT_EQ(view.bars[Ctl::barProgresso], c.overall) << c.phase << "/" << c.count;
        EXPECT_EQ(view.bars[Ctl::barFase], c.phaseBar);
    }
    EXPECT_EQ(wizard::overallProgress(0, 1, 0), -100);  // the reset, unclamped
}

// The component page's verdicts: nothing ticked, a chronometer without MILO,
// a component too large, ticking and unticking, a mere selection change.
TEST_F(WizardTest, ComponentPageVerdicts) {
    const std::string big = dir.file("grande.upd");
    ComponentSpec huge;
    huge.version = "Tabelle mondiali VERS 3.0 BUILD 1";
    huge.infoType = 1;
    huge.blks = 3;
    huge.data = sim::componentBlocks({1, 3, huge.version}, 4, 9);
    ComponentSpec small = huge;
    small.version = std::string("Lingua tedesca \xE8 VERS 1.1 BUILD 2") + '\0';
    small.versionPad = '\0';
    small.blks = 1;
    small.data = sim::componentBlocks({1, 1, small.version}, 2, 8);
    ASSERT_TRUE(UpdateFileWriter().add(huge).add(small).writeTo(big));

    ASSERT_TRUE(start({big}));
    next();
    next();
    next();
    next();
    ASSERT_EQ(view.page, Page::SelLanguage);
    ASSERT_EQ(view.components.size(), 2u);
    EXPECT_EQ(view.components[1].name, "Lingua tedesca è");  // UTF-8, no NUL padding
    EXPECT_EQ(view.components[1].version, "1.1");

    view.tick(1, true);
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Aggiornamento parziale");
    EXPECT_FALSE(view.visible(Ctl::imgNoSpace));
    EXPECT_TRUE(view.enabled(Ctl::btnAvanti));
    view.tick(0, true);  // three blocks: no free run is that long
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Aggiornamento parziale");
    EXPECT_TRUE(view.visible(Ctl::lblNoSpace));
    EXPECT_TRUE(view.visible(Ctl::imgNoSpace));
    EXPECT_FALSE(view.enabled(Ctl::btnAvanti));
    next();  // refused: the plan does not fit
    EXPECT_EQ(view.page, Page::SelLanguage);
    view.tick(0, false);
    view.tick(1, false);
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Situazione preesistente:");
    EXPECT_FALSE(view.enabled(Ctl::btnAvanti));

    // Selecting another row re-plans with the same verdict; a text change
    // does not re-plan.
    const int paints = view.chartPaints;
    wiz->lvSelLangChange(0, false, Wizard::ListChange::State);
    EXPECT_EQ(view.chartPaints, paints + 1);
    wiz->lvSelLangChange(0, false, Wizard::ListChange::Text);
    EXPECT_EQ(view.chartPaints, paints + 1);

    // A chronometer without MILO: the notice with nothing ticked.
    sim::SimConfig noMilo;
    noMilo.partitions = {{0, 1, 3, "Programma base VERS 2.10 BUILD 35"}};
    attach(noMilo);
    back();
    next();
    ASSERT_EQ(view.page, Page::SelLanguage);
    EXPECT_EQ(view.caption(Ctl::lbErroreLingua), "Situazione imprevista. Contattare assistenza!");
    EXPECT_TRUE(view.visible(Ctl::lblNoSpace));
    EXPECT_FALSE(view.enabled(Ctl::btnAvanti));
}

// The command line's boxes come before any window; -? and unknown options
// end the program with status 1, -v lets it go on.
TEST_F(WizardTest, CommandLineBoxesAndExitStatus) {
    struct Case {
        std::vector<std::string> args;
        bool goesOn;
        std::vector<std::string> boxStarts;
    };
    const Case cases[] = {
        {{"-v"},
         true,
         {"Informazioni sulla versione:\r\n\r\nMorvanti Zorload\nVersione 2.1.0.155"}},
        {{"-?", "-v"}, false, {"Uso: zorload [-v] [-high] [-?] [FileDaCaricare]"}},
        {{"-v", "-x"}, false, {"Informazioni", "Opzione della linea di comando sconosciuta: '-x'"}},
        {{"/HIGH", "a.upd", "b.upd"}, true, {}},
    };
    for (const Case& c : cases) {
        view.boxes.clear();
        EXPECT_EQ(start(c.args), c.goesOn);
        if (!c.goesOn) {
            EXPECT_EQ(wiz->exitStatus(), 1);
        }
        ASSERT_EQ(view.boxes.size(), c.boxStarts.size());
        for (size_t i = 0; i < c.boxStarts.size(); ++i) {
            EXPECT_EQ(view.boxes[i].text.rfind(c.boxStarts[i], 0), 0u) << view.boxes[i].text;
            EXPECT_FALSE(view.boxes[i].beeped);
        }
    }
    EXPECT_TRUE(wiz->highSpeed());
    EXPECT_EQ(view.caption(Ctl::FileName), "b.upd");
}

// With -log the box is offered and ticked; the log then holds the whole
// session: banners, the check, the listing and the planner's blocks.
TEST_F(WizardTest, LogBoxAndSessionLog) {
    toComponentPage({"-log"});
    view.tick(2, true);
    back();
    back();
    back();
    back();
    ASSERT_EQ(view.page, Page::Pres);
    EXPECT_TRUE(view.visible(Ctl::cbLogga));
    EXPECT_TRUE(view.checks.size() == 4u);
    EXPECT_EQ(view.caption(Ctl::cbLogga), "Crea file registro in zorload.log");
    view.setChecked(Ctl::cbLogga, false);  // unticked: an open log stays open
    next();
    EXPECT_TRUE(wiz->log().isOpen());
    view.closeWindow();
    ASSERT_TRUE(view.closed);

    std::ifstream in(dir.file("zorload.LOG"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    size_t at = 0;
    for (const char* mark :
         {"Session start ---------------------------\r\n", "BEGIN ConnCheck\r\n",
          "BEGIN RsGetInfo:", "END /* ConnCheck */\r\n", "BEGIN SistemaBlocchi\r\n",
          "END /* SistemaBlocchi */\r\n", "Session end -----------------------------\r\n\r\n"}) {
        const size_t found = log.find(mark, at);
        ASSERT_NE(found, std::string::npos) << mark;
        at = found;
    }
    EXPECT_EQ(log.find("Session start", 1), std::string::npos);  // one session

    // Without -log the box stays hidden and nothing is logged.
    TempDir other("zor_wizard_nolog");
    RecordingView plain;
    Wizard quiet(plain, {devices, clock, nullptr, other.file("zorload"), {}, "/"});
    ASSERT_TRUE(quiet.construct());
    EXPECT_FALSE(plain.visible(Ctl::cbLogga));
    EXPECT_EQ(plain.caption(Ctl::Form), "-");
    EXPECT_EQ(plain.caption(Ctl::lblProgramVersion), "Versione <not set>");
    quiet.btnAvantiClick();
    EXPECT_FALSE(quiet.log().isOpen());
}

}  // namespace
}  // namespace zor::test
