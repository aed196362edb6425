#include "sim/conformance.h"

#include <cstdio>

#include "sim/component_image.h"
#include "sim/sim_flash.h"
#include "sim/sim_line.h"

namespace zor::sim {

namespace {

using Kind = Request::Kind;
constexpr int BLOCK = RequestRule::BLOCK;
constexpr int SPEED = RequestRule::SPEED;
constexpr size_t ANY_LENGTH = SIZE_MAX;
const char* const BAD_ARGUMENTS = "010 Parametri non validi";
const char* const BAD_BLOCK = "010 Blocco non valido";

// clang-format off
const std::vector<RequestRule>& rules() {
    static const std::vector<RequestRule> table{
        // kind, letter, arguments min max, leading bytes, the request as it should be,
        // order and what had to come first, the answer to arguments that do not fit.
        {Kind::Command, 'A', 1, 1, {0x00}, "'A' 00", Order::Any, "", BAD_ARGUMENTS},
        {Kind::Command, 'I', 1, 1, {0x00}, "'I' 00", Order::Any, "", BAD_ARGUMENTS},
        {Kind::Command, 'B', 1, 1, {0x00}, "'B' 00", Order::Any, "", BAD_ARGUMENTS},
        {Kind::Command, 'F', 1, 1, {0x00}, "'F' 00", Order::Any, "", BAD_ARGUMENTS},
        {Kind::Command, 'E', SENT_BYTES_PER_BLOCK, SENT_BYTES_PER_BLOCK, {},
         "'E' seguito da 259 byte di dati",
         Order::AfterStart, "'F' 00 prima dei blocchi di dati",
         "010 Blocco dati errato"},
        {Kind::Command, 'C', 1, 1, {BLOCK}, "'C' seguito da un blocco da 0 a 7",
         Order::AfterData, "'F' 00 e almeno un blocco di dati 'E' prima della scrittura",
         BAD_BLOCK},
        {Kind::Command, 'D', 2, 2, {BLOCK, 0x01}, "'D', un blocco da 0 a 7, 01",
         Order::Any, "", BAD_BLOCK},
        {Kind::Command, 'J', 1, 1, {0x01}, "'J' 01", Order::Any, "", BAD_ARGUMENTS},
        {Kind::Command, 'H', 1, ANY_LENGTH, {}, "'H' seguito dal testo da mostrare",
         Order::Any, "", BAD_ARGUMENTS},
        {Kind::LinkControl, 't', 4, 4, {'t', 'e', 's', 't'},
         "il test di linea C0 09 't' 'e' 's' 't'", Order::Any, "", ""},
        // The host changes speed only after a link test at the speed it
        // believes the chronometer's.
        {Kind::LinkControl, 's', 1, 1, {SPEED},
         "il cambio di velocità C0 0C con un indice da 0 a 2",
         Order::AfterLinkTest, "un test di linea subito prima del cambio di velocità", ""},
    };
    return table;
}
// clang-format on

bool inOrder(Order order, const HostSoFar& host) {
    switch (order) {
        case Order::Any:
            return true;
        case Order::AfterStart:
            return host.started;
        case Order::AfterData:
            return host.started && host.hasData;
        case Order::AfterLinkTest:
            return host.lastHeard == 0 || host.lastHeard == 't';
    }
    return true;
}

std::string format(const char* fmt, int a) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

const size_t MAX_SHOWN_BYTES = 16;  // of a violating frame's body

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

}  // namespace

Request classify(const std::vector<uint8_t>& body) {
    if (!body.empty() && body[0] == LINK_CONTROL) {
        const char letter = body.size() < 2       ? '?'
                            : body[1] == LC_SPEED ? 's'
                            : body[1] == LC_TEST  ? 't'
                                                  : '?';
        return {Kind::LinkControl, letter,
                body.size() < 2 ? std::vector<uint8_t>{}
                                : std::vector<uint8_t>(body.begin() + 2, body.end())};
    }
    if (body.size() >= 3 && body[0] == HDR_COMMAND && body[1] == HDR_ANSWER) {
        return {Kind::Command, static_cast<char>(body[2]),
                std::vector<uint8_t>(body.begin() + 3, body.end())};
    }
    return {Kind::Foreign, '?', {}};
}

const RequestRule* ruleFor(Request::Kind kind, char letter) {
    for (const RequestRule& r : rules()) {
        if (r.kind == kind && r.letter == letter) {
            return &r;
        }
    }
    return nullptr;
}

bool argumentsFit(const RequestRule& rule, const std::vector<uint8_t>& args) {
    if (args.size() < rule.minArgs || args.size() > rule.maxArgs) {
        return false;
    }
    for (size_t i = 0; i < rule.lead.size() && i < args.size(); ++i) {
        const int want = rule.lead[i];
        const bool fits = want == BLOCK   ? args[i] < SimFlash::BLOCKS
                          : want == SPEED ? speedBps(args[i]) != 0
                                          : args[i] == want;
        if (!fits) {
            return false;
        }
    }
    return true;
}

std::string breach(const Request& request, const HostSoFar& host) {
    if (request.kind == Kind::Foreign) {
        return "un comando (01 46 lettera ...) o un controllo di linea (C0 ...)";
    }
    const RequestRule* rule = ruleFor(request.kind, request.letter);
    if (rule == nullptr) {
        return request.kind == Kind::LinkControl
                   ? "un test di linea (C0 09) o un cambio di velocità (C0 0C)"
                   : "un comando noto (A I B F E C D J H)";
    }
    if (!argumentsFit(*rule, request.args)) {
        return rule->wanted;
    }
    if (!inOrder(rule->order, host)) {
        return rule->orderWanted;
    }
    return "";
}

std::string violationLine(uint32_t atMs, const std::vector<uint8_t>& body,
                          const std::string& expected) {
    return std::to_string(atMs) + " ms: ricevuto " + hexBody(body) + "; atteso " + expected;
}

}  // namespace zor::sim
