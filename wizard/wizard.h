#pragma once
// The rules of the update wizard TfrmZORMain, without a toolkit: which page
// shows, what Next, Back, Cancel and "Altro cronometro..." do on each page,
// the state of every control, the component page and the transfer page. A
// window (Qt, Win32) implements WizardView and forwards its events to the
// handlers below, all on its user-interface thread.
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/outcome.h"
#include "app/session_log.h"
#include "engine/update_session.h"
#include "flash/partition_table.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/version_block.h"
#include "updatefile/segment.h"
#include "wizard/window_rules.h"
#include "wizard/wizard_view.h"

namespace zor::wizard {

// What the wizard needs of the world besides its window.
struct WizardEnvironment {
    SerialDeviceOpener& devices;
    Clock& clock;
    const VersionBlock* versionBlock;  // the program's own; null: none
    std::string programPath;           // usage text and the session log's name
    std::vector<std::string> args;     // the command line after the program path
    std::string currentDirectory;      // where the file dialog first opens
    // Whether "/a/b.upd" is a file (Linux) or an unknown option (zorload.exe).
    SlashRule slashRule = SlashRule::OptionUnlessPath;
    // The bench's settings file, whose [storico] section may switch the
    // history of transfers on; empty: benchPositionsPath().
    std::string settingsPath = {};
};

// The overall bar of the transfer page, and the texts of the file and the
// chronometer as the window shows them.
using zor::displayText;
using zor::overallProgress;

class Wizard : private SessionObserver {
  public:
    Wizard(WizardView& view, WizardEnvironment env);
    // A transfer still running is waited for; the window refuses to close
    // while one runs, so this happens only when the program is torn down.
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // The form's construction: caption, the start page, the command line
    // (its boxes appear now, before the window is shown) and the file name
    // it gave. False when the command line ends the program: exitStatus().
    bool construct();
    int exitStatus() const { return exitStatus_; }

    // ---- Handlers, bound to the window's events -------------------------
    void btnAvantiClick();
    void btnIndietroClick();
    void btnAnnullaClick();
    void btnAltroClick();
    void btnSfogliaClick();
    void fileNameOnChange(const std::string& text);
    // Any change of the port list's selection; -1 when no row is selected.
    void lwPorteOnchange(int selectedRow);
    void lwPorteDblClick();
    using ListChange = wizard::ListChange;
    // A row of the component list changed: its check mark, selection or focus
    // (State), or its text (Text). checked is the row's check mark now.
    void lvSelLangChange(int row, bool checked, ListChange change);
    // True when the window may close now; tells the user why not otherwise.
    bool FormCloseQuery();
    // The window closes: the port is released, the runs queued for the
    // history are kept (a server is waited for a little), the session log
    // is closed.
    void FormClose();

    // ---- Form routines ----------------------------------------------------
    void UpdateControls();
    bool LoadUpdateFile(const std::string& name);
    bool CheckConnection();
    void StartTransfer();
    void ShowProgress(int phase, int phaseCount, int percent);
    void TransferTerminated();
    void fillComponentList();

    // ---- State ----------------------------------------------------------
    Page page() const { return page_; }
    bool nextEnabled() const { return nextEnabled_; }
    bool transferRunning() const { return session_.transferRunning(); }
    const std::string& applicationTitle() const { return title_; }
    bool highSpeed() const { return highSpeed_; }
    bool logOption() const { return logOption_; }
    const std::string& fileName() const { return fileName_; }
    // What the chart shows: the planned table.
    const PartitionTable& chartTable() const { return session_.planned(); }
    // The partition table read from the chronometer at the check.
    const PartitionTable& installedTable() const { return session_.tableRead(); }
    const UpdateTable& components() const { return session_.components(); }
    SerialLink& link() { return session_.link(); }
    SessionLog& log() { return log_; }

  private:
    struct ComponentChoice {
        int slot;
        bool checked;
    };

    // The session's events.
    void busy(bool on) override;
    void failed(const Outcome& outcome) override;
    void scanCleared() override;
    void scanRow(const PortRow& row) override;
    void scanFinished(const PortScan& scan) override;
    void progress(int phase, int phaseCount, int percent, int overall) override;

    // The boxes of an outcome, each after its beep when it has one.
    void tell(const Outcome& outcome);
    void showPage(Page page);
    void PaginePageChanged();
    void scanPorts();
    // Plans the checked components into the session's planned table (what
    // chartTable() shows); shows nothing.
    bool plan(PlanVerdict& verdict);
    LogWriter logWriter();

    // The history of transfers, kept only when the bench's settings say so:
    // opened at construct(), each transfer one run, done or failed. A
    // failure to keep runs goes once to the session log, never to a box.
    void openHistory();
    void beginRun();
    void keepRun(const Outcome& outcome);
    void logHistoryProblem(const std::string& text);

    WizardView& view_;
    WizardEnvironment env_;
    std::string title_;
    SessionLog log_;
    UpdateSession session_;

    Page page_ = Page::Pres;
    bool highSpeed_ = false;
    bool logOption_ = false;
    bool logBoxVisible_ = false;
    int exitStatus_ = 0;
    bool closed_ = false;
    bool nextEnabled_ = false;
    bool backEnabled_ = false;

    std::string fileName_;
    std::string dialogDirectory_;
    std::vector<PortRow> ports_;
    int selectedPort_ = -1;
    bool scanning_ = false;   // Next waits for the scan's end
    int scanCount_ = 0;       // a scan started from inside another one takes over the list
    std::vector<int> scans_;  // the scans running, innermost last
    std::vector<ComponentChoice> choices_;
    bool inSelLangChange_ = false;
    PlanVerdict verdict_ = PlanVerdict::Unchanged;  // of the last plan

    // Defined in wizard.cpp: the engine's run and the history stay out of
    // the windows' sources (Qt's headers make "slots" a macro).
    struct TransferHistory;
    std::unique_ptr<TransferHistory> history_;  // null: the bench keeps no runs of the wizard
};

}  // namespace zor::wizard
