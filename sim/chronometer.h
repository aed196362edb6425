#pragma once
// The simulated chronometer in its "Aggiornamento software" mode: the far end
// of the serial cable, with its own framing, its own notion of line speed and
// a model of its 8 flash blocks.
//
// What it answers (every answer body is 0x01 'F' followed by the text):
//   'A' 0x00       "000 Pronto"
//   'I' 0x00       SimConfig::identification (code 007)
//   'B' 0x00       the partition listing, one answer per line: a heading line,
//                  then for each partition five lines
//                    "006 Flash image N: block B"
//                    "006 ID: X"                  X = type << 4
//                    "006 Nome (NAME)"
//                    "006 Lunghezza (L blocchi)"
//                    "006 Stato: valida"
//                  and last "005 Fine tabella". Free runs are listed only
//                  with SimConfig::listFreeBlocks (type 9, name "Libero").
//   'F' 0x00       "002 Pronto a ricevere": starts a new component.
//   'E' + 259      "001 Blocco ricevuto": appends the bytes to the component.
//   'C' B          writes the component to flash from block B, with progress
//                  reports (body 0x01 'G' text) spaced by the flash's work, then
//                  "004 Programmazione completata". Type, length and name come
//                  from the descriptor at the start of the data
//                  (sim/component_image.h). Partitions overlapping the written
//                  blocks leave the table.
//   'D' B 0x01     erases block B, then "004 Blocco cancellato"; a partition
//                  owning B leaves the table.
//   'J' 0x01       "000 Riavvio": counts a restart; after the answer the
//                  chronometer reboots and is back at its starting speed.
//   'H' text       "000": keeps the text for inspection.
//   0xC0 0x09 ...  link test, answered 0xC0 0x0A "test".
//   0xC0 0x0C i    answered 0xC0 0x0D i, then the chronometer listens at speed
//                  index i once the answer has left. Reprogramming its UART
//                  takes SimConfig::speedSettleMs: bytes arriving meanwhile are
//                  lost.
// Errors: unknown command "099 Comando sconosciuto"; a request that does not
// fit (malformed arguments, block out of range, 'E' without 'F', 'C' without
// data, data larger than its partition) gets a code between 008 and 012 and
// changes nothing.
//
// Protocol violations: the chronometer checks every intact frame the host
// sends against the protocol, one rule per request (conformance.cpp): the
// body header (0x01 0x46 for commands), the command letter, the exact argument
// bytes ('A' 'I' 'B' 'F' with 0x00, 'E' with 259 data bytes, 'C' with a block
// 0..7, 'D' with a block 0..7 and 0x01, 'J' with 0x01, 'H' with a text), the
// link-control frames exactly as the host builds them, and the order: 'E' only
// after 'F', 'C' only after data, and a speed change only right after a link
// test (or as the first frame heard since power-on or a restart: a search
// whose tests all went unheard still ends with a speed change). Each breach is
// answered as above (or not at all) and recorded in violations(). Frames with
// a bad check (noise, a speed mismatch) are no violation, and neither is
// anything a fault rule caused. Refusals of a component's content (008, 012, a
// descriptor that does not fit the flash) are the chronometer's judgement of
// the data, not of the host.
//
// Progress reports of one 'C': an opening report the host ignores, then three
// steps (erase, write, verify), each a total report "CAN  Cancellazione
// settori 0007" (4 KiB sectors the data occupies), remaining-count reports
// "CAN     5" and a done report "CAN  Done". The host takes the total from the
// first step only.
//
// Faults replace the normal reaction to one arrival of a command:
//   Silence             the command is lost: no effect, no answer
//   WrongCode           refused: no effect, answer "009 Comando rifiutato"
//                       ('C': after its progress reports; link control: 0xC0 0x0E)
//   BadCheck            carried out; the first answer frame has a wrong check
//   Garbage             carried out; noise without flags instead of the answer
//   ProgressThenSilence 'C': the opening progress report, then nothing; no write.
//                       Other commands: as Silence.
//   ListingCut          'B': the listing without its "005" line. Others: none.
//   CloseLine           the line drops when the command arrives: nothing more
//                       is sent or heard (lineClosed()).
//   BadFrameFirst       carried out; a copy of the first answer frame with a
//                       wrong check comes first, then the answers as usual
//   NoiseFirst          carried out; noise without flags comes first, then the
//                       answers as usual
// Endless answers, for a host that must not wait for ever. Each stops when the
// next intact frame from the host arrives (the command in it is then handled
// as usual); bytes already on the line still come.
//   EndlessProgress     the command is lost; progress reports follow without
//                       end, one per flash step (realistic: per sector erase),
//                       never an answer. 'C' opens them like a write, with the
//                       opening report and a step's size.
//   EndlessListing      'B': the listing over and over, never its "005" line.
//                       Others: none.
//   Trickle             the command is lost; noise without flags follows, one
//                       byte every SimConfig::trickleMs, never a frame.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_flash.h"
#include "sim/sim_line.h"

namespace zor::sim {

enum class Fault {
    None,
    Silence,
    WrongCode,
    BadCheck,
    Garbage,
    ProgressThenSilence,
    ListingCut,
    CloseLine,
    BadFrameFirst,
    NoiseFirst,
    EndlessProgress,
    EndlessListing,
    Trickle
};

struct FaultRule {
    char command;    // 'A','I','B','F','E','C','D','J','H', 't' = link test, 's' = speed change
    int occurrence;  // 1 = first time this command arrives, 2 = second...; 0 = every time
    Fault fault;
};

// How long the chronometer takes.
enum class SimTiming {
    // Quick answers for tests on a virtual clock: replyDelayMs, flashStepMs,
    // eraseMs and wireTiming as configured.
    Fast,
    // A chronometer's own times (chronometer_answers.cpp lists them with
    // where each comes from): answers after a few ms, flash sectors erased,
    // programmed and verified at a serial NOR flash's pace, block erases, a
    // restart that takes time and a reboot, bytes at the line's rate
    // (wireTiming on).
    // replyDelayMs, flashStepMs, eraseMs and wireTiming are not used.
    Realistic,
};

struct SimConfig {
    std::vector<SimPartition> partitions = defaultPartitions();  // FREE entries are ignored
    uint8_t startSpeed = 0;  // speed index 0/1/2 (19200/38400/57600) the chronometer listens at
    std::vector<FaultRule> faults;
    SimTiming timing = SimTiming::Fast;
    // Fast timing.
    uint32_t replyDelayMs = 2;        // from the end of a request to its first answer frame
    uint32_t flashStepMs = 50;        // 'C': between its progress reports and before its answer
    std::optional<uint32_t> eraseMs;  // 'D': erase time before its answer; unset: flashStepMs
    bool wireTiming = false;          // bytes take 10 bit times each on the line
    // Either timing: this command's first answer frame leaves this many ms
    // after the request ends (its closing flag has reached the chronometer;
    // without wire timing, when the host wrote it, and the whole frame is
    // there at once; with it, each byte arrives a byte time after the one
    // before), instead of the timing's own figure. Refusals and error answers
    // keep the same time. Keys as in FaultRule. For 'C' the first frame is the
    // opening progress report (the later ones keep their gaps after it), for
    // 'B' the listing's first line (the others follow back to back), for 'D'
    // the answer after the erase (the erase time is then included).
    std::map<char, uint32_t> replyDelayByCommand;
    uint32_t speedSettleMs = 100;  // deaf for this long after switching speed
    std::string identification = "007 Cronometro S/N 0412-0087 boot 1.30";
    bool listFreeBlocks = false;
    uint32_t trickleMs = 300;  // Fault::Trickle: one byte this often
    // Endless answers stop after this long (0: never), so that a test ends
    // even against a host that waits for ever.
    uint32_t endlessForMs = 0;
};

class Chronometer {
  public:
    explicit Chronometer(SimConfig config = {});

    // Bytes the host wrote, at the host's current line speed (bit/s), at time nowMs.
    // Bytes sent at a speed other than the chronometer's arrive garbled, as on a real line.
    void receive(const uint8_t* data, size_t size, uint32_t hostBps, uint32_t nowMs);
    // The next byte for the host, if one is due at nowMs; garbled when hostBps differs.
    // A host slower than the chronometer loses bytes (they never become due).
    bool transmit(uint32_t nowMs, uint32_t hostBps, uint8_t& byte);
    // When the next byte will be due (to let a virtual clock jump), or UINT32_MAX when none is
    // queued and no endless answer is running.
    uint32_t nextDueMs() const;
    // Drops queued bytes due at or before nowMs (the host purged its input).
    void discardDue(uint32_t nowMs);
    // Applies a speed switch whose time has come. receive/transmit do this themselves.
    void advanceTo(uint32_t nowMs) { line_.advanceTo(nowMs); }
    bool lineClosed() const { return line_.closed(); }

    // Inspection.
    // The partition table tiling blocks 0..7, free runs as FREE entries.
    std::vector<SimPartition> partitions() const { return flash_.partitions(); }
    // What was last written to a flash block (its share of the component);
    // empty and erased() true after an erase.
    const std::vector<uint8_t>& flashBlock(uint8_t block) const { return flash_.bytes(block); }
    bool erased(uint8_t block) const { return flash_.erased(block); }
    const std::string& display() const { return display_; }
    const std::vector<std::string>& displayHistory() const { return displayHistory_; }
    int restartCount() const { return restarts_; }
    uint8_t speedIndex() const { return line_.speed(); }
    // Command letters of intact frames in arrival order ('t' link test, 's' speed change).
    const std::string& commandsReceived() const { return commands_; }
    int badFrames() const { return line_.badFrames(); }
    // The listing as answer texts, as 'B' would send it now.
    std::vector<std::string> listingLines() const {
        return flash_.listingLines(config_.listFreeBlocks);
    }
    // One line per frame that broke the protocol, in arrival order: when it
    // arrived (ms), its body and what the chronometer expected instead.
    const std::vector<std::string>& violations() const { return violations_; }
    // Called with each violation as it is recorded.
    void setOnViolation(std::function<void(const std::string&)> onViolation) {
        onViolation_ = std::move(onViolation);
    }

    // Called for every frame body heard or sent (sent: at queueing time).
    using Trace = std::function<void(bool fromHost, uint32_t ms, const std::vector<uint8_t>& body)>;
    void setTrace(Trace trace) { trace_ = std::move(trace); }

  private:
    struct Reply {
        uint32_t offsetMs;  // after the first answer's time
        std::vector<uint8_t> body;
    };
    // Where the chronometer listens once its answers have left.
    struct Switch {
        uint8_t speed;
        uint32_t settleMs;  // deaf this long after switching
    };

    // The command engine (chronometer.cpp).
    void onFrame(const std::vector<uint8_t>& body, uint32_t atMs);
    void violation(uint32_t atMs, const std::vector<uint8_t>& body, const std::string& expected);
    Fault faultFor(char letter);
    void command(char letter, const std::vector<uint8_t>& args, Fault fault,
                 std::vector<Reply>& replies);
    void linkControl(char letter, const std::vector<uint8_t>& args, Fault fault,
                     std::vector<Reply>& replies);
    void writeComponent(uint8_t block, Fault fault, std::vector<Reply>& replies);

    // Answers on the line (chronometer_answers.cpp).
    static Reply answer(const std::string& text, uint32_t offsetMs = 0);
    static Reply report(const std::string& text, uint32_t offsetMs = 0);
    // 'C': the first progress report, which the host skips.
    static Reply openingReport(uint8_t block);
    // 'C': the reports of erasing, programming and verifying the flash for
    // bytes of data after the opening report; returns when the answer leaves,
    // in ms after the opening report.
    uint32_t flashSteps(size_t bytes, std::vector<Reply>& replies) const;
    // From the end of a request to its first answer frame.
    uint32_t firstAnswerMs(char letter) const;
    // 'J': deaf this long once the answer has left.
    uint32_t rebootMs() const;
    void queue(const std::vector<Reply>& replies, Fault fault, uint32_t atMs);
    // Starts an endless answer of this fault at atMs.
    void startStream(Fault fault, char letter, const std::vector<uint8_t>& args, uint32_t atMs);
    // Queues the endless answer's items that are due by nowMs.
    void feedStream(uint32_t nowMs);

    SimConfig config_;
    SimLine line_;
    SimFlash flash_;
    std::optional<Switch> switchAfterReply_;

    // The endless answer running (Fault::None when there is none): its next
    // item leaves at streamAtMs_; the first frames come from streamLines_.
    Fault stream_ = Fault::None;
    uint32_t streamStartMs_ = 0;
    uint32_t streamAtMs_ = 0;
    uint32_t streamCount_ = 0;
    std::vector<std::vector<uint8_t>> streamLines_;

    // The component being received ('F', then 'E').
    bool receiving_ = false;
    std::vector<uint8_t> incoming_;

    std::string display_;
    std::vector<std::string> displayHistory_;
    int restarts_ = 0;
    std::string commands_;
    std::map<char, int> arrivals_;
    // The last intact frame heard ('t' a proper link test, '?' anything
    // malformed); 0 since power-on or a restart.
    char lastHeard_ = 0;
    std::vector<std::string> violations_;
    std::function<void(const std::string&)> onViolation_;
    Trace trace_;
};

}  // namespace zor::sim
