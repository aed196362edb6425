#include "cli/port_access.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_ui.h"
#include "engine/plan_view.h"
#include "platform/port_diagnosis.h"
#include "platform/system_error.h"
#include "platform/terminal.h"

namespace zor::cli {

namespace {

std::atomic<int> livePorts{0};

[[noreturn]] void endInterrupted(int status) {
    std::fflush(stdout);
    std::fputs("\nInterrotto.\n", stderr);
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
    std::string text =
        "Errore apertura file: " + portLabel(name, device) + ": " + systemErrorText(osError) + "\n";
    const PortDiagnosis d = diagnosePort(device, osError);
    const std::string shown = nameForTerminal(device);
    std::string hint;
    if (d.accessDenied) {
        const std::string user = currentUserName();
        const std::string who = user.empty() ? "$USER" : user;
        if (d.groupMayUse && !d.deviceGroup.empty() && d.deviceGroup != "root") {
            hint = "l'utente " + who + " non ha accesso a " + shown +
                   ", che appartiene al gruppo " + d.deviceGroup +
                   ". Aggiungersi al gruppo (sudo adduser " + who + " " + d.deviceGroup +
                   "), poi uscire e rientrare nella sessione.";
        } else {
            hint = shown +
                   " è accessibile solo al suo proprietario. Di solito le porte seriali "
                   "appartengono al gruppo dialout: chiedere all'amministratore di "
                   "assegnarla a quel gruppo, poi aggiungersi al gruppo (sudo adduser " +
                   who + " dialout) e rientrare nella sessione.";
        }
    } else if (failure == OpenFailure::InUse) {
        if (d.holderPid != 0) {
            // Any user names his own processes, escape sequences included:
            // the name reaches the terminal only as plain text.
            const std::string holder = utf8Text(d.holderName, true);
            hint = "la porta è utilizzata dal processo " + std::to_string(d.holderPid) +
                   (holder.empty() ? std::string() : " (" + holder + ")") +
                   (d.lockFile.empty()
                        ? std::string()
                        : ", come indica il file di blocco " + nameForTerminal(d.lockFile)) +
                   ". Chiudere quel programma e riprovare.";
        } else {
            hint = "la porta è utilizzata da un'altra applicazione. Chiuderla e riprovare.";
        }
    } else if (failure == OpenFailure::NotInstalled) {
        hint =
            "la porta non esiste su questo computer. \"zorload-cli ports\" elenca le porte; un "
            "adattatore USB si indica con il percorso del suo dispositivo o con una delle "
            "variabili ZORLOAD_COM1..ZORLOAD_COM4.";
    } else if (failure == OpenFailure::NotSerial) {
        hint = shown +
               " non è una porta seriale. Indicare COM1..COM4 oppure il percorso di un "
               "dispositivo seriale.";
    }
    if (!hint.empty())
        text += "Suggerimento: " + hint + "\n";
    return text;
}

std::string configureFailureText(const std::string& name, const std::string& device, int osError) {
    std::string text = "Errore: Impossibile impostare la porta! " + portLabel(name, device);
    if (osError != 0)
        text += ": " + systemErrorText(osError);
    text +=
        "\nSuggerimento: il dispositivo non accetta 19200 bit/s, 8 bit, nessuna parità, senza "
        "controllo di flusso: controllare che sia davvero una porta seriale.\n";
    return text;
}

}  // namespace zor::cli
