#include "sim/chronometer.h"

#include <algorithm>
#include <cstdio>

#include "sim/component_image.h"

namespace zor::sim {

namespace {

constexpr uint8_t TYPE_PGM = 0;
constexpr uint8_t TYPE_FREE = 9;
constexpr size_t SECTOR_BYTES = 4096;  // the flash's erase unit
constexpr uint8_t HDR_COMMAND = 0x01;
constexpr uint8_t HDR_ANSWER = 0x46;
constexpr uint8_t HDR_PROGRESS = 0x47;
constexpr uint8_t LINK_CONTROL = 0xC0;
constexpr uint8_t LC_TEST = 0x09;
constexpr uint8_t LC_TEST_REPLY = 0x0A;
constexpr uint8_t LC_SPEED = 0x0C;
constexpr uint8_t LC_SPEED_REPLY = 0x0D;
constexpr uint8_t LC_REFUSED = 0x0E;

const char* const REFUSED = "009 Comando rifiutato";
const char* const BAD_ARGUMENTS = "010 Parametri non validi";
const size_t MAX_SHOWN_BYTES = 16;  // of a violating frame's body

// Realistic timing. The chronometer is a small microcontroller with a 4 Mbit
// serial NOR flash (8 blocks of 64 KiB, erased in 4 KiB sectors, programmed in
// 256-byte pages over SPI at 8 MHz); the figures are that class of parts'
// typical datasheet times. Each sits far inside the host's wait for that
// answer (in brackets); the closest, counting the request's own time on the
// line at 19200 bit/s, is 'E': about 160 ms of 500.
namespace real {
// A request is checked as its bytes arrive; the answer starts a few ms after
// the closing flag ['A' 1000 ms, 'I' 'E' 'H' and link control 500 ms].
constexpr uint32_t ANSWER_MS = 3;
// 'B': the partition table is read from flash first [500 ms per line].
constexpr uint32_t LISTING_MS = 8;
// 'F': the receive buffer is cleared and the flash driver woken [2000 ms].
constexpr uint32_t PROGRAM_START_MS = 25;
// 'H': a character LCD: clear (1.5 ms), four lines of 20 characters at about
// 40 us each, busy polling in between [500 ms].
constexpr uint32_t DISPLAY_MS = 10;
// 'C', per 4 KiB sector [6000 ms between frames; the longest gap is a
// quarter of the erase step of 8 blocks: 32 sectors, 1.4 s]: erase 45 ms
// (typical; 400 ms worst case); program 16 pages of 0.7 ms plus 4 ms to clock
// the data over SPI; verify: read back (4 ms) and compare.
constexpr uint32_t SECTOR_ERASE_MS = 45;
constexpr uint32_t SECTOR_PROGRAM_MS = 15;
constexpr uint32_t SECTOR_VERIFY_MS = 5;
// A step's opening report follows the previous report at once.
constexpr uint32_t STEP_START_MS = 2;
// 'C': after verifying, the partition table is rewritten: one sector erased
// and programmed before the final answer.
constexpr uint32_t TABLE_UPDATE_MS = 60;
// 'D': one 64 KiB block erase, 150 ms typical (1 s worst case) [6000 ms].
constexpr uint32_t BLOCK_ERASE_MS = 150;
// 'J': every image's CRC is checked (512 KiB read over SPI, about 130 ms) and
// the boot record rewritten (one sector, 60 ms) before the answer [1000 ms].
constexpr uint32_t RESTART_ANSWER_MS = 200;
// Then the reset: oscillator and PLL start-up and the boot loader's own
// checks; the UART hears nothing meanwhile.
constexpr uint32_t REBOOT_MS = 300;
}  // namespace real

// Unsigned tick counts wrap; compare them by difference.
bool atOrAfter(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) >= 0;
}
uint32_t later(uint32_t a, uint32_t b) {
    return atOrAfter(a, b) ? a : b;
}

// Time the line needs for count bytes of 10 bits each.
uint32_t lineMs(size_t count, uint32_t bps) {
    if (bps == 0) {
        bps = 9600;
    }
    return static_cast<uint32_t>((count * 10000 + bps - 1) / bps);
}

std::vector<uint8_t> textBody(uint8_t kind, const std::string& text) {
    std::vector<uint8_t> body(text.size() + 2);
    body[0] = HDR_COMMAND;
    body[1] = kind;
    for (size_t i = 0; i < text.size(); ++i) {
        body[i + 2] = static_cast<uint8_t>(text[i]);
    }
    return body;
}

std::string format(const char* fmt, int a, int b = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// "01 46 41 01", cut after MAX_SHOWN_BYTES bytes with the full length.
std::string hexBody(const std::vector<uint8_t>& body) {
    std::string out;
    for (size_t i = 0; i < body.size() && i < MAX_SHOWN_BYTES; ++i) {
        out += format(i == 0 ? "%02X" : " %02X", body[i]);
    }
    if (body.size() > MAX_SHOWN_BYTES) {
        out += format(" ... (%d byte)", static_cast<int>(body.size()));
    }
    return out.empty() ? "un frame vuoto" : out;
}

// Whether a known command's arguments have the protocol's shape.
bool argumentsFit(char letter, const std::vector<uint8_t>& args) {
    switch (letter) {
        case 'A':
        case 'I':
        case 'B':
        case 'F':
            return args == std::vector<uint8_t>{0x00};
        case 'E':
            return args.size() == SENT_BYTES_PER_BLOCK;
        case 'C':
            return args.size() == 1 && args[0] <= 7;
        case 'D':
            return args.size() == 2 && args[0] <= 7 && args[1] == 0x01;
        case 'J':
            return args == std::vector<uint8_t>{0x01};
        case 'H':
            return !args.empty();
        default:
            return false;
    }
}

const char* argumentsWanted(char letter) {
    switch (letter) {
        case 'A':
            return "'A' 00";
        case 'I':
            return "'I' 00";
        case 'B':
            return "'B' 00";
        case 'F':
            return "'F' 00";
        case 'E':
            return "'E' seguito da 259 byte di dati";
        case 'C':
            return "'C' seguito da un blocco da 0 a 7";
        case 'D':
            return "'D', un blocco da 0 a 7, 01";
        case 'J':
            return "'J' 01";
        case 'H':
            return "'H' seguito dal testo da mostrare";
        default:
            return "un comando noto (A I B F E C D J H)";
    }
}

}  // namespace

std::vector<SimPartition> defaultPartitions() {
    return {
        {8, 0, 1, "Boot VERS 1.00 BUILD 12"},
        {0, 1, 3, "Programma base VERS 2.10 BUILD 35"},
        {1, 4, 1, "Lingua italiano VERS 1.2 BUILD 4"},
        {TYPE_FREE, 5, 1, ""},
        {1, 6, 1, "Tabelle gare VERS 1.0 BUILD 2"},
        {TYPE_FREE, 7, 1, ""},
    };
}

uint32_t speedBps(uint8_t index) {
    switch (index) {
        case 0:
            return 19200;
        case 1:
            return 38400;
        case 2:
            return 57600;
        default:
            return 0;
    }
}

Chronometer::Chronometer(SimConfig config)
    : config_(std::move(config)), speed_(config_.startSpeed), flash_(8) {
    if (speedBps(speed_) == 0) {
        speed_ = 0;
        config_.startSpeed = 0;
    }
    if (config_.timing == SimTiming::Realistic) {
        config_.wireTiming = true;  // bytes at the line's rate: 10 bit times each (8N1)
    }
    std::vector<SimPartition> wanted = config_.partitions;
    std::stable_sort(
        wanted.begin(), wanted.end(),
        [](const SimPartition& a, const SimPartition& b) { return a.firstBlock < b.firstBlock; });
    uint8_t nextFree = 0;
    for (const SimPartition& p : wanted) {
        // A table the flash could not hold is trimmed rather than trusted.
        if (p.type == TYPE_FREE || p.blockCount == 0 || p.firstBlock < nextFree ||
            p.firstBlock + p.blockCount > 8) {
            continue;
        }
        table_.push_back(p);
        nextFree = static_cast<uint8_t>(p.firstBlock + p.blockCount);
        for (uint8_t b = p.firstBlock; b < nextFree; ++b) {
            flash_[b].erased = false;
        }
        ComponentDescriptor d{p.type, p.blockCount, p.name};
        flash_[p.firstBlock].bytes = encodeDescriptor(d);
    }
}

void Chronometer::advanceTo(uint32_t nowMs) {
    if (pendingSpeed_ && atOrAfter(nowMs, switchAtMs_)) {
        speed_ = nextSpeed_;
        pendingSpeed_ = false;
        settling_ = switchSettleMs_ > 0;
        settledAtMs_ = switchAtMs_ + switchSettleMs_;
        // Whatever was half-heard at the old speed is gone with the old setting.
        decoder_.reset();
    }
    if (settling_ && atOrAfter(nowMs, settledAtMs_)) {
        settling_ = false;
    }
}

bool Chronometer::garble(uint8_t& byte, uint32_t fromBps, uint32_t toBps) {
    // A receiver slower than the sender sees several bits per sample and
    // misses start bits: fewer bytes arrive. Either way the bits are wrong, and
    // the samples of a mark-heavy line read high, so no flag or escape ever
    // comes through.
    // A receiver that has not been given a speed hears nothing.
    if (toBps == 0)
        return false;
    if (toBps < fromBps) {
        uint32_t keepEvery = (fromBps + toBps / 2) / toBps;
        if (keepEvery > 1 && (dropCounter_++ % keepEvery) != 0) {
            return false;
        }
    }
    noise_ = noise_ * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(0x80 | ((byte ^ (noise_ >> 16)) & 0x7F));
    return true;
}

void Chronometer::receive(const uint8_t* data, size_t size, uint32_t hostBps, uint32_t nowMs) {
    if (closed_) {
        return;
    }
    uint32_t start = config_.wireTiming ? later(nowMs, rxLineFreeAt_) : nowMs;
    uint32_t at = start;
    for (size_t i = 0; i < size && !closed_; ++i) {
        at = config_.wireTiming ? start + lineMs(i + 1, hostBps) : nowMs;
        advanceTo(at);
        if (settling_) {
            continue;  // the UART is being reprogrammed: the byte is lost
        }
        uint8_t b = data[i];
        uint32_t mine = speedBps(speed_);
        if (hostBps != mine && !garble(b, hostBps, mine)) {
            continue;
        }
        switch (decoder_.push(b)) {
            case FrameDecoder::Result::Frame:
                onFrame(decoder_.body(), at);
                break;
            case FrameDecoder::Result::BadFrame:
                ++badFrames_;
                break;
            case FrameDecoder::Result::None:
                break;
        }
    }
    if (config_.wireTiming) {
        rxLineFreeAt_ = at;
    }
}

bool Chronometer::transmit(uint32_t nowMs, uint32_t hostBps, uint8_t& byte) {
    advanceTo(nowMs);
    feedStream(nowMs);
    while (!closed_ && !out_.empty() && atOrAfter(nowMs, out_.front().due)) {
        Outgoing o = out_.front();
        out_.pop_front();
        uint8_t b = o.byte;
        if (o.bps != hostBps && !garble(b, o.bps, hostBps)) {
            continue;
        }
        byte = b;
        return true;
    }
    return false;
}

uint32_t Chronometer::nextDueMs() const {
    if (closed_) {
        return UINT32_MAX;
    }
    const uint32_t queued = out_.empty() ? UINT32_MAX : out_.front().due;
    if (stream_ != Fault::None && (out_.empty() || atOrAfter(queued, streamAtMs_))) {
        return streamAtMs_;
    }
    return queued;
}

void Chronometer::discardDue(uint32_t nowMs) {
    feedStream(nowMs);
    while (!out_.empty() && atOrAfter(nowMs, out_.front().due)) {
        out_.pop_front();
    }
}

Fault Chronometer::faultFor(char letter) {
    int n = ++arrivals_[letter];
    for (const FaultRule& r : config_.faults) {
        if (r.command == letter && (r.occurrence == 0 || r.occurrence == n)) {
            return r.fault;
        }
    }
    return Fault::None;
}

void Chronometer::onFrame(const std::vector<uint8_t>& body, uint32_t atMs) {
    if (trace_) {
        trace_(true, atMs, body);
    }
    // Whatever endless answer was running has put its due bytes on the line
    // by now, and stops for this frame.
    feedStream(atMs);
    stream_ = Fault::None;
    char letter;
    bool control = false;
    if (!body.empty() && body[0] == LINK_CONTROL) {
        control = true;
        letter = body.size() < 2 ? '?' : body[1] == LC_SPEED ? 's' : body[1] == LC_TEST ? 't' : '?';
    } else if (body.size() >= 3 && body[0] == HDR_COMMAND && body[1] == HDR_ANSWER) {
        letter = static_cast<char>(body[2]);
    } else {
        // Not addressed to the update loader: no answer.
        violation(atMs, body, "un comando (01 46 lettera ...) o un controllo di linea (C0 ...)");
        lastHeard_ = '?';
        return;
    }
    const std::string expected = breach(letter, control, body);
    if (!expected.empty()) {
        violation(atMs, body, expected);
    }
    lastHeard_ = expected.empty() ? letter : '?';
    commands_ += letter;
    Fault fault = faultFor(letter);
    if (fault == Fault::CloseLine) {
        closed_ = true;
        out_.clear();
        return;
    }
    if (fault == Fault::EndlessProgress || fault == Fault::Trickle ||
        (fault == Fault::EndlessListing && letter == 'B' && !control)) {
        startStream(
            fault, letter,
            control ? std::vector<uint8_t>{} : std::vector<uint8_t>(body.begin() + 3, body.end()),
            atMs + firstAnswerMs(letter));
        return;
    }
    std::vector<Reply> replies;
    switchAfterReply_ = false;
    if (control) {
        linkControl(body, fault, replies);
    } else {
        command(letter, std::vector<uint8_t>(body.begin() + 3, body.end()), fault, replies);
    }
    queue(replies, fault, atMs + firstAnswerMs(letter));
    if (switchAfterReply_) {
        pendingSpeed_ = true;
        switchAtMs_ = later(txLineFreeAt_, atMs);
    }
}

std::string Chronometer::breach(char letter, bool control, const std::vector<uint8_t>& body) const {
    if (control) {
        if (letter == 't') {
            const std::vector<uint8_t> test{LINK_CONTROL, LC_TEST, 't', 'e', 's', 't'};
            return body == test ? "" : "il test di linea C0 09 't' 'e' 's' 't'";
        }
        if (letter == 's') {
            if (body.size() != 3 || speedBps(body[2]) == 0) {
                return "il cambio di velocità C0 0C con un indice da 0 a 2";
            }
            // The host changes speed only after a link test at the speed it
            // believes the chronometer's.
            if (lastHeard_ != 0 && lastHeard_ != 't') {
                return "un test di linea subito prima del cambio di velocità";
            }
            return "";
        }
        return "un test di linea (C0 09) o un cambio di velocità (C0 0C)";
    }
    const std::vector<uint8_t> args(body.begin() + 3, body.end());
    if (!argumentsFit(letter, args)) {
        return argumentsWanted(letter);
    }
    if (letter == 'E' && !receiving_) {
        return "'F' 00 prima dei blocchi di dati";
    }
    if (letter == 'C' && (!receiving_ || incoming_.empty())) {
        return "'F' 00 e almeno un blocco di dati 'E' prima della scrittura";
    }
    return "";
}

void Chronometer::violation(uint32_t atMs, const std::vector<uint8_t>& body,
                            const std::string& expected) {
    violations_.push_back(std::to_string(atMs) + " ms: ricevuto " + hexBody(body) + "; atteso " +
                          expected);
    if (onViolation_) {
        onViolation_(violations_.back());
    }
}

uint32_t Chronometer::firstAnswerMs(char letter) const {
    const auto set = config_.replyDelayByCommand.find(letter);
    if (set != config_.replyDelayByCommand.end()) {
        return set->second;
    }
    if (config_.timing == SimTiming::Realistic) {
        switch (letter) {
            case 'B':
                return real::LISTING_MS;
            case 'F':
                return real::PROGRAM_START_MS;
            case 'H':
                return real::DISPLAY_MS;
            case 'D':
                return real::BLOCK_ERASE_MS;
            case 'J':
                return real::RESTART_ANSWER_MS;
            default:
                return real::ANSWER_MS;
        }
    }
    if (letter == 'D') {
        return config_.replyDelayMs + config_.eraseMs.value_or(config_.flashStepMs);
    }
    return config_.replyDelayMs;
}

void Chronometer::linkControl(const std::vector<uint8_t>& body, Fault fault,
                              std::vector<Reply>& replies) {
    if (fault == Fault::Silence || fault == Fault::ProgressThenSilence) {
        return;
    }
    if (body.size() >= 2 && body[1] == LC_TEST) {
        if (body.size() != 6 || !std::equal(body.begin() + 2, body.end(), "test")) {
            return;  // not the test the chronometer knows
        }
        uint8_t code = fault == Fault::WrongCode ? LC_REFUSED : LC_TEST_REPLY;
        replies.push_back({0, {LINK_CONTROL, code, 't', 'e', 's', 't'}});
    } else if (body.size() >= 2 && body[1] == LC_SPEED) {
        uint8_t index = body.size() == 3 ? body[2] : 0xFF;
        if (fault == Fault::WrongCode || speedBps(index) == 0) {
            replies.push_back({0, {LINK_CONTROL, LC_REFUSED, index}});
            return;
        }
        replies.push_back({0, {LINK_CONTROL, LC_SPEED_REPLY, index}});
        switchAfterReply_ = true;
        switchSettleMs_ = config_.speedSettleMs;
        nextSpeed_ = index;
    }
}

void Chronometer::command(char letter, const std::vector<uint8_t>& args, Fault fault,
                          std::vector<Reply>& replies) {
    auto answer = [&replies](const std::string& text) {
        replies.push_back({0, textBody(HDR_ANSWER, text)});
    };
    if (fault == Fault::Silence || (fault == Fault::ProgressThenSilence && letter != 'C')) {
        return;
    }
    const bool refuse = fault == Fault::WrongCode;
    if (std::string("AIBFECDJH").find(letter) == std::string::npos) {
        answer(refuse ? REFUSED : "099 Comando sconosciuto");
        return;
    }
    if (refuse) {
        if (letter == 'C') {
            writeComponent(args.empty() ? 0xFF : args[0], fault, replies);
        } else {
            answer(REFUSED);
        }
        return;
    }
    if (!argumentsFit(letter, args)) {
        answer(letter == 'E'                    ? "010 Blocco dati errato"
               : letter == 'C' || letter == 'D' ? "010 Blocco non valido"
                                                : BAD_ARGUMENTS);
        return;
    }
    switch (letter) {
        case 'A':
            answer("000 Pronto");
            break;
        case 'I':
            answer(config_.identification);
            break;
        case 'B': {
            std::vector<std::string> lines = listingLines();
            if (fault == Fault::ListingCut) {
                lines.pop_back();
            }
            for (const std::string& l : lines) {
                answer(l);
            }
            break;
        }
        case 'F':
            receiving_ = true;
            incoming_.clear();
            answer("002 Pronto a ricevere");
            break;
        case 'E':
            if (!receiving_) {
                answer("011 Nessun programma avviato");
            } else if (incoming_.size() + args.size() > 8 * FLASH_BLOCK_BYTES) {
                answer("012 Memoria insufficiente");
            } else {
                incoming_.insert(incoming_.end(), args.begin(), args.end());
                answer("001 Blocco ricevuto");
            }
            break;
        case 'C':
            writeComponent(args[0], fault, replies);
            break;
        case 'D':
            // The answer comes once the block is erased (firstAnswerMs).
            eraseBlock(args[0]);
            answer("004 Blocco cancellato");
            break;
        case 'J':
            ++restarts_;
            receiving_ = false;
            incoming_.clear();
            lastHeard_ = 0;
            answer("000 Riavvio");
            // The chronometer reboots once the answer has left and listens at
            // its power-on speed again.
            switchAfterReply_ = true;
            switchSettleMs_ = config_.timing == SimTiming::Realistic ? real::REBOOT_MS : 0;
            nextSpeed_ = config_.startSpeed;
            break;
        case 'H':
            display_.assign(args.begin(), args.end());
            displayHistory_.push_back(display_);
            answer("000");
            break;
    }
}

void Chronometer::writeComponent(uint8_t block, Fault fault, std::vector<Reply>& replies) {
    uint32_t offset = 0;
    auto answer = [&replies, &offset](const std::string& text) {
        replies.push_back({offset, textBody(HDR_ANSWER, text)});
    };
    auto report = [&replies, &offset](const std::string& text) {
        replies.push_back({offset, textBody(HDR_PROGRESS, text)});
    };
    if (!receiving_ || incoming_.empty()) {
        answer("011 Nessun programma ricevuto");
        return;
    }
    ComponentDescriptor d;
    if (parseDescriptor(incoming_.data(), incoming_.size(), d)) {
        d.type &= 0x0F;
    } else {
        d.type = TYPE_PGM;
        d.blockCount = static_cast<uint8_t>(
            std::min<size_t>(8, (incoming_.size() + FLASH_BLOCK_BYTES - 1) / FLASH_BLOCK_BYTES));
        d.name = "Senza descrittore";
    }
    if (block > 7 || d.blockCount == 0 || block + d.blockCount > 8 || d.type == TYPE_FREE) {
        answer("010 Blocco non valido");
        return;
    }
    if (incoming_.size() > d.blockCount * FLASH_BLOCK_BYTES) {
        answer("008 Programma troppo lungo per la partizione");
        return;
    }

    // The opening report has no blank at index 4: the host skips it.
    report(format("Blocco %d: avvio scrittura", block));
    if (fault == Fault::ProgressThenSilence) {
        return;  // the chronometer hangs before touching the flash
    }
    // All three steps count the 4 KiB sectors the data occupies: the host
    // keeps the first step's total for the whole write, so the counts of the
    // later steps must be of the same size for its progress bar to make sense.
    // A report follows every quarter of a step.
    const int sectors =
        static_cast<int>(std::max<size_t>(1, (incoming_.size() + SECTOR_BYTES - 1) / SECTOR_BYTES));
    const bool realistic = config_.timing == SimTiming::Realistic;
    struct Step {
        const char* tag;
        const char* title;
        uint32_t sectorMs;
    };
    const Step steps[] = {{"CAN", "Cancellazione settori", real::SECTOR_ERASE_MS},
                          {"SCR", "Scrittura settori", real::SECTOR_PROGRAM_MS},
                          {"VER", "Verifica settori", real::SECTOR_VERIFY_MS}};
    // Time until the next report: a flash step, or the sectors done meanwhile.
    auto work = [&](const Step& s, int sectorsDone) {
        return realistic ? s.sectorMs * static_cast<uint32_t>(sectorsDone) : config_.flashStepMs;
    };
    for (const Step& s : steps) {
        offset += realistic ? real::STEP_START_MS : config_.flashStepMs;
        report(std::string(s.tag) + "  " + s.title + format(" %04d", sectors));
        const int stride = std::max(1, (sectors + 3) / 4);
        int remaining = sectors;
        for (; remaining - stride > 0; remaining -= stride) {
            offset += work(s, stride);
            report(std::string(s.tag) + "  " + format("%4d", remaining - stride));
        }
        offset += work(s, remaining);
        report(std::string(s.tag) + "  Done");
    }
    offset += realistic ? real::TABLE_UPDATE_MS : config_.flashStepMs;
    if (fault == Fault::WrongCode) {
        answer("009 Errore di scrittura");
        return;
    }
    answer("004 Programmazione completata");

    removeOverlapping(block, d.blockCount);
    SimPartition p{d.type, block, d.blockCount, d.name};
    table_.insert(std::upper_bound(table_.begin(), table_.end(), p,
                                   [](const SimPartition& a, const SimPartition& b) {
                                       return a.firstBlock < b.firstBlock;
                                   }),
                  p);
    for (uint8_t k = 0; k < d.blockCount; ++k) {
        FlashBlock& f = flash_[block + k];
        f.erased = false;
        size_t from = std::min(incoming_.size(), k * FLASH_BLOCK_BYTES);
        size_t to = std::min(incoming_.size(), (k + 1) * FLASH_BLOCK_BYTES);
        f.bytes.assign(incoming_.begin() + from, incoming_.begin() + to);
    }
    receiving_ = false;
    incoming_.clear();
}

void Chronometer::removeOverlapping(uint8_t first, uint8_t count) {
    table_.erase(std::remove_if(table_.begin(), table_.end(),
                                [first, count](const SimPartition& p) {
                                    return p.firstBlock < first + count &&
                                           first < p.firstBlock + p.blockCount;
                                }),
                 table_.end());
}

void Chronometer::eraseBlock(uint8_t block) {
    flash_[block] = FlashBlock{};
    removeOverlapping(block, 1);
}

void Chronometer::queue(const std::vector<Reply>& replies, Fault fault, uint32_t atMs) {
    const uint32_t bps = speedBps(speed_);
    if (fault == Fault::Garbage) {
        size_t total = 0;
        for (const Reply& r : replies) {
            total += encodeFrame(r.body).size();
        }
        uint32_t start = later(atMs, txLineFreeAt_);
        for (size_t i = 0; i < std::max<size_t>(total, 8); ++i) {
            noise_ = noise_ * 1103515245u + 12345u;
            uint32_t due = config_.wireTiming ? start + lineMs(i + 1, bps) : start;
            out_.push_back({due, static_cast<uint8_t>(0x80 | (noise_ >> 16)), bps});
            txLineFreeAt_ = due;
        }
        return;
    }
    // A line hit just before the answer: noise without flags, or a damaged
    // copy of the first frame, then the answers as they should be.
    std::vector<uint8_t> hit;
    if (fault == Fault::NoiseFirst) {
        for (int i = 0; i < 8; ++i) {
            noise_ = noise_ * 1103515245u + 12345u;
            hit.push_back(static_cast<uint8_t>(0x80 | (noise_ >> 16)));
        }
    } else if (fault == Fault::BadFrameFirst && !replies.empty()) {
        hit = encodeFrame(replies.front().body, true);
    }
    uint32_t hitStart = later(atMs, txLineFreeAt_);
    for (size_t i = 0; i < hit.size(); ++i) {
        const uint32_t due = config_.wireTiming ? hitStart + lineMs(i + 1, bps) : hitStart;
        out_.push_back({due, hit[i], bps});
        txLineFreeAt_ = due;
    }
    bool first = true;
    for (const Reply& r : replies) {
        std::vector<uint8_t> bytes = encodeFrame(r.body, first && fault == Fault::BadCheck);
        first = false;
        uint32_t start = later(atMs + r.offsetMs, txLineFreeAt_);
        if (trace_) {
            trace_(false, start, r.body);
        }
        for (size_t i = 0; i < bytes.size(); ++i) {
            uint32_t due = config_.wireTiming ? start + lineMs(i + 1, bps) : start;
            out_.push_back({due, bytes[i], bps});
            txLineFreeAt_ = due;
        }
    }
}

void Chronometer::startStream(Fault fault, char letter, const std::vector<uint8_t>& args,
                              uint32_t atMs) {
    stream_ = fault;
    streamStartMs_ = atMs;
    streamAtMs_ = atMs;
    streamCount_ = 0;
    streamLines_.clear();
    if (fault == Fault::EndlessListing) {
        for (const std::string& line : listingLines()) {
            streamLines_.push_back(textBody(HDR_ANSWER, line));
        }
        streamLines_.pop_back();  // never the "005" line
    } else if (fault == Fault::EndlessProgress && letter == 'C') {
        streamLines_.push_back(textBody(
            HDR_PROGRESS, format("Blocco %d: avvio scrittura", args.empty() ? 0 : args[0])));
        streamLines_.push_back(textBody(HDR_PROGRESS, "CAN  Cancellazione settori 0016"));
    }
}

void Chronometer::feedStream(uint32_t nowMs) {
    const bool realistic = config_.timing == SimTiming::Realistic;
    while (stream_ != Fault::None && !closed_ && atOrAfter(nowMs, streamAtMs_)) {
        if (config_.endlessForMs > 0 && streamAtMs_ - streamStartMs_ >= config_.endlessForMs) {
            stream_ = Fault::None;
            break;
        }
        uint32_t gap;
        if (stream_ == Fault::Trickle) {
            const uint32_t bps = speedBps(speed_);
            const uint32_t start = later(streamAtMs_, txLineFreeAt_);
            const uint32_t due = config_.wireTiming ? start + lineMs(1, bps) : start;
            noise_ = noise_ * 1103515245u + 12345u;
            out_.push_back({due, static_cast<uint8_t>(0x80 | (noise_ >> 16)), bps});
            txLineFreeAt_ = due;
            gap = config_.trickleMs;
        } else if (stream_ == Fault::EndlessListing) {
            queue({{0, streamLines_[streamCount_ % streamLines_.size()]}}, Fault::None,
                  streamAtMs_);
            gap = realistic ? 0 : config_.replyDelayMs;  // lines back to back
        } else {
            // A write that never gets anywhere: the sectors counted down over
            // and over.
            const int left = 15 - static_cast<int>(streamCount_ % 16);
            queue({{0, streamCount_ < streamLines_.size()
                           ? streamLines_[streamCount_]
                           : textBody(HDR_PROGRESS, format("CAN  %4d", left))}},
                  Fault::None, streamAtMs_);
            gap = realistic ? real::SECTOR_ERASE_MS : config_.flashStepMs;
        }
        ++streamCount_;
        // At least a millisecond apart, so that time moves on.
        streamAtMs_ = later(txLineFreeAt_, streamAtMs_) + std::max<uint32_t>(gap, 1);
    }
}

std::vector<SimPartition> Chronometer::partitions() const {
    std::vector<SimPartition> out;
    uint8_t block = 0;
    for (const SimPartition& p : table_) {
        if (p.firstBlock > block) {
            out.push_back({TYPE_FREE, block, static_cast<uint8_t>(p.firstBlock - block), ""});
        }
        out.push_back(p);
        block = static_cast<uint8_t>(p.firstBlock + p.blockCount);
    }
    if (block < 8) {
        out.push_back({TYPE_FREE, block, static_cast<uint8_t>(8 - block), ""});
    }
    return out;
}

std::vector<std::string> Chronometer::listingLines() const {
    std::vector<std::string> lines{"006 Tabella partizioni flash"};
    int n = 0;
    for (const SimPartition& p : config_.listFreeBlocks ? partitions() : table_) {
        ++n;
        lines.push_back(format("006 Flash image %d: block %d", n, p.firstBlock));
        lines.push_back(format("006 ID: %d", (p.type << 4) & 0xFF));
        lines.push_back("006 Nome (" + (p.type == TYPE_FREE ? std::string("Libero") : p.name) +
                        ")");
        lines.push_back(format("006 Lunghezza (%d blocchi)", p.blockCount));
        lines.push_back("006 Stato: valida");
    }
    lines.push_back("005 Fine tabella");
    return lines;
}

}  // namespace zor::sim
