#pragma once
// A scripted far end for link tests: bytes queued for the host, a responder
// that sees every write, and a virtual clock that moves 100 ms per empty read.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "support/recording_ui.h"
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
        if (b == 0x7E || b == 0x7D)
            out.push_back(0x7D);
        out.push_back(b == 0x7E || b == 0x7D ? b ^ 0x20 : b);
    }
    out.push_back(0x7E);
    return out;
}

inline Bytes textFrame(uint8_t kind, const std::string& text) {
    Bytes body{0x01, kind};
    body.insert(body.end(), text.begin(), text.end());
    return frame(body);
}
inline Bytes answer(const std::string& text) {
    return textFrame(0x46, text);
}
inline Bytes report(const std::string& text) {
    return textFrame(0x47, text);
}

class ScriptedPort : public SerialPort {
  public:
    explicit ScriptedPort(VirtualClock& clock) : clock_(clock) {}

    bool configure(uint32_t bps) override {
        configured.push_back(bps);
        events += " C" + std::to_string(bps);
        return bps != refusedBps;
    }
    int readByte(uint8_t& byte) override {
        if (toHost.empty()) {
            clock_.advance(100);
            return readFails ? -1 : 0;
        }
        clock_.advance(perByteMs);
        byte = toHost.front();
        toHost.pop_front();
        return 1;
    }
    bool write(const uint8_t* data, size_t size) override {
        const Bytes w(data, data + size);
        written.insert(written.end(), w.begin(), w.end());
        // Link control by its code, commands by their letter.
        if (size > 3)
            events += w[1] == 0xC0 ? " L" + std::to_string(w[2]) : " " + std::string(1, char(w[3]));
        if (respond)
            respond(w, toHost);
        return true;
    }
    void purge() override { events += " P"; }
    bool modemStatus(uint32_t&) override { return false; }
    bool enableDtrRts() override { return false; }
    int lastError() const override { return 0; }

    void queue(const Bytes& bytes) { toHost.insert(toHost.end(), bytes.begin(), bytes.end()); }

    std::deque<uint8_t> toHost;
    Bytes written;
    std::function<void(const Bytes& written, std::deque<uint8_t>& toHost)> respond;
    bool readFails = false;
    std::vector<uint32_t> configured;  // every speed asked for, refused ones too
    uint32_t refusedBps = 0;           // a speed the driver will not set
    uint32_t perByteMs = 0;            // virtual time each queued byte takes to arrive
    // What the host did, in order: " C<bps>" configure, " P" purge, " L<code>"
    // a link-control frame, " <letter>" a command.
    std::string events;

  private:
    VirtualClock& clock_;
};

// Hands out one ScriptedPort per open; `port` is the last one.
class ScriptedDevices : public SerialDeviceOpener {
  public:
    explicit ScriptedDevices(VirtualClock& clock) : clock_(clock) {}
    OpenResult open(const std::string&, bool) override {
        OpenResult r;
        r.port = std::make_unique<ScriptedPort>(clock_);
        port = static_cast<ScriptedPort*>(r.port.get());
        return r;
    }
    ScriptedPort* port = nullptr;

  private:
    VirtualClock& clock_;
};

// The host's link with a scripted far end, already open on COM1.
struct ScriptedLink {
    ScriptedLink() { link.RsOpen("COM1"); }
    ScriptedPort& port() { return *devices.port; }

    VirtualClock clock;
    ScriptedDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock};
};

}  // namespace zor::test
