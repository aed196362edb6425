// The write progress reports on arbitrary texts ('\n' separated): no report
// may overflow the arithmetic (UBSan) or divide by zero; counts stay cut;
// a step closes one at a time; the percent moves only on a count; and for
// reports a chronometer can send (a positive size, counts within it, at most
// three steps) it lies in 50..100 and never goes back within a step.
#include <string>

#include "fuzz_target.h"
#include "link/downloader.h"

using namespace zor;

std::vector<FuzzInput> fuzzSeeds() {
    return {
        fuzz::joinInput({"Blocco 2: avvio scrittura", "CAN  Cancellazione settori 0007",
                         "CAN     5", "CAN     3", "CAN     1", "CAN  Done",
                         "SCR  Scrittura settori 0007", "SCR     5", "SCR     1", "SCR  Done",
                         "VER  Verifica settori 0007", "VER     3", "VER  Done"}),
        fuzz::joinInput({"CAN     0", "CAN  Done", "CAN  Cancella 0016", "CAN     8",
                         "CAN  -99999999999999999999", "CAN  99999999999999999999",
                         "CAN  Cancella -001", "CAN  Cancella 0000", "CAN    +7"}),
        fuzz::joinInput({"X", "XXXX ", "XXXX D", "XXXX 1", "XXXX  a12", "XXXX  ab", "    "}),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr int64_t LIMIT = 1000000;
    WriteReports reports;
    bool plausibleStep = false;
    int64_t lastRemaining = 0;
    for (const std::string& text : fuzz::splitInput(data, size)) {
        const WriteReports before = reports;
        const bool count = reports.feed(text);

        FUZZ_CHECK(reports.doneSteps() == before.doneSteps() ||
                   (!count && reports.doneSteps() == before.doneSteps() + 1));
        FUZZ_CHECK(reports.total() >= -LIMIT && reports.total() <= LIMIT);
        FUZZ_CHECK(reports.remaining() >= -LIMIT && reports.remaining() <= LIMIT);
        if (!count) {
            FUZZ_CHECK(reports.percent() == before.percent());
            FUZZ_CHECK(reports.remaining() == before.remaining());
            if (reports.doneSteps() != before.doneSteps() || reports.total() != before.total())
                plausibleStep = false;
            continue;
        }
        FUZZ_CHECK(reports.total() != 0);
        const bool plausible = reports.total() > 0 && reports.remaining() >= 0 &&
                               reports.remaining() <= reports.total() && reports.doneSteps() <= 2;
        if (plausible) {
            FUZZ_CHECK(reports.percent() >= 50 && reports.percent() <= 100);
            if (plausibleStep && reports.total() == before.total() &&
                reports.remaining() <= lastRemaining)
                FUZZ_CHECK(reports.percent() >= before.percent());
        }
        plausibleStep = plausible;
        lastRemaining = reports.remaining();
    }
    return 0;
}
