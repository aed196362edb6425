#pragma once
// Speed negotiation, the connection check and the partition listing, all
// built from the frame exchange of SerialLink.
#include <cstdint>
#include <string>

#include "app/outcome.h"
#include "flash/partition_table.h"
#include "link/serial_link.h"

namespace zor {

// Is the chronometer listening at the current speed: purge, link test frame,
// one reply frame starting 0xC0 0x0A within proto::LINK_TEST_TIMEOUT_MS.
bool RsTestLink(SerialLink& link);

// Tries 19200, 38400, 57600 in turn and stays at the first that answers;
// back at 19200 when none does.
void RsFindSpeed(SerialLink& link);

// Asks the chronometer to switch to speedIndex (finding its current speed
// first when needed) and follows it. False when it does not acknowledge; the
// port keeps its present speed then.
bool RsChangeSpeed(SerialLink& link, uint8_t speedIndex);

// Reads the chronometer's partition listing ('B') into table (reset first).
// True when the closing "005" line came; false on a missing line or past
// the listing's limits (proto::LIMITS), with the partitions read so far
// kept. Writes a "BEGIN RsGetInfo:" block to log.
bool RsReadListing(SerialLink& link, PartitionTable& table, const LogWriter& log);

// 'A' and then 'I' at the present speed, as the connection check begins:
// true when both answer with their success codes, the identification then in
// link.RsLastAnswer(). code gets the last answer's code (CODE_NO_ANSWER
// without one).
bool RsIdentify(SerialLink& link, int& code);

// What the connection check learnt on its way, whatever its outcome.
struct CheckReport {
    bool speedAgreed = false;    // the chronometer took the speed asked for
    bool identified = false;     // it answered 'A' and 'I'
    std::string identification;  // its answer to 'I', Windows-1252
    bool listingComplete = false;
};

// The connection check of the check page: speed, 'A', 'I', listing and the
// "Connesso" display text; writes a "BEGIN ConnCheck" block to log. NoAnswer
// or WrongAnswer when the chronometer does not answer 'A' or 'I' as it
// should, ListingIncomplete when its listing breaks off; ListingIncomplete
// too, without a word to the chronometer, when no port is open.
Outcome ConnCheck(SerialLink& link, PartitionTable& table, bool highSpeed, const LogWriter& log,
                  CheckReport* report = nullptr);

// Feeds the listing lines one at a time into a table. Exposed for tests.
class ListingParser {
  public:
    explicit ListingParser(PartitionTable& table) : table_(table) {}
    // line is already trimmed of blanks and control characters.
    void feed(const std::string& line);
    int state() const { return state_; }

  private:
    PartitionTable& table_;
    int state_ = 0;
    uint8_t type_ = 0;
    uint8_t firstBlock_ = 0;
    uint8_t length_ = 0;
    std::string name_;
};

// Decimal number at text[from..] like the chronometer's firmware prints them:
// leading blanks skipped, optional sign, digits to the first non-digit, 0 when
// none. Saturates instead of overflowing.
long readNumber(const std::string& text, size_t from);

}  // namespace zor
