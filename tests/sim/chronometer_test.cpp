// The simulated chronometer as the host sees it on the wire.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "link/protocol.h"
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
    EXPECT_EQ(w.newViolations().size(), 1u);  // heard once, at its own speed
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
    // All but the descriptor that does not fit break the protocol.
    EXPECT_EQ(w.newViolations().size(), 4u);
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

Bytes cmd(char letter, const Bytes& args) {
    Bytes body(args.size() + 3);
    body[0] = 0x01;
    body[1] = 0x46;
    body[2] = static_cast<uint8_t>(letter);
    std::copy(args.begin(), args.end(), body.begin() + 3);
    return body;
}
Bytes answerStart(const std::string& text) {
    Bytes body(text.size() + 2);
    body[0] = 0x01;
    body[1] = 0x46;
    std::copy(text.begin(), text.end(), body.begin() + 2);
    return body;
}
std::string hex(const Bytes& body) {
    std::string out;
    for (uint8_t b : body) {
        char h[4];
        std::snprintf(h, sizeof h, out.empty() ? "%02X" : " %02X", b);
        out += h;
    }
    return out;
}

// Each way of breaking the protocol: the chronometer answers as it would
// (nothing, a refusal, an error code), changes nothing, and records one
// violation naming the time, the frame and what it wanted instead.
TEST(ChronometerProtocolTest, EachBreachIsAnsweredAndRecorded) {
    const Bytes F = cmd('F', {0});
    const Bytes E = cmd('E', Bytes(259, 0x11));
    const struct {
        std::vector<Bytes> before;  // accepted first
        Bytes body;
        Bytes reply;  // start of the only frame that comes back; empty: none
        const char* wanted;
    } cases[] = {
        {{}, cmd('A', {1}), answerStart("010"), "'A' 00"},
        {{}, cmd('I', {}), answerStart("010"), "'I' 00"},
        {{}, cmd('B', {0, 0}), answerStart("010"), "'B' 00"},
        {{}, cmd('F', {}), answerStart("010"), "'F' 00"},
        {{F}, cmd('E', Bytes(258, 0x11)), answerStart("010"), "259 byte"},
        {{}, E, answerStart("011"), "'F' 00 prima dei blocchi"},
        {{F, E}, cmd('C', {8}), answerStart("010"), "blocco da 0 a 7"},
        {{F}, cmd('C', {2}), answerStart("011"), "almeno un blocco"},
        {{}, cmd('D', {3, 0}), answerStart("010"), "'D', un blocco da 0 a 7, 01"},
        {{}, cmd('D', {8, 1}), answerStart("010"), "'D', un blocco da 0 a 7, 01"},
        {{}, cmd('J', {0}), answerStart("010"), "'J' 01"},
        {{}, cmd('H', {}), answerStart("010"), "testo"},
        {{}, cmd('x', {0}), answerStart("099"), "comando noto"},
        {{}, {0x01, 0x47, 'A', 0}, {}, "01 46"},
        {{}, {0x01, 0x46}, {}, "01 46"},
        {{}, {0xC0, 0x09, 't', 'e', 's'}, {}, "C0 09 't' 'e' 's' 't'"},
        {{}, {0xC0, 0x0C, 3}, {0xC0, 0x0E}, "indice da 0 a 2"},
        {{}, {0xC0, 0x0C, 1, 0}, {0xC0, 0x0E}, "indice da 0 a 2"},
        {{}, {0xC0, 0x05}, {}, "C0 0C"},
        {{cmd('A', {0})}, {0xC0, 0x0C, 1}, {0xC0, 0x0D, 1}, "test di linea subito prima"},
        {{LINK_TEST, cmd('I', {0})}, {0xC0, 0x0C, 1}, {0xC0, 0x0D, 1}, "test di linea"},
    };
    for (const auto& k : cases) {
        const Bytes shown(k.body.begin(), k.body.begin() + std::min<size_t>(k.body.size(), 16));
        SCOPED_TRACE(hex(shown));
        Chronometer c;
        Wire w{c};
        for (const Bytes& b : k.before) {
            w.send(b);
            w.listen(500);
        }
        w.now = 1000;
        w.send(k.body);
        Heard h = w.listen(500);
        if (k.reply.empty()) {
            EXPECT_TRUE(h.frames.empty());
        } else {
            ASSERT_EQ(h.frames.size(), 1u);
            EXPECT_EQ(Bytes(h.frames[0].begin(), h.frames[0].begin() + k.reply.size()), k.reply);
        }
        const std::vector<std::string> v = w.newViolations();
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(v[0].rfind("1000 ms: ricevuto " + hex(shown), 0), 0u) << v[0];
        EXPECT_NE(v[0].find(k.wanted), std::string::npos) << v[0];
        EXPECT_EQ(c.restartCount(), 0);
        EXPECT_EQ(dump(c.partitions()), dump(Chronometer().partitions()));
    }
}

// Line noise, a speed mismatch and injected faults are no breach, and neither
// is a speed change that is the first frame heard after a restart (the host's
// tests went unheard while the chronometer rebooted).
TEST(ChronometerProtocolTest, NoiseMismatchFaultsAndARestartAreNoBreach) {
    SimConfig cfg;
    cfg.faults = {{'A', 1, Fault::Silence}, {'t', 1, Fault::WrongCode}};
    Chronometer c(cfg);
    Wire w{c};
    const Bytes damaged = encodeFrame(cmd('Q', {}), true);
    c.receive(damaged.data(), damaged.size(), 19200, 0);
    w.bps = 38400;
    w.command('Q');
    w.bps = 19200;
    w.command('A');
    w.send(LINK_TEST);
    w.send({0xC0, 0x0C, 2});
    w.listen(1000);
    w.bps = 57600;
    w.command('J', {0x01});
    w.listen(1000);
    w.bps = 19200;
    w.send({0xC0, 0x0C, 1});
    EXPECT_EQ(w.listen(1000).frames.size(), 1u);
    // The damaged frame, and the garbled bytes that the next flag closed.
    EXPECT_EQ(c.badFrames(), 2);
    EXPECT_EQ(c.speedIndex(), 1);
    EXPECT_EQ(c.commandsReceived(), "AtsJs");
}

// One request of each kind, what must come before it, and the host's wait
// for its answer. The write is the longest one: 8 blocks.
struct Request {
    char key;  // as in FaultRule
    std::vector<Bytes> before;
    Bytes body;
    uint32_t hostWaitMs;
};
std::vector<Request> everyRequest() {
    using proto::Cmd;
    const auto wait = [](Cmd c) { return proto::command(c).timeoutMs; };
    std::vector<Bytes> data{cmd('F', {0})};
    const Bytes image = componentBlocks({0, 8, "Grande"}, 2000, 1);
    for (size_t off = 0; off < image.size(); off += 260) {
        data.push_back(cmd('E', Bytes(image.begin() + off + 1, image.begin() + off + 260)));
    }
    const Bytes display(proto::DISPLAY_LOADING, std::end(proto::DISPLAY_LOADING) - 1);
    return {
        {'t', {}, LINK_TEST, proto::LINK_TEST_TIMEOUT_MS},
        {'s', {LINK_TEST}, {0xC0, 0x0C, 0}, proto::SPEED_CHANGE_TIMEOUT_MS},
        {'A', {}, cmd('A', {0}), wait(Cmd::Attention)},
        {'I', {}, cmd('I', {0}), wait(Cmd::Identify)},
        {'B', {}, cmd('B', {0}), wait(Cmd::Listing)},
        {'F', {}, data[0], wait(Cmd::ProgramStart)},
        {'E', {data[0]}, data[1], wait(Cmd::DataBlock)},
        {'C', data, cmd('C', {0}), wait(Cmd::Write)},
        {'D', {}, cmd('D', {3, 1}), wait(Cmd::Erase)},
        {'J', {}, cmd('J', {1}), wait(Cmd::Restart)},
        {'H', {}, cmd('H', display), wait(Cmd::Display)},
    };
}

// The host's limits on the whole answer to a request (link control: the one
// reply frame).
proto::CommandLimit hostLimit(char key) {
    for (size_t i = 0; i < std::size(proto::COMMANDS); ++i) {
        if (proto::COMMANDS[i].letter == key) {
            return proto::LIMITS[i];
        }
    }
    return proto::LINK_CONTROL_LIMIT;
}

// What the host hears after the request, timed from its sending.
Heard ask(Chronometer& c, const Request& r, uint32_t& sentAt) {
    Wire w{c};
    for (const Bytes& b : r.before) {
        w.send(b);
        w.listen(1000);
    }
    sentAt = w.now;
    w.send(r.body);
    return w.listen(60000);
}

// replyDelayByCommand places each command's first answer frame, counted from
// the end of the request; a write's reports then keep flashStepMs between
// them and before the final answer. Without an entry an erase answers after
// replyDelayMs and eraseMs.
TEST(ChronometerTimingTest, FirstAnswerOfEachCommandWhereConfigured) {
    for (const Request& r : everyRequest()) {
        SCOPED_TRACE(r.key);
        SimConfig cfg;
        cfg.flashStepMs = 7;
        cfg.replyDelayByCommand[r.key] = 1234;
        Chronometer c(cfg);
        uint32_t sent = 0;
        Heard h = ask(c, r, sent);
        ASSERT_FALSE(h.at.empty());
        EXPECT_EQ(h.at[0] - sent, 1234u);
        for (size_t i = 1; r.key == 'C' && i < h.at.size(); ++i) {
            EXPECT_EQ(h.at[i] - h.at[i - 1], 7u) << i;
        }
    }
    SimConfig cfg;
    cfg.replyDelayMs = 3;
    cfg.eraseMs = 40;
    Chronometer c(cfg);
    Wire w{c};
    w.command('D', {5, 1});
    EXPECT_EQ(w.listen(1000).at, std::vector<uint32_t>{43});
}

// Realistic timing keeps every answer, and every gap between the frames of a
// listing or a write, within half the host's wait for it, at 19200 bit/s and
// counting the request's own time on the line (the host's wait starts once it
// has written the request).
TEST(ChronometerTimingTest, RealisticAnswersKeepAMarginToTheHostsWaits) {
    for (const Request& r : everyRequest()) {
        SCOPED_TRACE(r.key);
        SimConfig cfg;
        cfg.timing = SimTiming::Realistic;
        Chronometer c(cfg);
        uint32_t sent = 0;
        Heard h = ask(c, r, sent);
        ASSERT_FALSE(h.at.empty());
        EXPECT_LE(h.at[0] - sent, r.hostWaitMs / 2);
        for (size_t i = 1; i < h.at.size(); ++i) {
            EXPECT_LE(h.at[i] - h.at[i - 1], r.hostWaitMs / 2) << i;
        }
        // The whole answer, the longest write included, stays far inside the
        // host's limits on it.
        const proto::CommandLimit limit = hostLimit(r.key);
        EXPECT_LE(h.at.back() - sent, limit.overallMs / 10);
        EXPECT_LE(h.frames.size(), limit.maxFrames);
        if (r.key == 'C') {
            // 127 sectors erased, programmed and verified: seconds, not ms.
            EXPECT_GT(h.at.back() - sent, 127u * 65);
            EXPECT_EQ(h.answers(), std::vector<std::string>{"004 Programmazione completata"});
        }
    }
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
