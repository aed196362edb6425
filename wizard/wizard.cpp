#include "wizard/wizard.h"

#include <utility>

#include "app/bench_positions.h"
#include "app/command_line.h"
#include "app/encoding.h"
#include "app/percent.h"
#include "app/split_version.h"
#include "app/utc_time.h"
#include "app/version_info.h"
#include "engine/chronometer_run.h"
#include "flash/planner.h"
#include "history/history_path.h"
#include "history/run_history.h"
#include "platform/file.h"
#include "text/app_text.h"
#include "text/history_text.h"
#include "text/plan_text.h"
#include "text/port_text.h"
#include "text/wizard_text.h"

namespace zor::wizard {
namespace {

constexpr uint32_t CHECK_PAINT_PAUSE_MS = 50;
// How long a closing window waits for a centre's server to take the runs.
constexpr int HISTORY_SERVER_WAIT_MS = 2000;

// Back is offered everywhere but on these pages.
bool backAllowed(Page p) {
    return p != Page::Pres && p != Page::CheckCom && p != Page::Download && p != Page::Done &&
           p != Page::New;
}

}  // namespace

// The history the transfers go to, when the bench keeps the wizard's runs.
struct Wizard::TransferHistory {
    // place: the settings' percorso, which $ZORLOAD_HISTORY comes before.
    explicit TransferHistory(const std::string& place) : runs(std::string(), place) {}
    RunHistory runs;
    RunContext context;        // the update file loaded
    ChronometerRun run;        // the transfer under way
    std::string time;          // when it started, UTC
    uint64_t bytesBefore = 0;  // the link's count then
    bool problemSaid = false;
};

Wizard::Wizard(WizardView& view, WizardEnvironment env)
    : view_(view),
      env_(std::move(env)),
      title_(zor::applicationTitle(env_.versionBlock)),
      log_(sessionLogPath(SessionLog::logPathFor(env_.programPath))),
      session_(env_.devices, env_.clock, *this) {}

Wizard::~Wizard() = default;

void Wizard::tell(const Outcome& outcome) {
    for (const BoxRequest& box : boxesFor(outcome, title_)) {
        if (box.beep)
            view_.beep();
        view_.messageBox(box.text, box.caption, box.icon);
    }
}

void Wizard::busy(bool on) {
    view_.setBusy(on);
}

void Wizard::failed(const Outcome& outcome) {
    tell(outcome);
}

bool Wizard::construct() {
    dialogDirectory_ = env_.currentDirectory;
    view_.setCaption(Ctl::Form, title_);
    page_ = Page::Pres;
    view_.showPage(page_);

    const CommandLineResult cmd = ParseCommandLine(env_.args, env_.slashRule);
    highSpeed_ = cmd.highSpeed;
    logOption_ = cmd.logOption;
    for (const BoxRequest& box :
         commandLineBoxes(cmd, programFileName(env_.programPath), env_.versionBlock))
        view_.messageBox(box.text, box.caption, box.icon);
    if (cmd.exitProcess) {
        exitStatus_ = cmd.exitStatus;
        return false;
    }
    // The log box is offered only to whoever asked for a log with -log.
    logBoxVisible_ = logOption_;
    view_.setVisible(Ctl::cbLogga, logBoxVisible_);
    openHistory();

    fileName_ = cmd.FileDaCaricare;
    view_.setCaption(Ctl::FileName, fileName_);
    UpdateControls();
    return true;
}

// ---- Navigation ------------------------------------------------------------

void Wizard::showPage(Page page) {
    if (page == page_)
        return;
    page_ = page;
    view_.showPage(page);
    PaginePageChanged();
}

void Wizard::PaginePageChanged() {
    UpdateControls();
    // After the window has closed (during a pending-events pass) nothing
    // talks to ports any more.
    if (!closed_) {
        switch (page_) {
            case Page::SelFile:
                view_.setFocus(Ctl::FileName);
                break;
            case Page::SetCrono:
                view_.setFocus(Ctl::btnAvanti);
                break;
            case Page::SelPort:
                scanPorts();
                // The user may have moved on while the scan let events through.
                if (page_ == Page::SelPort)
                    view_.setFocus(Ctl::lwPorte);
                break;
            case Page::CheckCom:
                if (CheckConnection()) {
                    showPage(Page::SelLanguage);
                    view_.setFocus(Ctl::lvSelLang);
                } else {
                    showPage(Page::SelPort);
                }
                break;
            case Page::Done:
                view_.informationSound();
                break;
            default:
                break;
        }
    }
    view_.setAnimationPlaying(page_ == Page::Download);
}

void Wizard::UpdateControls() {
    const Page p = page_;
    const bool start = p == Page::Pres;
    view_.setVisible(Ctl::pnlPresenta, start);
    view_.setCaption(Ctl::lblProgramVersion, programVersionLabel(env_.versionBlock));
    view_.setVisible(Ctl::lblProgramVersion, start);
    for (Ctl c : {Ctl::Pagine, Ctl::bvlTop, Ctl::imgTop, Ctl::lblStepTitle, Ctl::lblStepText})
        view_.setVisible(c, !start);
    view_.setCaption(Ctl::lblStepTitle, pageTitle(p));
    view_.setCaption(Ctl::lblStepText, pageText(p));
    backEnabled_ = backAllowed(p);
    view_.setEnabled(Ctl::btnIndietro, backEnabled_);
    view_.setEnabled(Ctl::btnAnnulla, p != Page::Download);
    view_.setCaption(Ctl::btnAvanti,
                     p == Page::Done ? FINISH_BUTTON_CAPTION : control(Ctl::btnAvanti).caption);
    if (start && logBoxVisible_) {
        view_.setChecked(Ctl::cbLogga, logOption_);
        view_.setCaption(Ctl::cbLogga, logCheckboxCaption(log_.path()));
    }

    bool next = true;
    switch (p) {
        case Page::SelFile:
            next = !fileName_.empty();
            break;
        case Page::SelPort:
            next = !scanning_ && selectedPort_ >= 0 &&
                   selectedPort_ < static_cast<int>(ports_.size()) &&
                   ports_[selectedPort_].available;
            break;
        case Page::CheckCom:
        case Page::Download:
            next = false;
            break;
        case Page::SelLanguage: {
            PlanVerdict verdict;
            const bool ok = plan(verdict);
            view_.repaintChart();
            view_.setVisible(Ctl::lblNoSpace, !ok);
            view_.setVisible(Ctl::imgNoSpace, !ok);
            view_.setCaption(Ctl::lbErroreLingua, verdictText(verdict));
            next = ok && hasChanges(session_.planned());
            break;
        }
        default:
            break;
    }
    nextEnabled_ = next;
    view_.setEnabled(Ctl::btnAvanti, next);
    view_.setVisible(Ctl::btnAltro, p == Page::Done);
}

void Wizard::btnAvantiClick() {
    // A double click on a port, Enter or an accelerator may arrive for a
    // button that is disabled at that moment.
    if (!nextEnabled_)
        return;
    switch (page_) {
        case Page::Pres:
            if (logBoxVisible_ && view_.isChecked(Ctl::cbLogga)) {
                const Outcome opened = log_.OpenLog();
                tell(opened);
            }
            showPage(Page::SelFile);
            break;
        case Page::SelFile:
            if (LoadUpdateFile(fileName_))
                showPage(Page::SetCrono);
            break;
        case Page::SetCrono:
            showPage(Page::SelPort);
            break;
        case Page::SelPort:
        case Page::New:
            showPage(Page::CheckCom);
            break;
        case Page::SelLanguage: {
            PlanVerdict verdict;
            if (!plan(verdict))
                break;
            showPage(Page::Download);
            ShowProgress(0, 0, 0);
            view_.processPendingEvents();  // the transfer page gets painted
            StartTransfer();
            break;
        }
        case Page::Done:
            view_.closeWindow();
            return;
        default:
            break;
    }
    UpdateControls();
}

void Wizard::btnIndietroClick() {
    if (!backEnabled_)
        return;
    if (page_ == Page::SelLanguage) {
        showPage(Page::SelPort);  // the check page is skipped backwards
    } else {
        showPage(static_cast<Page>(static_cast<int>(page_) - 1));
    }
}

void Wizard::btnAnnullaClick() {
    if (page_ != Page::Download)
        view_.closeWindow();
}

void Wizard::btnAltroClick() {
    if (page_ == Page::Done)
        showPage(Page::New);
}

void Wizard::fileNameOnChange(const std::string& text) {
    fileName_ = text;
    UpdateControls();
}

bool Wizard::FormCloseQuery() {
    if (page_ != Page::Download)
        return true;
    view_.beep();
    view_.messageBox(TRANSFER_NOT_INTERRUPTIBLE, title_, BoxIcon::Exclamation);
    return false;
}

void Wizard::FormClose() {
    closed_ = true;
    session_.close();
    if (history_ && history_->runs.hasPlace()) {
        // Every run queued goes into the bench's file; a server gets a
        // little time, then what it has not taken waits in the outbox for
        // the next program that keeps runs.
        RunHistory& runs = history_->runs;
        const bool sent = runs.finish(std::chrono::milliseconds(HISTORY_SERVER_WAIT_MS));
        if (const std::optional<HistoryResult> failure = runs.takeFailure())
            logHistoryProblem(historyNotKeptText(runs.path(), *failure));
        const SendState state = runs.sendState();
        if (!sent)
            logHistoryProblem(historyUnsentText(serverForPeople(runs.server()),
                                                state.waiting > 0 ? state.waiting : 1, state.why));
    }
    log_.CloseLog();
}

// ---- File page ---------------------------------------------------------------

bool Wizard::LoadUpdateFile(const std::string& name) {
    view_.setVisible(Ctl::pnlVersione, false);
    const bool ok = session_.loadFile(name).ok();
    if (ok && history_) {
        history_->context =
            runContext("zorload", getVersionString(env_.versionBlock, "FileVersion", ""), name,
                       session_.identifier());
    }
    if (ok) {
        std::string lines = displayText(session_.versionLines());
        while (!lines.empty() && lines.back() == '\n')
            lines.pop_back();
        view_.setCaption(Ctl::memVersion, lines);
        view_.setCaption(Ctl::memID, displayText(session_.identifier()));
        view_.setVisible(Ctl::pnlVersione, true);
        fillComponentList();
    }
    return ok;
}

void Wizard::btnSfogliaClick() {
    FileDialogRequest request;
    request.title = OPEN_DIALOG_TITLE;
    request.filters.assign(std::begin(OPEN_DIALOG_FILTERS), std::end(OPEN_DIALOG_FILTERS));
    request.initialDirectory = dialogDirectory_;
    std::string chosen;
    if (!view_.openFileDialog(request, chosen))
        return;
    view_.setCaption(Ctl::FileName, chosen);
    fileNameOnChange(chosen);
    const size_t slash = chosen.find_last_of("/\\");
    if (slash != std::string::npos)
        dialogDirectory_ = chosen.substr(0, slash + 1);
    // The page stays; Next will load the file once more.
    if (LoadUpdateFile(fileName_))
        view_.setFocus(Ctl::btnAvanti);
}

// ---- Port and check pages ------------------------------------------------------

namespace {

// An adapter's row is captioned with the last part of its path: the by-id
// name ("usb-<maker>_<model>_<serial>-if00-port0") or "ttyUSB0" tells the
// adapters apart, the folders in front of it only crowd the column.
std::string portCaption(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

void Wizard::scanPorts() {
    // Rows show as their ports are probed, and the user may click one while
    // the scan lets events through; Next waits for the end all the same. The
    // user may also leave the page and come back, which scans again inside
    // this scan: the list is then the inner scan's.
    scans_.push_back(++scanCount_);
    session_.scanPorts();
    scans_.pop_back();
}

void Wizard::scanCleared() {
    if (scans_.back() != scanCount_)
        return;
    scanning_ = true;
    ports_.clear();
    selectedPort_ = -1;
    view_.clearPortRows();
    UpdateControls();
}

void Wizard::scanRow(const PortRow& row) {
    if (scans_.back() == scanCount_) {
        ports_.push_back(row);
        view_.addPortRow({portCaption(row.name), portStatusText(row)});
    }
    view_.processPendingEvents();
}

void Wizard::scanFinished(const PortScan& scan) {
    if (scans_.back() != scanCount_)
        return;
    scanning_ = false;
    view_.focusPortRow(0, false);
    if (scan.selected >= 0) {
        selectedPort_ = scan.selected;
        view_.focusPortRow(scan.selected, true);
    }
    UpdateControls();
}

void Wizard::lwPorteOnchange(int selectedRow) {
    selectedPort_ = selectedRow;
    UpdateControls();
}

void Wizard::lwPorteDblClick() {
    if (page_ == Page::SelPort && selectedPort_ >= 0 &&
        selectedPort_ < static_cast<int>(ports_.size()) && ports_[selectedPort_].available) {
        btnAvantiClick();
    }
}

bool Wizard::CheckConnection() {
    view_.setBusy(true);
    view_.processPendingEvents();  // the check page gets painted
    env_.clock.sleepMs(CHECK_PAINT_PAUSE_MS);
    const std::string port = selectedPort_ >= 0 && selectedPort_ < static_cast<int>(ports_.size())
                                 ? ports_[selectedPort_].name
                                 : std::string();
    bool ok = false;
    if (!closed_ && session_.open(port))
        ok = session_.check(highSpeed_, logWriter()).ok();
    view_.setBusy(false);
    return ok;
}

// ---- Component page ----------------------------------------------------------

void Wizard::fillComponentList() {
    choices_.clear();
    std::vector<ComponentListRow> rows;
    const UpdateTable& components = session_.components();
    for (size_t i = 0; i < components.size(); ++i) {
        if (!components[i].hasData())
            continue;
        std::string name = components[i].versionText();
        std::string version, build;
        splitVersion(name, version, build);
        rows.push_back({displayText(name), displayText(version), static_cast<int>(i)});
        choices_.push_back({static_cast<int>(i), false});
    }
    view_.setComponentRows(rows);
}

void Wizard::lvSelLangChange(int row, bool checked, ListChange change) {
    // The check mark is the row's own; it is recorded whatever else happens.
    if (row >= 0 && row < static_cast<int>(choices_.size()))
        choices_[row].checked = checked;
    if (inSelLangChange_)
        return;
    inSelLangChange_ = true;
    if (change == ListChange::State)
        UpdateControls();
    inSelLangChange_ = false;
}

bool Wizard::plan(PlanVerdict& verdict) {
    std::vector<PlanItem> items;
    for (const ComponentChoice& c : choices_)
        items.push_back({c.slot, &session_.components()[c.slot], c.checked});
    const bool fits = session_.plan(items, verdict, logWriter());
    verdict_ = verdict;
    return fits;
}

LogWriter Wizard::logWriter() {
    // Without an open log the planner skips its formatting altogether.
    if (!log_.isOpen())
        return nullptr;
    return log_.writer();
}

// ---- Transfer page -----------------------------------------------------------

void Wizard::StartTransfer() {
    beginRun();
    session_.startTransfer([this](std::function<void()> fn) { view_.invokeAndWait(std::move(fn)); },
                           [this] { view_.post([this] { TransferTerminated(); }); });
}

void Wizard::progress(int phase, int phaseCount, int percent, int) {
    ShowProgress(phase, phaseCount, percent);
}

void Wizard::ShowProgress(int phase, int phaseCount, int percent) {
    if (phaseCount == 0) {
        view_.setCaption(Ctl::lbProgresso, control(Ctl::lbProgresso).caption);
        view_.setCaption(Ctl::lbFase, control(Ctl::lbFase).caption);
        phase = 0;
        phaseCount = 1;
        percent = 0;
    } else {
        view_.setCaption(Ctl::lbProgresso, overallProgressCaption(phase, phaseCount));
        view_.setCaption(Ctl::lbFase, phaseProgressCaption(percent));
    }
    view_.setBar(Ctl::barProgresso, clampPercent(overallProgress(phase, phaseCount, percent)));
    view_.setBar(Ctl::barFase, clampPercent(percent));
}

void Wizard::TransferTerminated() {
    if (!session_.transferRunning())
        return;
    // The worker has finished; this joins it.
    const Outcome outcome = session_.endTransfer();
    keepRun(outcome);
    if (outcome) {
        showPage(Page::Done);
    } else {
        tell(outcome);
        showPage(Page::SelPort);
    }
    UpdateControls();
}

// ---- History of transfers ------------------------------------------------------

void Wizard::openHistory() {
    // Off unless the bench's settings switch it on: by default the wizard
    // makes no folder or file of its own.
    const std::string path = env_.settingsPath.empty() ? benchPositionsPath() : env_.settingsPath;
    const SettingsResult read = readBenchSettings(path);
    if (read.ok() && read.settings.wizardHistory)
        history_ = std::make_unique<TransferHistory>(read.settings.historyPlace);
}

void Wizard::beginRun() {
    if (!history_)
        return;
    ChronometerRun& run = history_->run;
    run = ChronometerRun();
    run.startedMs = env_.clock.tickMs();
    history_->time = utcTimestamp();
    history_->bytesBefore = session_.link().bytesSent();
    if (selectedPort_ >= 0 && selectedPort_ < static_cast<int>(ports_.size())) {
        run.port = ports_[selectedPort_].name;
        run.device = ports_[selectedPort_].device;
    }
    run.identification = session_.identification();
    run.tableRead = session_.tableRead();
    for (const ComponentChoice& c : choices_) {
        if (c.checked)
            run.selected.insert(static_cast<size_t>(c.slot));
    }
    run.planned = session_.planned();
    run.planMade = true;
    run.view = session_.planView();
    run.verdict = verdict_;
}

void Wizard::keepRun(const Outcome& outcome) {
    if (!history_)
        return;
    RunHistory& runs = history_->runs;
    if (!runs.hasPlace())
        return logHistoryProblem(historyNoFolderLogLine());
    ChronometerRun& run = history_->run;
    endTransferredRun(session_, outcome, history_->bytesBefore, history_->bytesBefore, run);
    runs.add(historyRunOf(run, selectedTexts(run, session_.components()), history_->context,
                          history_->time, std::string()));
    // An earlier run's failure is known by now, this one's at the next.
    if (const std::optional<HistoryResult> failure = runs.takeFailure())
        logHistoryProblem(historyNotKeptText(runs.path(), *failure));
}

void Wizard::logHistoryProblem(const std::string& text) {
    if (history_->problemSaid)
        return;
    history_->problemSaid = true;
    log_.AddLogLine(utf8LogText(text));  // nothing while no log is open
}

}  // namespace zor::wizard
