// The simulated chronometer as the host sees it on the wire.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "sim/chronometer.h"
#include "sim/component_image.h"
#include "sim_wire.h"

namespace zor::sim {
namespace {

using test::Bytes;
using test::Heard;
using test::Wire;

const Bytes LINK_TEST{0xC0, 0x09, 't', 'e', 's', 't'};

TEST(ChronometerSpeedTest, AnswersOnlyAtItsOwnSpeed) {
    const uint32_t speeds[] = {19200, 38400, 57600};
    for (uint8_t mine = 0; mine < 3; ++mine) {
        for (uint32_t host : speeds) {
            SimConfig cfg;
            cfg.startSpeed = mine;
            Chronometer c(cfg);
            Wire w{c};
            w.bps = host;
            w.send(LINK_TEST);
            Heard h = w.listen(500);
            if (host == speedBps(mine)) {
                ASSERT_EQ(h.frames.size(), 1u) << host;
                EXPECT_EQ(h.frames[0], (Bytes{0xC0, 0x0A, 't', 'e', 's', 't'}));
                EXPECT_EQ(c.commandsReceived(), "t");
            } else {
                // The request never forms a frame at the chronometer's end.
                EXPECT_TRUE(h.frames.empty()) << int(mine) << " " << host;
                EXPECT_EQ(c.commandsReceived(), "");
            }
        }
    }
}

TEST(ChronometerSpeedTest, MismatchedReplyArrivesAsGarbageWithoutFlags) {
    Chronometer c;
    Wire w{c};
    w.command('I');
    w.bps = 38400;  // the host changed speed before the answer left
    Heard h = w.listen(500);
    EXPECT_TRUE(h.frames.empty());
    EXPECT_EQ(h.bad, 0);
    EXPECT_GT(h.bytes, 0u);
    w.bps = 19200;
    w.command('I');
    w.bps = 57600;  // faster than the chronometer: one garbled byte per byte sent
    Heard slow = w.listen(500);
    EXPECT_TRUE(slow.frames.empty());
    EXPECT_GT(slow.bytes, 0u);
}

TEST(ChronometerSpeedTest, SpeedChangeAfterTheReplyAndBackAtRestart) {
    Chronometer c;
    Wire w{c};
    w.send({0xC0, 0x0C, 0x02});
    Heard h = w.listen(5);
    ASSERT_EQ(h.frames.size(), 1u);
    EXPECT_EQ(h.frames[0], (Bytes{0xC0, 0x0D, 0x02}));
    EXPECT_EQ(c.speedIndex(), 2);

    // Deaf while its UART settles (100 ms from the switch), then listening.
    w.bps = 57600;
    w.send(LINK_TEST);
    EXPECT_TRUE(w.listen(500).frames.empty());
    w.bps = 19200;
    w.send(LINK_TEST);
    EXPECT_TRUE(w.listen(500).frames.empty());
    w.bps = 57600;
    w.send(LINK_TEST);
    EXPECT_EQ(w.listen(500).frames.size(), 1u);

    w.command('J', {0x01});
    EXPECT_EQ(w.listen(1000).answers(), std::vector<std::string>{"000 Riavvio"});
    EXPECT_EQ(c.restartCount(), 1);
    EXPECT_EQ(c.speedIndex(), 0);

    w.send({0xC0, 0x0C, 0x05});  // no such speed: refused, at the power-on speed
    w.bps = 19200;
    w.send({0xC0, 0x0C, 0x05});
    Heard refused = w.listen(500);
    ASSERT_EQ(refused.frames.size(), 1u);
    EXPECT_EQ(refused.frames[0][1], 0x0E);
}

// One line per partition, to compare tables in a single expectation.
std::string dump(const std::vector<SimPartition>& parts) {
    std::string out;
    for (const SimPartition& p : parts) {
        out += std::to_string(p.type) + ":" + std::to_string(p.firstBlock) + "+" +
               std::to_string(p.blockCount) + ":" + p.name + "\n";
    }
    return out;
}

// The host reads the listing in groups of five lines after a line containing
// "Flash image" until a line starting "005" (its own parser runs against the
// simulator in host_sim_test.cpp).
TEST(ChronometerListingTest, FiveLineGroupsEndedBy005) {
    for (bool listFree : {false, true}) {
        SimConfig cfg;
        cfg.listFreeBlocks = listFree;
        Chronometer c(cfg);
        Wire w{c};
        w.command('B');
        std::vector<std::string> lines = w.listen().answers();
        const size_t groups = listFree ? 6 : 4;
        ASSERT_EQ(lines.size(), 2 + 5 * groups);
        for (size_t g = 0; g < groups; ++g) {
            EXPECT_NE(lines[1 + 5 * g].find("Flash image"), std::string::npos) << lines[1 + 5 * g];
        }
        EXPECT_EQ(lines[1 + 5 * 3 + 2],
                  listFree ? "006 Nome (Libero)" : "006 Nome (Tabelle gare VERS 1.0 BUILD 2)");
        EXPECT_EQ(lines.back().substr(0, 3), "005");
    }
}

TEST(ChronometerListingTest, ConfiguredTableIsTiledAndTrimmed) {
    SimConfig cfg;
    cfg.partitions = {{8, 0, 1, "Boot"},
                      {0, 0, 2, "overlaps boot"},
                      {1, 7, 2, "beyond 7"},
                      {0, 2, 0, "empty"},
                      {14, 3, 2, "other"}};
    Chronometer c(cfg);
    EXPECT_EQ(dump(c.partitions()), "8:0+1:Boot\n9:1+2:\n14:3+2:other\n9:5+3:\n");
}

// Sends a whole component as the host does: 'F', one 'E' per data block
// carrying bytes 1..259, then 'C' with the first block.
Heard sendComponent(Wire& w, const std::vector<uint8_t>& blocks, uint8_t firstBlock,
                    std::vector<uint8_t>* sent = nullptr) {
    w.command('F');
    EXPECT_EQ(w.listen(2000).answers(), std::vector<std::string>{"002 Pronto a ricevere"});
    for (size_t off = 0; off < blocks.size(); off += 260) {
        Bytes args(blocks.begin() + off + 1, blocks.begin() + off + 260);
        if (sent) {
            sent->insert(sent->end(), args.begin(), args.end());
        }
        w.command('E', args);
        EXPECT_EQ(w.listen(500).answers(), std::vector<std::string>{"001 Blocco ricevuto"});
    }
    w.command('C', {firstBlock});
    return w.listen(60000);
}

TEST(ChronometerFlashTest, WriteThenEraseChangesFlashAndTable) {
    Chronometer c;
    Wire w{c};
    ComponentDescriptor d{0, 2, "Programma nuovo VERS 3.0 BUILD 1"};
    std::vector<uint8_t> sent;
    Heard h = sendComponent(w, componentBlocks(d, 300, 7), 1, &sent);

    EXPECT_EQ(h.answers(), std::vector<std::string>{"004 Programmazione completata"});
    EXPECT_EQ(h.frames.back()[1], 0x46) << "the final answer comes last";
    // The old PGM over blocks 1..3 is gone; its third block is free now.
    EXPECT_EQ(dump(c.partitions()),
              "8:0+1:Boot VERS 1.00 BUILD 12\n0:1+2:Programma nuovo VERS 3.0 BUILD 1\n9:3+1:\n"
              "1:4+1:Lingua italiano VERS 1.2 BUILD 4\n9:5+1:\n1:6+1:Tabelle gare VERS 1.0 "
              "BUILD 2\n9:7+1:\n");
    EXPECT_EQ(c.flashBlock(1), Bytes(sent.begin(), sent.begin() + FLASH_BLOCK_BYTES));
    EXPECT_EQ(c.flashBlock(2), Bytes(sent.begin() + FLASH_BLOCK_BYTES, sent.end()));

    w.command('D', {6, 0x01});
    EXPECT_EQ(w.listen(6000).answers(), std::vector<std::string>{"004 Blocco cancellato"});
    EXPECT_TRUE(c.erased(6));
    EXPECT_TRUE(c.flashBlock(6).empty());
    EXPECT_FALSE(c.erased(1));
    EXPECT_EQ(dump(c.partitions()).substr(dump(c.partitions()).rfind("9:")), "9:5+3:\n");
    EXPECT_EQ(c.commandsReceived().substr(0, 2), "FE");
    EXPECT_EQ(c.commandsReceived().back(), 'D');
}

// The reports must drive every branch of the host's progress parser: skipped
// texts, total reports, remaining counts and step-done reports.
TEST(ChronometerFlashTest, ProgressReportsCoverTheHostsParser) {
    Chronometer c;
    Wire w{c};
    Heard h = sendComponent(w, componentBlocks({1, 1, "Lingua VERS 1 BUILD 1"}, 100, 1), 5);
    int skipped = 0, totals = 0, remaining = 0, done = 0, firstTotal = -1;
    for (const std::string& r : h.reports()) {
        if (r.size() < 7 || r[4] != ' ') {
            ++skipped;
        } else if (r[5] == 'D') {
            ++done;
        } else if (std::isalpha(static_cast<unsigned char>(r[6]))) {
            ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(r.back()))) << r;
            if (firstTotal < 0) {
                firstTotal = std::atoi(r.c_str() + r.size() - 4);
            }
            ++totals;
        } else {
            int n = std::atoi(r.c_str() + 3);
            EXPECT_GT(n, 0) << r;
            ++remaining;
        }
    }
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(totals, 3);
    EXPECT_EQ(done, 3);
    EXPECT_GT(remaining, 3);
    EXPECT_EQ(firstTotal, 7);  // 25900 bytes fill seven 4 KiB sectors
}

TEST(ChronometerFlashTest, RefusedRequestsChangeNothing) {
    Chronometer c;
    Wire w{c};
    const auto before = c.partitions();
    w.command('E', Bytes(259, 0x11));
    EXPECT_EQ(w.listen().answers()[0].substr(0, 3), "011");
    w.command('C', {2});
    EXPECT_EQ(w.listen().answers()[0].substr(0, 3), "011");
    Heard h = sendComponent(w, componentBlocks({0, 3, "Troppo in alto"}, 2, 1), 6);
    EXPECT_EQ(h.answers()[0].substr(0, 3), "010");
    w.command('D', {8, 0x01});
    EXPECT_EQ(w.listen().answers()[0].substr(0, 3), "010");
    w.command('Z');
    EXPECT_EQ(w.listen().answers()[0].substr(0, 3), "099");
    EXPECT_EQ(dump(c.partitions()), dump(before));
}

TEST(ChronometerFlashTest, DataWithoutDescriptorIsStoredAsUnnamedProgram) {
    Chronometer c;
    Wire w{c};
    std::vector<uint8_t> plain(260 * 3, 0x5A);
    Heard h = sendComponent(w, plain, 5);
    EXPECT_EQ(h.answers(), std::vector<std::string>{"004 Programmazione completata"});
    EXPECT_NE(dump(c.partitions()).find("0:5+1:Senza descrittore\n"), std::string::npos);
}

struct FaultCase {
    const char* what;
    FaultRule rule;
    void (*act)(Wire&);
    void (*check)(const Heard&, const Chronometer&);
};

void askA(Wire& w) {
    w.command('A');
}
void askI(Wire& w) {
    w.command('I');
}
void askB(Wire& w) {
    w.command('B');
}
void linkTest(Wire& w) {
    w.send(LINK_TEST);
}
void speedTo1(Wire& w) {
    w.send({0xC0, 0x0C, 0x01});
}
void writeOne(Wire& w) {
    w.command('F');
    const Bytes block = componentBlocks({1, 1, "X"}, 1, 3);
    w.command('E', Bytes(block.begin() + 1, block.end()));
    w.command('C', {5});
}
void erase6(Wire& w) {
    w.command('D', {6, 0x01});
}

bool tableUntouched(const Chronometer& c) {
    return dump(c.partitions()) == dump(Chronometer().partitions());
}

TEST(ChronometerFaultTest, EachFaultIsVisibleOnTheWire) {
    const FaultCase cases[] = {
        {"silence",
         {'A', 1, Fault::Silence},
         askA,
         [](const Heard& h, const Chronometer&) { EXPECT_EQ(h.bytes, 0u); }},
        {"wrong code",
         {'A', 0, Fault::WrongCode},
         askA,
         [](const Heard& h, const Chronometer&) {
             EXPECT_EQ(h.answers(), std::vector<std::string>{"009 Comando rifiutato"});
         }},
        {"bad check",
         {'I', 1, Fault::BadCheck},
         askI,
         [](const Heard& h, const Chronometer&) {
             EXPECT_TRUE(h.frames.empty());
             EXPECT_EQ(h.bad, 1);
         }},
        {"garbage",
         {'A', 1, Fault::Garbage},
         askA,
         [](const Heard& h, const Chronometer&) {
             EXPECT_TRUE(h.frames.empty());
             EXPECT_EQ(h.bad, 0);
             EXPECT_GE(h.bytes, 8u);
         }},
        {"listing cut",
         {'B', 1, Fault::ListingCut},
         askB,
         [](const Heard& h, const Chronometer&) {
             auto a = h.answers();
             EXPECT_EQ(a.size(), 21u);
             EXPECT_NE(a.back().substr(0, 3), "005");
         }},
        {"listing refused",
         {'B', 1, Fault::WrongCode},
         askB,
         [](const Heard& h, const Chronometer&) {
             EXPECT_EQ(h.answers(), std::vector<std::string>{"009 Comando rifiutato"});
         }},
        {"progress then silence",
         {'C', 1, Fault::ProgressThenSilence},
         writeOne,
         [](const Heard& h, const Chronometer& c) {
             EXPECT_EQ(h.reports().size(), 1u);
             EXPECT_EQ(h.answers().size(), 2u);  // 'F' and 'E' only
             EXPECT_TRUE(tableUntouched(c));
         }},
        {"write fails",
         {'C', 1, Fault::WrongCode},
         writeOne,
         [](const Heard& h, const Chronometer& c) {
             EXPECT_EQ(h.answers().back(), "009 Errore di scrittura");
             EXPECT_GT(h.reports().size(), 5u);
             EXPECT_TRUE(tableUntouched(c));
         }},
        {"erase refused",
         {'D', 1, Fault::WrongCode},
         erase6,
         [](const Heard& h, const Chronometer& c) {
             EXPECT_EQ(h.answers(), std::vector<std::string>{"009 Comando rifiutato"});
             EXPECT_FALSE(c.erased(6));
         }},
        {"close line",
         {'F', 1, Fault::CloseLine},
         writeOne,
         [](const Heard& h, const Chronometer& c) {
             EXPECT_EQ(h.bytes, 0u);
             EXPECT_TRUE(c.lineClosed());
             EXPECT_EQ(c.commandsReceived(), "F");
         }},
        {"link test refused",
         {'t', 1, Fault::WrongCode},
         linkTest,
         [](const Heard& h, const Chronometer&) {
             ASSERT_EQ(h.frames.size(), 1u);
             EXPECT_EQ(h.frames[0][1], 0x0E);
         }},
        {"speed change lost",
         {'s', 1, Fault::Silence},
         speedTo1,
         [](const Heard& h, const Chronometer& c) {
             EXPECT_EQ(h.bytes, 0u);
             EXPECT_EQ(c.speedIndex(), 0);
         }},
    };
    for (const FaultCase& fc : cases) {
        SimConfig cfg;
        cfg.faults = {fc.rule};
        Chronometer c(cfg);
        Wire w{c};
        fc.act(w);
        Heard h = w.listen(20000);
        SCOPED_TRACE(fc.what);
        fc.check(h, c);
    }
}

TEST(ChronometerFaultTest, OccurrenceCountsArrivalsOfThatCommand) {
    SimConfig cfg;
    cfg.faults = {{'A', 2, Fault::Silence}};
    Chronometer c(cfg);
    Wire w{c};
    std::vector<size_t> answers;
    for (int i = 0; i < 3; ++i) {
        w.command('I');
        w.command('A');
        answers.push_back(w.listen(1000).answers().size());
    }
    EXPECT_EQ(answers, (std::vector<size_t>{2, 1, 2}));
}

TEST(ChronometerTimingTest, WireTimingPacesTheReply) {
    SimConfig cfg;
    cfg.wireTiming = true;
    cfg.replyDelayMs = 2;
    Chronometer c(cfg);
    Wire w{c};
    w.now = 1000;
    w.send(LINK_TEST);  // 10 bytes at 19200: 6 ms on the line
    // The reply's first byte needs another byte time after the delay.
    EXPECT_EQ(c.nextDueMs(), 1000u + 6 + 2 + 1);
    Heard h = w.listen(500);
    ASSERT_EQ(h.frames.size(), 1u);
    EXPECT_EQ(w.now, 1500u);
}

}  // namespace
}  // namespace zor::sim
