#include "link/conn_check.h"

#include <climits>

#include "app/encoding.h"
#include "app/split_version.h"

namespace zor {

using namespace proto;

namespace {

void logLine(const LogWriter& log, const std::string& line) {
    if (log)
        log(line);
}

bool replyStartsWith(const SerialLink& link, uint8_t first, uint8_t second) {
    return link.rxCount() >= 2 && link.rxBody()[0] == first && link.rxBody()[1] == second;
}

// The number after the first occurrence of key; 0 when the line lacks the key
// (the chronometer always sends it).
long numberAfter(const std::string& line, const char* key) {
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return 0;
    return readNumber(line, at + std::char_traits<char>::length(key));
}

}  // namespace

long readNumber(const std::string& text, size_t from) {
    size_t i = from;
    auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < LONG_MAX / 10 - 10)
            value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

void ListingParser::feed(const std::string& line) {
    switch (state_) {
        case 0:
            if (line.find("Flash image") != std::string::npos) {
                firstBlock_ = static_cast<uint8_t>(numberAfter(line, "block"));
                state_ = 1;
            }
            break;
        case 1:
            type_ = static_cast<uint8_t>(static_cast<uint8_t>(numberAfter(line, "ID:")) >> 4);
            state_ = 2;
            break;
        case 2: {
            // "... (NAME)": the closing parenthesis is the line's last character.
            const size_t at = line.find(" (");
            name_.clear();
            if (at != std::string::npos && at + 2 < line.size()) {
                name_ = line.substr(at + 2, line.size() - at - 3);
            }
            state_ = 3;
            break;
        }
        case 3:
            length_ = static_cast<uint8_t>(numberAfter(line, " ("));
            state_ = 4;
            break;
        default:
            addPartition(table_, type_, firstBlock_, name_, nullptr, 0, length_);
            state_ = 0;
            break;
    }
}

bool RsTestLink(SerialLink& link) {
    link.RsPurge();
    const uint8_t request[] = {LINK_CONTROL, LC_TEST, 't', 'e', 's', 't'};
    link.RsSendFrame(request, sizeof request);
    link.RsLimitAnswer(LINK_CONTROL_LIMIT);
    return link.RsReceiveFrame(LINK_TEST_TIMEOUT_MS) &&
           replyStartsWith(link, LINK_CONTROL, LC_TEST_REPLY);
}

void RsFindSpeed(SerialLink& link) {
    for (uint8_t speed = 0; speed < SPEED_COUNT; ++speed) {
        if (!link.RsSetSpeed(speed))
            break;
        if (RsTestLink(link))
            return;
        link.clock().sleepMs(SPEED_RETRY_PAUSE_MS);
        link.RsPurge();
    }
    link.RsSetSpeed(SPEED_NORMAL);
}

bool RsChangeSpeed(SerialLink& link, uint8_t speedIndex) {
    if (!RsTestLink(link))
        RsFindSpeed(link);
    const uint8_t request[] = {LINK_CONTROL, LC_SPEED, speedIndex};
    link.RsSendFrame(request, sizeof request);
    link.RsLimitAnswer(LINK_CONTROL_LIMIT);
    if (!link.RsReceiveFrame(SPEED_CHANGE_TIMEOUT_MS) ||
        !replyStartsWith(link, LINK_CONTROL, LC_SPEED_REPLY)) {
        return false;
    }
    // The chronometer answers at the old speed and then reprograms its UART;
    // bytes sent meanwhile would be lost.
    link.clock().sleepMs(SPEED_SETTLE_MS);
    link.RsPurge();
    return link.RsSetSpeed(speedIndex);
}

bool RsReadListing(SerialLink& link, PartitionTable& table, const LogWriter& log) {
    resetTable(table);
    logLine(log, "BEGIN RsGetInfo:");
    link.setLastAnswer(NO_ANSWER_TEXT);
    const CommandInfo& listing = command(Cmd::Listing);
    const uint8_t request[] = {listing.letter, 0x00};
    link.RsSendCommand(request, sizeof request);
    // A listing that never ends, or that trickles, fails like one cut short.
    link.RsLimitAnswer(limit(Cmd::Listing));

    ListingParser parser(table);
    bool result = false;
    for (;;) {
        std::string text;
        if (!link.RsReceiveAnswer(listing.timeoutMs, text))
            break;
        const std::string line = trimControls(text);
        logLine(log, "\t" + logSafeText(line));
        parser.feed(line);
        if (line.compare(0, 3, LISTING_END) == 0) {
            result = true;
            break;
        }
    }
    logLine(log, "END /* RsGetInfo */");
    return result;
}

bool RsIdentify(SerialLink& link, int& code) {
    const CommandInfo& attention = command(Cmd::Attention);
    const CommandInfo& identify = command(Cmd::Identify);
    code =
        link.RsCommand(std::string{static_cast<char>(attention.letter), '\0'}, attention.timeoutMs);
    if (code != attention.successCode)
        return false;
    code =
        link.RsCommand(std::string{static_cast<char>(identify.letter), '\0'}, identify.timeoutMs);
    return code == identify.successCode;
}

Outcome ConnCheck(SerialLink& link, PartitionTable& table, bool highSpeed, const LogWriter& log,
                  CheckReport* report) {
    CheckReport unused;
    CheckReport& r = report ? *report : unused;
    r = CheckReport();
    logLine(log, "BEGIN ConnCheck");
    if (!link.RsIsOpen())
        return Outcome::listingIncomplete();
    const bool speedOk = RsChangeSpeed(link, highSpeed ? SPEED_HIGH : SPEED_NORMAL);
    r.speedAgreed = speedOk;
    logLine(log, std::string("HighSpeed:\t") + (speedOk ? "Yes" : "No"));
    link.RsPurge();

    int code = 0;
    const bool ok = RsIdentify(link, code);
    Outcome outcome =
        code == CODE_NO_ANSWER ? Outcome::noAnswer() : Outcome::wrongAnswer(link.RsLastAnswer());
    if (ok) {
        r.identified = true;
        r.identification = link.RsLastAnswer();
        logLine(log, "S/N:\t" + logSafeText(r.identification));
        r.listingComplete = RsReadListing(link, table, log);
        outcome = r.listingComplete ? Outcome::success() : Outcome::listingIncomplete();
        link.RsDisplay(std::string(DISPLAY_CONNECTED) + (speedOk ? "*" : "") +
                       DISPLAY_CONNECTED_TAIL);
    }
    logLine(log, std::string("Result:\t") + (outcome.ok() ? "Ok" : "Fail"));
    logLine(log, "END /* ConnCheck */");
    return outcome;
}

}  // namespace zor
