#pragma once
// The chronometer on a port as the command line reaches it: the session's
// events as the terminal shows them, and the connection check with what to
// tell the person at the terminal when it fails.
#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "cli/progress.h"
#include "engine/station.h"
#include "engine/update_session.h"
#include "text/cli_text.h"  // selectionError(): why --select was refused

namespace zor::cli {

// The session's events for the terminal: frames printed with --trace, the
// chronometer's identification kept, the transfer's events handed to the
// transfer display while there is one.
class CliObserver : public SessionObserver {
  public:
    // The clock --trace counts from starts now.
    void restartTraceClock(uint32_t nowMs) { originMs_ = nowMs; }
    // Main thread, while no transfer runs.
    void setDisplay(TransferDisplay* display) { display_ = display; }
    // The chronometer's answer to 'I', made safe for the log.
    const std::string& identification() const { return identification_; }

    void identified(const std::string& answer) override;
    void frame(TraceKind kind, const uint8_t* bytes, size_t size, uint32_t tickMs,
               uint32_t bitsPerSecond) override;
    void progress(int phase, int phaseCount, int percent, int overall) override;
    void dataSent(uint64_t bytes) override;
    void deviceStep(const DeviceStep& step) override;
    void restarting() override;

  private:
    uint32_t originMs_ = 0;
    TransferDisplay* display_ = nullptr;
    std::string identification_;
};

struct Connection {
    std::string port, device;
    std::string identification;  // the chronometer's answer to 'I', Windows-1252
    std::string failure;         // what went wrong, for --json and --record
};

// Opens the port and checks the chronometer; tells the user on failure, with
// the port and the device behind it and what to do. The check's diagnostic
// block and the frames go to stderr with --trace.
bool connect(UpdateSession& session, CliObserver& observer, const Options& opt, Connection& c);
// The first half of connect(): the port opened, or the user told why not.
bool openPort(UpdateSession& session, CliObserver& observer, const Options& opt, Connection& c);
// The second half's failure: the user told, c.failure set.
void checkFailed(const Outcome& checked, const Options& opt, Connection& c);

// With --json, the failed connection's document on stdout; EXIT_UNREACHABLE.
int unreachable(const Options& opt, const Connection& c);

// "all", "outdated" or comma-separated slot numbers below segments. A
// segment without data blocks is no component to install: "all" skips it,
// naming it fails.
bool parseSelection(const std::string& list, const UpdateTable& components, size_t segments,
                    ComponentSelection& selection);

}  // namespace zor::cli
