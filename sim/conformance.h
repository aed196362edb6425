#pragma once
// What a real chronometer accepts from the program: every intact frame the
// host sends is checked against one rule per request, held as data in
// conformance.cpp: the body header (0x01 0x46 for commands), the command
// letter, the exact argument bytes, the link-control frames exactly as the
// host builds them, and the order ('E' only after 'F', 'C' only after data, a
// speed change only right after a link test or as the first frame heard since
// power-on or a restart).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::sim {

// The bytes that open a frame's body.
constexpr uint8_t HDR_COMMAND = 0x01;  // then HDR_ANSWER and the letter (commands and answers)
constexpr uint8_t HDR_ANSWER = 0x46;
constexpr uint8_t HDR_PROGRESS = 0x47;  // in place of HDR_ANSWER: a progress report
constexpr uint8_t LINK_CONTROL = 0xC0;  // then one of the codes below
constexpr uint8_t LC_TEST = 0x09;
constexpr uint8_t LC_TEST_REPLY = 0x0A;
constexpr uint8_t LC_SPEED = 0x0C;
constexpr uint8_t LC_SPEED_REPLY = 0x0D;
constexpr uint8_t LC_REFUSED = 0x0E;

// An intact frame from the host, as the chronometer sorts it.
struct Request {
    enum class Kind {
        Foreign,      // not addressed to the update loader
        Command,      // 01 46 letter arguments...
        LinkControl,  // C0 code arguments...
    };
    Kind kind;
    // The command letter; for link control 't' a test, 's' a speed change,
    // '?' anything else (as the keys of FaultRule).
    char letter;
    std::vector<uint8_t> args;  // after the letter, or after the link-control code
};
Request classify(const std::vector<uint8_t>& body);

// The order a request may come in.
enum class Order {
    Any,
    AfterStart,     // a component has been started ('F')
    AfterData,      // a component has been started and has data ('E')
    AfterLinkTest,  // right after a link test, or first since power-on or a restart
};

// One request the chronometer knows and what it accepts of it.
struct RequestRule {
    Request::Kind kind;
    char letter;
    size_t minArgs;
    size_t maxArgs;
    // Leading argument bytes: a value, or BLOCK (a flash block 0..7), or SPEED
    // (a speed index 0..2). Later bytes are free.
    static constexpr int BLOCK = -1;
    static constexpr int SPEED = -2;
    std::vector<int> lead;
    const char* wanted;  // the request as the protocol builds it
    Order order;
    const char* orderWanted;   // what had to come first
    const char* badArguments;  // a command's answer to arguments that do not fit
};

// The rule for a request; nullptr for one the chronometer does not know.
const RequestRule* ruleFor(Request::Kind kind, char letter);
bool argumentsFit(const RequestRule& rule, const std::vector<uint8_t>& args);

// What the host has done so far, as far as the order of requests goes.
struct HostSoFar {
    bool started;    // 'F' accepted, no write or restart since
    bool hasData;    // data blocks received for the started component
    char lastHeard;  // the last intact frame's letter, '?' when it broke a rule; 0: none yet
};

// What the protocol wants instead of this request; empty when it fits.
std::string breach(const Request& request, const HostSoFar& host);

// The line violations() keeps: when the frame arrived, its body (cut after 16
// bytes, with the full length) and what the chronometer expected instead.
std::string violationLine(uint32_t atMs, const std::vector<uint8_t>& body,
                          const std::string& expected);

}  // namespace zor::sim
