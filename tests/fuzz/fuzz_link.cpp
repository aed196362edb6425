// The host's side of the serial link fed arbitrary bytes from the
// chronometer: frames, answers, listings and write-progress reports. Nothing
// may overrun a buffer or hang, answers stay within their limits, listings
// give valid tables and a transfer ends with one of its outcome codes, its
// progress within 0..100 outside the program write.
#include <string>

#include "fuzz_target.h"
#include "link/conn_check.h"
#include "link/downloader.h"
#include "link/fake_port.h"
#include "table_checks.h"

using namespace zor;
using test::Bytes;

std::vector<FuzzInput> fuzzSeeds() {
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Bytes listing = cat({
        test::answer("006 Flash image 1: block 0"),
        test::answer("006 ID: 128"),
        test::answer("006 Nome (Boot VERS 1 BUILD 1)"),
        test::answer("006 Lunghezza (1 blocchi)"),
        test::answer("006 Stato"),
        test::answer("005 Fine"),
    });
    const Bytes write = cat({
        test::report("CAN  Cancellazione 0007"),
        test::report("CAN     5"),
        test::report("CAN  Done"),
        test::report("SCR     2"),
        test::answer("004 Ok"),
    });
    // A count before any size, more left than announced: odd percents.
    const Bytes oddWrite = cat({
        test::report("CAN     5"),
        test::report("CAN  Done"),
        test::report("CAN  Cancellazione 0003"),
        test::report("CAN     9"),
        test::answer("004 Ok"),
    });
    // Scenario 0: one command; 1: a listing; 2: a whole transfer.
    Bytes command{0}, info{1};
    command.insert(command.end(), write.begin(), write.end());
    info.insert(info.end(), listing.begin(), listing.end());
    // Listing; display, 'F', two 'E', 'C' with its reports; seven 'D'; display, 'J'.
    auto transfer = [&](const Bytes& reports) {
        Bytes all = cat({{2},
                         listing,
                         test::answer("000"),
                         test::answer("002"),
                         test::answer("001"),
                         test::answer("001"),
                         reports});
        for (int block = 1; block < FLASH_BLOCKS; ++block)
            all = cat({all, test::answer("004")});
        return cat({all, test::answer("000"), test::answer("000")});
    };
    return {command, info, transfer(write), transfer(oddWrite)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    VirtualClock clock;
    test::ScriptedDevices devices(clock);
    SerialLink link(devices, clock);
    FUZZ_CHECK(link.RsOpen("COM1"));
    devices.port->queue(Bytes(data + 1, data + size));

    switch (data[0] % 3) {
        case 0: {
            const int code = link.RsCommand(std::string("A\0", 2), 1000);
            FUZZ_CHECK(code >= -2 && code <= 999);
            FUZZ_CHECK(link.RsLastAnswer().size() <= proto::MAX_ANSWER_TEXT);
            FUZZ_CHECK(link.rxCount() <= proto::RX_BUFFER_SIZE);
            break;
        }
        case 1: {
            PartitionTable table;
            RsReadListing(link, table, [](const std::string&) {});
            fuzz::checkTable(table);
            break;
        }
        default: {
            // A program of two data blocks at block 0, then an erase of 1..7.
            Segmento component;
            component.datiSize = 2;
            component.dati.assign(2 * BLOCK_SIZE, 0x5A);
            PartitionTable plan;
            resetTable(plan);
            FUZZ_CHECK(addPartition(plan, PT_MILO, 0, "Boot", &component, 1, 1));
            plan.entries[1].changed = 1;
            int lastPhase = 0;
            TDownloader worker(
                link, plan,
                [&](int phase, int count, int percent) {
                    // The program write (phase 1) passes odd reports' percents
                    // on as computed (fuzz_write_reports checks those).
                    FUZZ_CHECK(phase == 1 || (percent >= 0 && percent <= 100));
                    FUZZ_CHECK(phase >= lastPhase && phase <= count);
                    lastPhase = phase;
                },
                nullptr, nullptr);
            const int code = worker.run();
            FUZZ_CHECK(code == 0 || (code >= 101 && code <= 108 && code != 105 && code != 107));
            break;
        }
    }
    return 0;
}
