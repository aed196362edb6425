// The partition-listing parser on arbitrary lines ('\n' separated): whatever
// the chronometer prints, the table stays a valid tiling of the 8 blocks; it
// changes only on the last line of a five-line record, by adding one entry
// whose name comes from that record's name line, and keeps every entry it
// had. readNumber, which reads the listing's numbers, agrees with strtoll
// wherever that does not overflow.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "fuzz_target.h"
#include "link/conn_check.h"
#include "table_checks.h"

using namespace zor;

namespace {

bool sameEntry(const PartitionEntry& a, const PartitionEntry& b) {
    return a.type == b.type && a.firstBlock == b.firstBlock && a.blockCount == b.blockCount &&
           a.name == b.name;
}

int usedEntries(const PartitionTable& t) {
    int n = 0;
    for (int i = 0; i < t.count; ++i)
        n += t.entries[i].type != PT_FREE;
    return n;
}

// Every used entry of before is still in after.
bool keepsEntries(const PartitionTable& before, const PartitionTable& after) {
    for (int i = 0; i < before.count; ++i) {
        if (before.entries[i].type == PT_FREE)
            continue;
        bool found = false;
        for (int k = 0; k < after.count && !found; ++k)
            found = sameEntry(before.entries[i], after.entries[k]);
        if (!found)
            return false;
    }
    return true;
}

void checkReadNumber(const std::string& line, size_t from) {
    const long got = readNumber(line, from);
    const std::string rest = from < line.size() ? line.substr(from) : std::string();
    const char* s = rest.c_str();
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        ++s;
    while (*s == '0')
        ++s;
    size_t digits = 0;
    while (s[digits] >= '0' && s[digits] <= '9')
        ++digits;
    if (digits <= 18) {
        errno = 0;
        FUZZ_CHECK(got == std::strtoll(rest.c_str(), nullptr, 10) && errno == 0);
    } else {
        // Too long for a long: cut, never wrapped.
        constexpr long FLOOR = 100000000000000000L;
        FUZZ_CHECK(negative ? got <= -FLOOR : got >= FLOOR);
    }
}

}  // namespace

std::vector<FuzzInput> fuzzSeeds() {
    return {
        fuzz::joinInput({"006 Flash image 1: block 0", "006 ID: 128",
                         "006 Nome (Boot VERS 1 BUILD 1)", "006 Lunghezza (1 blocchi)", "006 Stato",
                         "006 Flash image 2: block 1", "006 ID: 0",
                         "006 Nome (Programma base VERS 2.10 BUILD 35)",
                         "006 Lunghezza (3 blocchi)", "006 Stato", "005 Fine"}),
        fuzz::joinInput({"006 Flash image 1: block 5", "006 ID: 16", "006 Nome (Lingua VERS 1)",
                         "006 Lunghezza (3 blocchi)", "006 Stato", "006 Flash image 2: block 3",
                         "006 ID: 144", "006 Nome (Libero)", "006 Lunghezza (2 blocchi)",
                         "006 Stato", "005 Fine"}),
        fuzz::joinInput({"Flash image block -1", "ID: 99999999999999999999", "(", " ( +0008", "",
                         "Flash image block 7", "ID:", "x ()", "(2", "", "005"}),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PartitionTable table;
    resetTable(table);
    ListingParser parser(table);
    std::string nameLine;
    for (const std::string& line : fuzz::splitInput(data, size)) {
        const int state = parser.state();
        if (state == 2)
            nameLine = line;
        const PartitionTable before = table;
        parser.feed(line);

        fuzz::checkTable(table);
        FUZZ_CHECK(parser.state() == (state + 1) % 5 || (state == 0 && parser.state() == 0));
        FUZZ_CHECK(keepsEntries(before, table));
        const int added = usedEntries(table) - usedEntries(before);
        FUZZ_CHECK(added == 0 || (added == 1 && state == 4));
        if (added == 0)
            FUZZ_CHECK(table.count == before.count);
        for (int i = 0; added == 1 && i < table.count; ++i) {
            const PartitionEntry& e = table.entries[i];
            bool old = false;
            for (int k = 0; k < before.count && !old; ++k)
                old = sameEntry(e, before.entries[k]);
            if (e.type != PT_FREE && !old)
                FUZZ_CHECK(nameLine.find(e.name) != std::string::npos);
        }

        checkReadNumber(line, 0);
        checkReadNumber(line, line.size() / 2);
    }
    return 0;
}
