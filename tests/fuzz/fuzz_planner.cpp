// The planner on arbitrary chronometer tables and component lists: whatever
// it decides, the planned table stays a valid tiling of the 8 blocks, every
// entry it will write carries its component, and a successful plan has MILO.
#include <string>

#include "flash/planner.h"
#include "fuzz_target.h"
#include "table_checks.h"

using namespace zor;

namespace {

// Texts that match, differ only in build, or only in version.
const char* const kNames[] = {
    "Boot VERS 1.00 BUILD 12",
    "Boot VERS 1.01 BUILD 14",
    "Programma base VERS 2.10 BUILD 35",
    "Lingua VERS 1 BUILD 3",
    "Lingua VERS 1 BUILD 4",
    "Lingua VERS 2 BUILD 1",
    "Dati gara VERS 1.0",
    "",
    "x BUILD 7 VERS 3",
};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t next() { return at < size ? data[at++] : 0; }
};

}  // namespace

std::vector<FuzzInput> fuzzSeeds() {
    // Table: count, then (type, first block, blocks, name); components: (type,
    // posn, blks, name, checked) until the end.
    return {
        {4, 8, 0, 1, 0, 0, 1, 4, 2, 1, 5, 1, 3, /**/ 1, 0, 1, 4, 1},
        {3, 8, 0, 1, 1, 0, 1, 5, 2, 1, 5, 1, 3, /**/ 0, 1, 5, 2, 1, 1, 0, 1, 5, 1},
        {0, /**/ 8, 0, 1, 1, 1, 8, 0, 1, 0, 1, 0, 1, 3, 3, 1},
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    PartitionTable installed;
    resetTable(installed);
    const int partitions = in.next() % 9;
    for (int i = 0; i < partitions; ++i) {
        const uint8_t type = in.next() % 16, first = in.next() % 9, blocks = in.next() % 9;
        addPartition(installed, type, first, kNames[in.next() % kNameCount], nullptr, 0, blocks);
    }
    fuzz::checkTable(installed);

    UpdateTable components;
    std::vector<PlanItem> items;
    for (size_t slot = 0; slot < UPDATE_SLOTS && in.more(); ++slot) {
        Segmento& s = components[slot];
        s.InfoType = in.next();
        s.Posn = in.next();
        s.Blks = in.next();
        std::string text = kNames[in.next() % kNameCount];
        text.resize(VERSION_SIZE, ' ');
        std::copy(text.begin(), text.end(), s.Version.begin());
        s.datiSize = 1;
        items.push_back({static_cast<int>(slot), &s, (in.next() & 1) != 0});
    }

    PartitionTable planned;
    std::string log;
    auto verdict = static_cast<PlanVerdict>(-1);  // the planner always sets it
    const bool ok = SistemaBlocchi(items, installed, planned, verdict,
                                   [&log](const std::string& line) { log += line; });
    fuzz::checkTable(planned);
    FUZZ_CHECK(verdict == PlanVerdict::Unchanged || verdict == PlanVerdict::Complete ||
               verdict == PlanVerdict::Partial || verdict == PlanVerdict::NoMilo);
    FUZZ_CHECK((verdict == PlanVerdict::NoMilo) ==
               (log.find("\tMissing MILO!!!") != std::string::npos));
    bool milo = false;
    for (int i = 0; i < planned.count; ++i) {
        const PartitionEntry& e = planned.entries[i];
        milo = milo || e.type == PT_MILO;
        if (e.changed && e.type != PT_FREE)
            FUZZ_CHECK(e.component != nullptr);
    }
    FUZZ_CHECK(!ok || milo);
    FUZZ_CHECK(ok == (log.find("END /* SistemaBlocchi */") != std::string::npos));
    return 0;
}
