#pragma once
// A scripted far end for link tests: bytes queued for the host, a responder
// that sees every write, and a virtual clock that moves 100 ms per empty read.
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "updatefile/crc16.h"

namespace zor::test {

using Bytes = std::vector<uint8_t>;

// The chronometer's side of the framing, written apart from the link's.
inline Bytes frame(const Bytes& body) {
    const uint16_t c = crc16Update(CRC16_INIT, body.data(), body.size()) ^ 0xFFFF;
    Bytes all = body;
    all.push_back(static_cast<uint8_t>(c & 0xFF));
    all.push_back(static_cast<uint8_t>(c >> 8));
    Bytes out{0x7E};
    for (uint8_t b : all) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

inline Bytes answer(const std::string& text) {
    Bytes body{0x01, 0x46};
    body.insert(body.end(), text.begin(), text.end());
    return frame(body);
}

inline Bytes report(const std::string& text) {
    Bytes body{0x01, 0x47};
    body.insert(body.end(), text.begin(), text.end());
    return frame(body);
}

// Decodes the host's frames out of written bytes (stuffing removed, check bytes
// dropped, not verified).
inline std::vector<Bytes> bodiesOf(const Bytes& wire) {
    std::vector<Bytes> bodies;
    Bytes cur;
    bool esc = false;
    for (uint8_t b : wire) {
        if (b == 0x7E) {
            if (cur.size() > 2)
                bodies.emplace_back(cur.begin(), cur.end() - 2);
            cur.clear();
        } else if (b == 0x7D) {
            esc = true;
        } else {
            cur.push_back(esc ? b ^ 0x20 : b);
            esc = false;
        }
    }
    return bodies;
}

struct PortLog {
    Bytes written;
    std::vector<uint32_t> speeds;
    int purges = 0;
    int closes = 0;
};

class ScriptedPort : public SerialPort {
  public:
    // respond gets each write and may queue bytes for the host.
    using Responder = std::function<void(const Bytes& written, std::deque<uint8_t>& toHost)>;

    ScriptedPort(VirtualClock& clock, PortLog& log) : clock_(clock), log_(log) {}
    ~ScriptedPort() override { ++log_.closes; }

    bool configure(uint32_t bps) override {
        log_.speeds.push_back(bps);
        return !configureFails;
    }
    int readByte(uint8_t& byte) override {
        if (!toHost.empty()) {
            clock_.advance(perByteMs);
            byte = toHost.front();
            toHost.pop_front();
            return 1;
        }
        if (readFails)
            return -1;
        clock_.advance(100);
        return 0;
    }
    bool write(const uint8_t* data, size_t size) override {
        Bytes w(data, data + size);
        log_.written.insert(log_.written.end(), w.begin(), w.end());
        if (respond)
            respond(w, toHost);
        return true;
    }
    void purge() override {
        ++log_.purges;
        if (purgeDropsInput)
            toHost.clear();
    }
    bool modemStatus(uint32_t& bits) override {
        bits = modemBits;
        return modemReadable;
    }
    bool enableDtrRts() override { return true; }
    int lastError() const override { return 0; }

    std::deque<uint8_t> toHost;
    Responder respond;
    bool configureFails = false;
    bool readFails = false;
    bool purgeDropsInput = false;
    bool modemReadable = true;
    uint32_t modemBits = 0;
    uint32_t perByteMs = 0;  // virtual time each queued byte takes to arrive

  private:
    VirtualClock& clock_;
    PortLog& log_;
};

// Hands out ScriptedPorts; the last one opened is reachable through `port`.
class ScriptedDevices : public SerialDeviceOpener {
  public:
    explicit ScriptedDevices(VirtualClock& clock) : clock_(clock) {}
    OpenResult open(const std::string& name, bool) override {
        ++opens;
        OpenResult r;
        auto f = failures.find(name);
        if (f != failures.end()) {
            r.failure = f->second.first;
            r.osError = f->second.second;
            return r;
        }
        auto p = std::make_unique<ScriptedPort>(clock_, log);
        port = p.get();
        if (setup)
            setup(*p);
        r.port = std::move(p);
        return r;
    }
    std::map<std::string, std::pair<OpenFailure, int>> failures;
    std::function<void(ScriptedPort&)> setup;
    ScriptedPort* port = nullptr;  // dangles once the link closes it
    PortLog log;
    int opens = 0;

  private:
    VirtualClock& clock_;
};

}  // namespace zor::test
