#pragma once
// The serial devices as the command line opens them: every port it opens can
// be let go of cleanly when the user interrupts, and a port that will not open
// is explained (which port, which device, what to do).
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace zor::cli {

// Hands out the system's ports wrapped so that an interrupt deferred while a
// port is open ends the program at the port's next call, once the port is
// closed (its lock file removed, its exclusive flag dropped), with the
// interrupt's status.
class CliDevices : public SerialDeviceOpener {
  public:
    explicit CliDevices(SerialDeviceOpener& system) : system_(system) {}
    OpenResult open(const std::string& name, bool queryOnly) override;
    std::vector<std::string> adapterPaths() override { return system_.adapterPaths(); }

  private:
    SerialDeviceOpener& system_;
};

// Ends the program for an interrupt deferred while nothing is held: stdout
// flushed, "Interrotto." on stderr, the interrupt's exit status. Does nothing
// when no interrupt is pending.
void endIfInterrupted();

// "COM2 (/dev/ttyS1)"; just the path when the name is the device itself.
// For the terminal: control characters and bytes outside UTF-8 as '?'.
std::string portLabel(const std::string& name, const std::string& device);

// What to tell a person whose port would not open: the system's text under its
// caption with the port named, then a hint. Lines end with '\n'.
std::string openFailureText(const std::string& name, const std::string& device, OpenFailure failure,
                            int osError);
std::string configureFailureText(const std::string& name, const std::string& device, int osError);

}  // namespace zor::cli
