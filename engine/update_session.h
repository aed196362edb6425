#pragma once
// One update of one chronometer on one port: the update file loaded, the
// port scanned and opened, the chronometer checked, a selection planned and
// the plan transferred. The session owns the link and the tables; it never
// speaks to the user. What happens reaches an observer as typed events, and
// every failure as an Outcome, which the front ends turn into boxes or lines.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "engine/plan_view.h"
#include "flash/partition_table.h"
#include "flash/planner.h"
#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "updatefile/segment.h"

namespace zor {

// A plan as made: the tables, whether the selection fits, the planner's
// verdict and what the plan does to the chronometer, its removals and
// downgrades included.
struct PlanReport {
    const PartitionTable& tableRead;
    const PartitionTable& planned;
    bool fits;
    PlanVerdict verdict;
    PlanView view;
};

// Events of a session. Unless said otherwise they come on the thread that
// called the session, in the order things happen; the transfer's (those of
// TransferListener too) as TDownloader says.
class SessionObserver : public TransferListener {
  public:
    // The session works on the calling thread for a while (the port scan,
    // each segment of the file): on (true) and done (false).
    virtual void busy(bool /*on*/) {}
    // A failure the user is to be told of, at the moment of telling; the
    // call that met it returns the same outcome.
    virtual void failed(const Outcome& /*outcome*/) {}

    virtual void portOpened(const std::string& /*name*/, uint32_t /*bitsPerSecond*/) {}
    virtual void portClosed() {}
    // The port scan: the list emptied, each row as its port has been probed,
    // every row in.
    virtual void scanCleared() {}
    virtual void scanRow(const PortRow& /*row*/) {}
    virtual void scanFinished(const PortScan& /*scan*/) {}

    // The connection check: the speed (agreed: the one asked for), the
    // chronometer's answer to 'I' (Windows-1252), its partition table.
    virtual void speedAgreed(bool /*agreed*/, uint32_t /*bitsPerSecond*/) {}
    virtual void identified(const std::string& /*answer*/) {}
    virtual void tableRead(const PartitionTable& /*table*/, bool /*complete*/) {}

    virtual void planned(const PlanReport& /*report*/) {}

    // The transfer: share of the phase and of the whole (not clamped), the
    // way the transfer reports progress; the end, once endTransfer is called.
    virtual void progress(int /*phase*/, int /*phaseCount*/, int /*percent*/, int /*overall*/) {}
    virtual void finished(const Outcome& /*outcome*/) {}

    // Bytes written to the line, frame by frame, from whichever thread
    // sends (the transfer's worker during a transfer).
    virtual void dataSent(uint64_t /*bytes*/) {}
    // Every frame sent and received with its tick and the line speed, while
    // frame tracing is on; same thread as dataSent.
    virtual void frame(TraceKind /*kind*/, const uint8_t* /*bytes*/, size_t /*size*/,
                       uint32_t /*tickMs*/, uint32_t /*bitsPerSecond*/) {}
};

class UpdateSession {
  public:
    UpdateSession(SerialDeviceOpener& devices, Clock& clock, SessionObserver& observer);
    ~UpdateSession();  // a running transfer is waited for
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // ---- The update file ----------------------------------------------------

    // Loads fileName into the component table (emptied first); busy around
    // each segment.
    Outcome loadFile(const std::string& fileName);
    const UpdateTable& components() const { return components_; }
    const std::string& versionLines() const { return versionLines_; }
    const std::string& identifier() const { return identifier_; }
    size_t segmentsRead() const { return segments_; }

    // ---- The port and the chronometer ---------------------------------------

    // Closes the port, then probes every port: busy, scanCleared, scanRow per
    // port, scanFinished, failed (NoPorts) when none is available, busy off.
    PortScan scanPorts();
    // Opens the port at 19200 8N1: portOpened, or failed.
    Outcome open(const std::string& portName);
    // The connection check on the open port, its diagnostic block to log:
    // speedAgreed, identified, tableRead as they are learnt; failed when the
    // chronometer does not answer as it should or its listing breaks off.
    Outcome check(bool highSpeed, const LogWriter& log);
    // Does a chronometer answer the link test at the present speed.
    bool probe();
    void close();
    // The chronometer's answer to 'I' at the last check, Windows-1252; empty
    // when none came.
    const std::string& identification() const { return identification_; }
    bool isOpen() const { return link_.RsIsOpen(); }

    // ---- The plan -------------------------------------------------------------

    // Plans the items into the planned table over the table read; planned.
    // True when the selection fits; verdict gets the planner's.
    bool plan(const std::vector<PlanItem>& items, PlanVerdict& verdict, const LogWriter& log);
    const PartitionTable& tableRead() const { return tableRead_; }
    const PartitionTable& planned() const { return planned_; }
    // What the last plan does to the chronometer, row by row.
    const PlanView& planView() const { return planView_; }

    // ---- The transfer ---------------------------------------------------------

    // Runs the planned table on a worker thread. Progress and phaseStarted
    // come through invokeAndWait (empty: on the worker); ended is called on
    // the worker as its last act: the owner then calls endTransfer on its
    // own thread. The session must not be used otherwise meanwhile.
    void startTransfer(TDownloader::InvokeAndWait invokeAndWait, std::function<void()> ended);
    bool transferRunning() const { return transfer_ != nullptr; }
    // Waits for the worker and ends the transfer: finished, the outcome.
    Outcome endTransfer();
    // The whole transfer on the calling thread, its events on it too:
    // finished, the outcome.
    Outcome runTransfer();
    // Phase the transfer stood in when it ended (0: the check before the
    // first), and their count.
    int transferPhase() const { return lastPhase_; }
    int transferPhaseCount() const { return lastPhaseCount_; }

    // ---- Diagnostics ----------------------------------------------------------

    void setFrameTrace(bool on) { frameTrace_ = on; }
    SerialLink& link() { return link_; }

  private:
    TDownloader::ProgressFn progressToObserver();

    SerialDeviceOpener& devices_;
    Clock& clock_;
    SessionObserver& observer_;
    SerialLink link_;
    bool frameTrace_ = false;

    UpdateTable components_;
    std::string versionLines_, identifier_;
    size_t segments_ = 0;
    std::string identification_;
    PartitionTable tableRead_;
    PartitionTable planned_;
    PlanView planView_;
    std::unique_ptr<TDownloader> transfer_;
    int lastPhase_ = 0, lastPhaseCount_ = 0;
};

}  // namespace zor
