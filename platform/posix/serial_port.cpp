// Placeholder until the termios device lands.
#include "platform/serial_port.h"

#include <cerrno>
#include <cstdlib>

namespace zor {

namespace {
class NoDevices : public SerialDeviceOpener {
public:
    OpenResult open(const std::string&, bool) override {
        OpenResult r;
        r.failure = OpenFailure::NotInstalled;
        r.osError = ENOENT;
        return r;
    }
};
}  // namespace

SerialDeviceOpener& systemSerialDevices() {
    static NoDevices devices;
    return devices;
}

std::string resolvePortName(const std::string& name) { return name; }

}  // namespace zor
