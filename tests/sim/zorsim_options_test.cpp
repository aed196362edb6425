// zorsim's command line: table and fault syntax.
#include <gtest/gtest.h>

#include "sim/zorsim_options.h"

namespace zor::sim {
namespace {

TEST(ZorsimOptionsTest, PartitionTableSyntax) {
    struct Case {
        const char* text;
        bool ok;
        size_t count;
        const char* error;  // part of the message of a refused table
    };
    const Case cases[] = {
        {"MILO:0+1:Boot VERS 1 BUILD 1,PGM:1+4:Programma base VERS 2.10 BUILD 35", true, 2, ""},
        {"DATAREL:5+1:Nome: con due punti", true, 1, ""},
        {"14:3+2:altro,0x0F:6+1", true, 2, ""},
        {"PGM:4+4:a,MILO:0+1:b,FREE:1+3", true, 3, ""},  // any order, touching
        {"", true, 0, ""},
        {"PGM:7+2:oltre il blocco 7", false, 0, "oltre il blocco 7"},
        {"PGM:200+1:molto oltre", false, 0, "oltre il blocco 7"},
        {"PGM:1+0:vuota", false, 0, "senza blocchi"},
        {"XYZ:1+1:tipo sconosciuto", false, 0, "non valida"},
        {"PGM:1-2:senza più", false, 0, "non valida"},
        {"16:1+1:tipo oltre 15", false, 0, "non valida"},
        {"PGM:1+4:a,DATAREL:3+1:b", false, 0, "sovrapposte nel blocco 3"},
        {"PGM:5+3:a,MILO:0+1:b,FREE:0+8", false, 0, "sovrapposte nel blocco 0"},
        {"MILO:0+1:b,MILO:0+1:b", false, 0, "sovrapposte"},
    };
    for (const Case& c : cases) {
        std::vector<SimPartition> parts;
        std::string error;
        EXPECT_EQ(parsePartitionTable(c.text, parts, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(parts.size(), c.count) << c.text;
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        }
        // The command line refuses such a table as a whole (exit status 2).
        ZorsimOptions o;
        EXPECT_EQ(parseZorsimArgs({"--table", c.text}, o, error), c.ok) << c.text;
    }
    std::vector<SimPartition> parts;
    std::string error;
    ASSERT_TRUE(parsePartitionTable("DATAREL:5+1:Nome: con due punti", parts, error));
    EXPECT_EQ(parts[0].type, 1);
    EXPECT_EQ(parts[0].firstBlock, 5);
    EXPECT_EQ(parts[0].blockCount, 1);
    EXPECT_EQ(parts[0].name, "Nome: con due punti");
}

TEST(ZorsimOptionsTest, FaultsAndOtherOptions) {
    ZorsimOptions o;
    std::string error;
    ASSERT_TRUE(
        parseZorsimArgs({"--fault", "C:1:progress-then-silence", "--fault", "test:0:silence",
                         "--speed", "57600", "--flash-step", "5", "--speed-settle", "7", "--once",
                         "--link", "/tmp/x", "--fault", "B:2:endless-listing", "--trickle", "40"},
                        o, error))
        << error;
    ASSERT_EQ(o.config.faults.size(), 3u);
    EXPECT_EQ(o.config.faults[2].fault, Fault::EndlessListing);
    EXPECT_EQ(o.config.trickleMs, 40u);
    EXPECT_EQ(o.config.faults[0].command, 'C');
    EXPECT_EQ(o.config.faults[0].fault, Fault::ProgressThenSilence);
    EXPECT_EQ(o.config.faults[1].command, 't');
    EXPECT_EQ(o.config.faults[1].occurrence, 0);
    EXPECT_EQ(o.config.startSpeed, 2);
    EXPECT_EQ(o.config.flashStepMs, 5u);
    EXPECT_EQ(o.config.speedSettleMs, 7u);
    EXPECT_TRUE(o.once);
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.config.timing, SimTiming::Fast);
    ASSERT_TRUE(parseZorsimArgs({"--realistic", "--speed-settle", "20"}, o, error)) << error;
    EXPECT_EQ(o.config.timing, SimTiming::Realistic);

    const std::vector<std::vector<std::string>> bad = {
        {"--fault", "Q:1:silence"},
        {"--fault", "A:x:silence"},
        {"--fault", "A:1:loud"},
        {"--speed", "9600"},
        {"--link"},
        {"--flash-step", "-1"},
        {"--trickle", "0"},                    // a trickle that never lets time pass
        {"--flash-step", "5", "--realistic"},  // realistic times are its own
        {"--nonsense"},
    };
    for (const auto& args : bad) {
        ZorsimOptions x;
        EXPECT_FALSE(parseZorsimArgs(args, x, error)) << args[0];
    }
}

}  // namespace
}  // namespace zor::sim
