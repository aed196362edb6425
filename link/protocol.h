#pragma once
// Facts of the chronometer's update protocol: frame bytes, command letters,
// answer codes, time-outs and the texts the program sends or keeps.
#include <cstddef>
#include <cstdint>

namespace zor::proto {

// Wire format.
constexpr uint8_t FLAG = 0x7E;
constexpr uint8_t ESCAPE = 0x7D;
constexpr uint8_t ESCAPE_XOR = 0x20;

// Body headers.
constexpr uint8_t HDR_STATION = 0x01;   // first byte of commands, answers, reports
constexpr uint8_t HDR_ANSWER = 0x46;    // 'F': command or final answer
constexpr uint8_t HDR_PROGRESS = 0x47;  // 'G': progress report while a block is written
constexpr uint8_t LINK_CONTROL = 0xC0;

// Link-control sub-codes (request, reply).
constexpr uint8_t LC_TEST = 0x09;
constexpr uint8_t LC_TEST_REPLY = 0x0A;
constexpr uint8_t LC_SPEED = 0x0C;
constexpr uint8_t LC_SPEED_REPLY = 0x0D;

// Buffers: the transmit buffer holds a whole encoded frame, the receive buffer
// a decoded body with its two check bytes.
constexpr size_t TX_BUFFER_SIZE = 3000;
constexpr size_t RX_BUFFER_SIZE = 3000;
// Longest answer text kept; longer ones are cut here.
constexpr size_t MAX_ANSWER_TEXT = 200;

// Answer codes of RsCommand besides the chronometer's own.
constexpr int CODE_NOT_A_NUMBER = -1;
constexpr int CODE_NO_ANSWER = -2;

// Line speeds by speed index.
constexpr uint32_t SPEEDS[] = {19200, 38400, 57600};
constexpr uint8_t SPEED_COUNT = 3;
constexpr uint8_t SPEED_NORMAL = 0;
constexpr uint8_t SPEED_HIGH = 2;

// One row per command: letter, how long to wait (for 'C' and 'B': per frame,
// restarting with every byte) and the code that means success.
enum class Cmd {
    Display,
    Attention,
    Identify,
    Listing,
    ProgramStart,
    DataBlock,
    Write,
    Erase,
    Restart
};
struct CommandInfo {
    uint8_t letter;
    uint32_t timeoutMs;
    int successCode;
};
constexpr CommandInfo COMMANDS[] = {
    {'H', 500, -1},  // Display: code ignored
    {'A', 1000, 0},  // Attention: first contact
    {'I', 500, 7},   // Identify: the answer text is logged
    {'B', 500, 5},   // Listing: one answer per line, the last starts "005"
    {'F', 2000, 2},  // ProgramStart
    {'E', 500, 1},   // DataBlock: 'E' + bytes 1..259 of a data block
    {'C', 6000, 4},  // Write: progress reports, then the final answer
    {'D', 6000, 4},  // Erase one flash block
    {'J', 1000, 0},  // Restart
};
constexpr const CommandInfo& command(Cmd c) {
    return COMMANDS[static_cast<int>(c)];
}

// Limits on a whole answer, counted from the moment its command has been
// sent. The waits above restart with every byte, so a broken or hostile
// device could hold a command for ever: by trickling bytes, by sending
// progress reports or listing lines without end. Past its overall time, or
// once it has taken its frame cap (every accepted frame counts, the ones
// skipped too), the answer is over: the command ends as if the chronometer
// had fallen silent there.
//
// Single answers: four times the wait, and room for three stray frames.
// Listing: eight partitions of five lines, the "005" line and a heading, with
// slack, each line allowed its whole wait. Write: one progress report per
// 4 KiB sector of the whole flash (8 blocks of 16) in each of the three steps,
// each step's size and done reports, the opening report and the final answer
// (3 * (128 + 2) + 2 = 392); ten minutes are ten times what the whole flash
// needs at the slowest times a serial flash is specified for (sector erase
// 400 ms). A chronometer's own times stay far inside all of them.
struct CommandLimit {
    uint32_t overallMs;
    uint32_t maxFrames;
};
constexpr CommandLimit LIMITS[] = {
    {2000, 4},      // Display
    {4000, 4},      // Attention
    {2000, 4},      // Identify
    {32000, 64},    // Listing
    {8000, 4},      // ProgramStart
    {2000, 4},      // DataBlock
    {600000, 400},  // Write
    {24000, 4},     // Erase
    {4000, 4},      // Restart
};
static_assert(sizeof LIMITS / sizeof LIMITS[0] == sizeof COMMANDS / sizeof COMMANDS[0],
              "one limit per command");
constexpr const CommandLimit& limit(Cmd c) {
    return LIMITS[static_cast<int>(c)];
}
// A command letter outside the table: its single answer is limited like the
// table's.
constexpr CommandLimit singleAnswerLimit(uint32_t waitMs) {
    return {4 * waitMs, 4};
}

// Link-control exchanges: one reply frame each.
constexpr uint32_t LINK_TEST_TIMEOUT_MS = 500;
constexpr uint32_t SPEED_CHANGE_TIMEOUT_MS = 500;
// Overall limit of each link-control exchange: its reply is the first frame.
constexpr CommandLimit LINK_CONTROL_LIMIT = {2000, 1};

// Pauses.
constexpr uint32_t SPEED_RETRY_PAUSE_MS = 500;  // after a speed that got no reply
constexpr uint32_t SPEED_SETTLE_MS = 300;       // chronometer switching its UART
constexpr uint32_t RESTART_PAUSE_MS = 500;      // lets the restart text be read
constexpr uint32_t SCAN_MODEM_SETTLE_MS = 50;   // lines to follow DTR/RTS

// Texts.
constexpr const char NO_ANSWER_TEXT[] = "Mancata risposta da parte del cronometro";
constexpr const char LISTING_END[] = "005";
constexpr const char DISPLAY_CONNECTED[] = "\f\r\n        ";
constexpr const char DISPLAY_CONNECTED_TAIL[] = " Connesso al computer...";
constexpr const char DISPLAY_LOADING[] =
    "\fCaricamento in corso:\r\n\r\n   Non spegnere il cronometro fino al\r\n        termine "
    "dell'operazione!";
constexpr const char DISPLAY_RESTART[] = "\f\r\n               Riavvio...";

}  // namespace zor::proto
