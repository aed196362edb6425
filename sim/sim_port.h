#pragma once
// In-memory serial ports whose far end is a simulated Chronometer, on a
// VirtualClock, so that the host's time-outs run on virtual time.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim/chronometer.h"

namespace zor::sim {

// A SerialPort whose far end is a Chronometer, on a VirtualClock. readByte returns a due byte at
// once; otherwise it advances the clock to the next due byte when that is within READ_TIMEOUT_MS
// and returns it, else advances READ_TIMEOUT_MS and returns 0. configure() records the host speed.
// After CloseLine, reads return -1 and writes fail (lastError() EIO). DTR and RTS start low;
// enableDtrRts() raises both. A chronometer's cable echoes them: RTS comes back as CTS, DTR as DSR
// and carrier.
class SimPort : public SerialPort {
  public:
    SimPort(Chronometer& chrono, VirtualClock& clock);
    // A port with no cable: writes vanish, reads time out.
    explicit SimPort(VirtualClock& clock);
    ~SimPort() override;

    bool configure(uint32_t bitsPerSecond) override;
    int readByte(uint8_t& byte) override;
    bool write(const uint8_t* data, size_t size) override;
    // Drops the bytes that have already arrived; the chronometer's later bytes
    // still come, as on a real line.
    void purge() override;
    bool modemStatus(uint32_t& bits) override;
    bool enableDtrRts() override;
    int lastError() const override { return lastError_; }

    uint32_t bitsPerSecond() const { return bps_; }
    int purgeCount() const { return purges_; }
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }

    // Set by SimDevices. With echo, the bits are what the cable can return:
    // each shows only while the line that drives it is raised.
    void setModemBits(uint32_t bits, bool readable, bool echo = false) {
        modemBits_ = bits;
        modemReadable_ = readable;
        echo_ = echo;
    }
    void setOnClose(std::function<void()> onClose) { onClose_ = std::move(onClose); }
    // configure() fails from now on (a driver that refuses the settings).
    void setConfigureFails(bool fails) { configureFails_ = fails; }

  private:
    Chronometer* chrono_;
    VirtualClock& clock_;
    uint32_t bps_ = 9600;  // whatever the driver had before the first configure
    uint32_t modemBits_ = 0;
    bool modemReadable_ = true;
    bool echo_ = false;
    bool dtr_ = false;
    bool rts_ = false;
    bool configureFails_ = false;
    int lastError_ = 0;
    int purges_ = 0;
    std::function<void()> onClose_;
};

// A SerialDeviceOpener that hands out SimPorts by name ("COM1".., any case, or
// any path) and can be told that a name is missing (NotInstalled), held
// (InUse) or fails otherwise, and what modem status a port reports. Opens are
// exclusive, like the host's share-mode-0 open: a second open of a name whose
// port is still alive fails with InUse (EBUSY). Unknown names are NotInstalled.
class SimDevices : public SerialDeviceOpener {
  public:
    explicit SimDevices(VirtualClock& clock) : clock_(clock) {}

    // A port with this chronometer at the far end, whose cable returns CTS,
    // DSR and carrier while DTR and RTS are raised (setModemStatus narrows
    // what it returns). The chronometer must outlive the ports.
    void attach(const std::string& name, Chronometer& chrono);
    // A port with nothing attached; modem status all off.
    void addEmptyPort(const std::string& name);
    // Opening name fails like this (NotInstalled: ENOENT, InUse: EBUSY,
    // NotSerial: ENOTTY, Other: osError, EACCES when 0). OpenFailure::None
    // clears it.
    void setFailure(const std::string& name, OpenFailure failure, int osError = 0);
    void setModemStatus(const std::string& name, uint32_t bits, bool readable = true);
    void setConfigureFails(const std::string& name, bool fails);

    OpenResult open(const std::string& name, bool queryOnly) override;

    int openCount(const std::string& name) const;
    bool isOpen(const std::string& name) const;

  private:
    struct Entry {
        Chronometer* chrono = nullptr;
        bool present = false;
        OpenFailure failure = OpenFailure::None;
        int osError = 0;
        uint32_t modemBits = 0;
        bool modemReadable = true;
        bool echo = false;
        bool configureFails = false;
        int opens = 0;
        std::shared_ptr<bool> held = std::make_shared<bool>(false);
    };
    static std::string key(const std::string& name);

    VirtualClock& clock_;
    std::map<std::string, Entry> entries_;
};

}  // namespace zor::sim
