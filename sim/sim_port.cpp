#include "sim/sim_port.h"

#include <cctype>
#include <cerrno>

namespace zor::sim {

namespace {
constexpr uint32_t READ_TIMEOUT_MS = 100;
}

SimPort::SimPort(Chronometer& chrono, VirtualClock& clock) : chrono_(&chrono), clock_(clock) {}

SimPort::SimPort(VirtualClock& clock) : chrono_(nullptr), clock_(clock) {}

SimPort::~SimPort() {
    if (onClose_) {
        onClose_();
    }
}

bool SimPort::configure(uint32_t bitsPerSecond) {
    if (configureFails_) {
        lastError_ = EINVAL;
        return false;
    }
    bps_ = bitsPerSecond;
    return true;
}

int SimPort::readByte(uint8_t& byte) {
    if (chrono_ == nullptr) {
        clock_.advance(READ_TIMEOUT_MS);
        return 0;
    }
    const uint32_t deadline = clock_.tickMs() + READ_TIMEOUT_MS;
    for (;;) {
        if (chrono_->lineClosed()) {
            lastError_ = EIO;
            return -1;
        }
        const uint32_t now = clock_.tickMs();
        if (chrono_->transmit(now, bps_, byte)) {
            return 1;
        }
        const uint32_t next = chrono_->nextDueMs();
        if (next == UINT32_MAX || static_cast<int32_t>(next - deadline) > 0) {
            if (static_cast<int32_t>(deadline - now) > 0) {
                clock_.advance(deadline - now);
            }
            chrono_->advanceTo(clock_.tickMs());
            return 0;
        }
        // The next byte may still be lost to a speed mismatch; go round again.
        if (static_cast<int32_t>(next - now) > 0) {
            clock_.advance(next - now);
        }
    }
}

bool SimPort::write(const uint8_t* data, size_t size) {
    if (chrono_ == nullptr) {
        return true;
    }
    if (chrono_->lineClosed()) {
        lastError_ = EIO;
        return false;
    }
    chrono_->receive(data, size, bps_, clock_.tickMs());
    return true;
}

void SimPort::purge() {
    ++purges_;
    if (chrono_ != nullptr) {
        chrono_->discardDue(clock_.tickMs());
    }
}

bool SimPort::modemStatus(uint32_t& bits) {
    if (!modemReadable_) {
        lastError_ = EIO;
        return false;
    }
    bits = modemBits_;
    if (echo_) {
        const uint32_t driven =
            (rts_ ? MODEM_CTS_ON : 0) | (dtr_ ? MODEM_DSR_ON | MODEM_RLSD_ON : 0);
        bits &= driven;
    }
    return true;
}

bool SimPort::enableDtrRts() {
    dtr_ = true;
    rts_ = true;
    return true;
}

std::string SimDevices::key(const std::string& name) {
    std::string upper;
    for (char c : name) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (upper.size() > 3 && upper.compare(0, 3, "COM") == 0 &&
        upper.find_first_not_of("0123456789", 3) == std::string::npos) {
        return upper;
    }
    return name;
}

void SimDevices::attach(const std::string& name, Chronometer& chrono) {
    Entry& e = entries_[key(name)];
    e.present = true;
    e.chrono = &chrono;
    e.modemBits = MODEM_CTS_ON | MODEM_DSR_ON | MODEM_RLSD_ON;
    e.echo = true;
}

void SimDevices::addEmptyPort(const std::string& name) {
    Entry& e = entries_[key(name)];
    e.present = true;
    e.chrono = nullptr;
    e.modemBits = 0;
    e.echo = false;
}

void SimDevices::setFailure(const std::string& name, OpenFailure failure, int osError) {
    Entry& e = entries_[key(name)];
    e.failure = failure;
    e.osError = osError;
}

void SimDevices::setModemStatus(const std::string& name, uint32_t bits, bool readable) {
    Entry& e = entries_[key(name)];
    e.modemBits = bits;
    e.modemReadable = readable;
}

void SimDevices::setConfigureFails(const std::string& name, bool fails) {
    entries_[key(name)].configureFails = fails;
}

OpenResult SimDevices::open(const std::string& name, bool /*queryOnly*/) {
    OpenResult r;
    auto it = entries_.find(key(name));
    OpenFailure failure = OpenFailure::NotInstalled;
    int osError = ENOENT;
    if (it != entries_.end()) {
        Entry& e = it->second;
        if (e.failure != OpenFailure::None) {
            failure = e.failure;
            osError = e.osError;
            if (osError == 0) {
                osError = failure == OpenFailure::NotInstalled ? ENOENT
                          : failure == OpenFailure::InUse      ? EBUSY
                          : failure == OpenFailure::NotSerial  ? ENOTTY
                                                               : EACCES;
            }
        } else if (*e.held) {
            failure = OpenFailure::InUse;
            osError = EBUSY;
        } else if (e.present) {
            auto port = e.chrono ? std::make_unique<SimPort>(*e.chrono, clock_)
                                 : std::make_unique<SimPort>(clock_);
            port->setModemBits(e.modemBits, e.modemReadable, e.echo);
            port->setConfigureFails(e.configureFails);
            std::shared_ptr<bool> held = e.held;
            *held = true;
            port->setOnClose([held] { *held = false; });
            ++e.opens;
            r.port = std::move(port);
            return r;
        }
    }
    r.failure = failure;
    r.osError = osError;
    return r;
}

int SimDevices::openCount(const std::string& name) const {
    auto it = entries_.find(key(name));
    return it == entries_.end() ? 0 : it->second.opens;
}

bool SimDevices::isOpen(const std::string& name) const {
    auto it = entries_.find(key(name));
    return it != entries_.end() && *it->second.held;
}

}  // namespace zor::sim
