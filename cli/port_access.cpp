#include "cli/port_access.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_ui.h"
#include "engine/plan_view.h"
#include "platform/port_diagnosis.h"
#include "platform/terminal.h"
#include "text/cli_text.h"

namespace zor::cli {

namespace {

std::atomic<int> livePorts{0};

[[noreturn]] void endInterrupted(int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s\n", INTERRUPTED_TEXT);
    std::fflush(stderr);
    std::_Exit(status);
}

// Forwards every call; before each one looks for an interrupt the program
// deferred while the port is open.
class GuardedPort : public SerialPort {
  public:
    explicit GuardedPort(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {
        if (livePorts++ == 0 && interruptMode() == InterruptMode::Exit)
            setInterruptMode(InterruptMode::Defer);
    }
    ~GuardedPort() override {
        port_.reset();
        if (--livePorts == 0 && interruptMode() == InterruptMode::Defer) {
            setInterruptMode(InterruptMode::Exit);
            endIfInterrupted();
        }
    }

    bool configure(uint32_t bitsPerSecond) override {
        check();
        return port_->configure(bitsPerSecond);
    }
    int readByte(uint8_t& byte) override {
        check();
        return port_->readByte(byte);
    }
    bool write(const uint8_t* data, size_t size) override {
        check();
        return port_->write(data, size);
    }
    void purge() override {
        check();
        port_->purge();
    }
    bool modemStatus(uint32_t& bits) override {
        check();
        return port_->modemStatus(bits);
    }
    bool enableDtrRts() override {
        check();
        return port_->enableDtrRts();
    }
    int lastError() const override { return port_->lastError(); }

  private:
    // Only a deferred request ends the program here: during a transfer the
    // requests are refused, never kept.
    void check() {
        if (interruptMode() != InterruptMode::Defer || pendingInterrupt() == 0)
            return;
        port_.reset();
        endInterrupted(pendingInterrupt());
    }

    std::unique_ptr<SerialPort> port_;
};

}  // namespace

OpenResult CliDevices::open(const std::string& name, bool queryOnly) {
    OpenResult r = system_.open(name, queryOnly);
    if (r.port)
        r.port = std::make_unique<GuardedPort>(std::move(r.port));
    return r;
}

void endIfInterrupted() {
    if (const int status = pendingInterrupt())
        endInterrupted(status);
}

std::string portLabel(const std::string& name, const std::string& device) {
    if (device.empty() || device == name)
        return nameForTerminal(name);
    return nameForTerminal(name) + " (" + nameForTerminal(device) + ")";
}

std::string openFailureText(const std::string& name, const std::string& device, OpenFailure failure,
                            int osError) {
    std::string text = portOpenErrorText(portLabel(name, device), osError) + "\n";
    const PortDiagnosis d = diagnosePort(device, osError);
    const std::string shown = nameForTerminal(device);
    std::string hint;
    if (d.accessDenied) {
        if (d.groupMayUse && !d.deviceGroup.empty() && d.deviceGroup != "root")
            hint = joinGroupHint(currentUserName(), shown, d.deviceGroup);
        else
            hint = ownerOnlyHint(currentUserName(), shown);
    } else if (failure == OpenFailure::InUse) {
        if (d.holderPid != 0) {
            // Any user names his own processes, escape sequences included:
            // the name reaches the terminal only as plain text.
            const std::string holder = utf8Text(d.holderName, true);
            hint =
                heldByProcessHint(d.holderPid, holder,
                                  d.lockFile.empty() ? std::string() : nameForTerminal(d.lockFile));
        } else {
            hint = HELD_BY_APPLICATION_HINT;
        }
    } else if (failure == OpenFailure::NotInstalled) {
        hint = PORT_MISSING_HINT;
    } else if (failure == OpenFailure::NotSerial) {
        hint = notSerialHint(shown);
    }
    if (!hint.empty())
        text += hintText(hint) + "\n";
    return text;
}

std::string configureFailureText(const std::string& name, const std::string& device, int osError) {
    return portSetupErrorText(portLabel(name, device), osError) + "\n" +
           hintText(LINE_SETTINGS_HINT) + "\n";
}

}  // namespace zor::cli
