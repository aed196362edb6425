// The bench's positions file: what the station reads, as a technician types
// it by hand, and what the station window writes back.
#include "app/bench_positions.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace zor::test {
namespace {

// "name=port|name=port".
std::string listed(const std::vector<BenchPosition>& positions) {
    std::string text;
    for (const BenchPosition& p : positions)
        text += (text.empty() ? "" : "|") + p.name + "=" + p.port;
    return text;
}

TEST(BenchPositions, ReadsTheFileOrNamesTheLineAtFault) {
    using F = PositionsFault;
    const struct {
        const char* what;
        std::string text;
        PositionsFault fault;
        int line;
        const char* positions;
    } cases[] = {
        {"as Notepad saves it, among other settings",
         "\xEF\xBB\xBF; banco 2\r\n[impostazioni]\r\nx\r\n\r\n[ Posti ]\r\n  Posto 1 = COM3 \r\n"
         "# spento\r\nPosto è=/dev/serial/by-path/pci-0:2:1.0-port0\r\n[altro]\r\nPosto 3\r\n",
         F::None, 0, "Posto 1=COM3|Posto è=/dev/serial/by-path/pci-0:2:1.0-port0"},
        {"a second section goes on", "[posti]\nA=COM1\n[x]\n[posti]\nB=C=2", F::None, 0,
         "A=COM1|B=C=2"},
        {"other settings only", "[impostazioni]\nx=1\n", F::None, 0, ""},
        {"a position before any section", "; banco\nPosto 1=COM3\n[posti]\n", F::NoSection, 2, ""},
        {"no '='", "[posti]\nPosto 1 COM3\n", F::BadLine, 2, ""},
        {"no name", "[posti]\n =COM3\n", F::EmptyName, 2, ""},
        {"no port", "[posti]\nPosto 1=\t\n", F::EmptyPort, 2, ""},
        {"a name twice", "[posti]\nA=COM1\n\nA=COM2\n", F::SameName, 4, ""},
        {"a port twice", "[posti]\nA=COM1\nB=COM1\n", F::SamePort, 3, ""},
        {"an escape sequence", "[posti]\nA\x1b[2J=COM1\n", F::BadCharacter, 2, ""},
        {"a tab inside a name", "[posti]\nPosto\t1=COM1\n", F::BadCharacter, 2, ""},
        {"a C1 control in a port", "[posti]\nA=COM\xC2\x9B\n", F::BadCharacter, 2, ""},
        {"Windows-1252, not UTF-8", "[posti]\nPosto \xE8=COM1\n", F::BadCharacter, 2, ""},
        {"too long", "[posti]\n" + std::string(BENCH_POSITIONS_MAX_BYTES, ';'), F::TooLarge, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PositionsResult r = parseBenchPositions(c.text);
        EXPECT_EQ(r.fault, c.fault);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(listed(r.positions), c.positions);
    }
}

// The history's settings beside the positions: defaults where the file says
// nothing, each key in any case, and a line at fault named while the
// positions stay readable.
TEST(BenchSettings, ReadBesideThePositionsWithTheirDefaults) {
    using F = PositionsFault;
    const struct {
        const char* what;
        std::string text;
        PositionsFault fault;
        int line;
        const char* settings;  // procedura|banco|percorso|mqtt
    } cases[] = {
        {"no section: the defaults", "[posti]\nA=COM1\n", F::None, 0, "0|1||"},
        {"every key, blanks and case",
         "x\n[POSTI]\nA=COM1\n[Storico]\n Procedura = S\xC3\xAC \r\nBANCO=no\n"
         "percorso = postgresql://centro/zorload\nmqtt=mqtt://centro/officina\n",
         F::None, 0, "1|0|postgresql://centro/zorload|mqtt://centro/officina"},
        {"the last value counts", "[storico]\nprocedura=1\nprocedura=0\n", F::None, 0, "0|1||"},
        {"a key this program does not know", "[storico]\nprocedure=si\n", F::UnknownKey, 2,
         "0|1||"},
        {"neither yes nor no", "[storico]\nbanco=forse\n", F::BadValue, 2, "0|1||"},
        {"a line without '='", "[storico]\nmqtt\n", F::BadLine, 2, "0|1||"},
        {"an escape sequence in a place", "[storico]\npercorso=/tmp/\x1b[2J\n", F::BadCharacter, 2,
         "0|1||"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SettingsResult r = parseBenchSettings(c.text);
        EXPECT_EQ(r.fault, c.fault);
        EXPECT_EQ(r.line, c.line);
        const BenchSettings& s = r.settings;
        EXPECT_EQ(std::string(s.wizardHistory ? "1" : "0") + "|" + (s.benchHistory ? "1" : "0") +
                      "|" + s.historyPlace + "|" + s.mqtt,
                  c.settings);
        // The positions do not mind the settings, good or bad.
        EXPECT_TRUE(parseBenchPositions(c.text).ok() || c.text[0] == 'x');
    }
}

// The window's positions go into the file and come back the same; the other
// settings stay as they stood; positions no line can hold are refused before
// anything is written.
TEST(BenchPositions, WhatIsWrittenReadsBackTheSame) {
    const std::vector<BenchPosition> bench = {{"Posto 1", "COM3"}, {"Posto è", "/dev/ttyUSB0"}};
    const std::string ours = "[posti]\nPosto 1=COM3\nPosto è=/dev/ttyUSB0\n";
    const struct {
        std::string previous, written;
    } texts[] = {
        {"", ours},
        {"; mio banco\n[impostazioni]\nx=1", "; mio banco\n[impostazioni]\nx=1\n\n" + ours},
        {"[impostazioni]\r\nx=1\r\n\r\n[posti]\r\n; vecchi\r\nA=COM1\r\n[altro]\r\ny=2",
         "[impostazioni]\r\nx=1\r\n\r\n[posti]\r\nPosto 1=COM3\r\nPosto è=/dev/ttyUSB0\r\n\r\n"
         "[altro]\r\ny=2"},
        {"\xEF\xBB\xBF[posti]\nA=COM1\n\n[x]\n[posti]\nB=COM2\n",
         "\xEF\xBB\xBF" + ours + "\n[x]\n"},
    };
    for (const auto& t : texts) {
        const std::string text = benchPositionsText(bench, t.previous);
        EXPECT_EQ(text, t.written) << t.previous;
        EXPECT_EQ(listed(parseBenchPositions(text).positions), listed(bench)) << text;
    }

    using F = PositionsFault;
    const struct {
        BenchPosition wrong;  // after bench's two
        PositionsFault fault;
    } refused[] = {
        {{"a=b", "COM1"}, F::BadLine},        {{"; x", "COM1"}, F::BadLine},
        {{"[x]", "COM1"}, F::BadLine},        {{" x", "COM1"}, F::BadLine},
        {{"x", "COM1 "}, F::BadLine},         {{"", "COM1"}, F::EmptyName},
        {{"x", "\x1b"}, F::BadCharacter},     {{"Posto 1", "COM1"}, F::SameName},
        {{"x", "/dev/ttyUSB0"}, F::SamePort},
    };
    const TempDir temp("zor_positions");
    const std::string path = temp.file("banco.ini");
    for (const auto& c : refused) {
        std::vector<BenchPosition> positions = bench;
        positions.push_back(c.wrong);
        const PositionsResult r = checkBenchPositions(positions);
        EXPECT_EQ(r.fault, c.fault) << c.wrong.name;
        EXPECT_EQ(r.line, 3) << c.wrong.name;
        FileProblem problem;
        EXPECT_FALSE(writeBenchPositions(path, positions, problem));
        EXPECT_EQ(problem.error, 0);
    }
    EXPECT_EQ(readBenchPositions(path).fault, F::Missing);
}

// Written whole in folders made for it, kept private; rewritten with the
// other settings kept and nothing left beside it; a folder where the file
// should be is no file.
TEST(BenchPositions, WrittenWholeAndReadBack) {
    const TempDir temp("zor_positions");
    const std::string path = temp.file("config/zorload/banco.ini");
    FileProblem problem;
    ASSERT_TRUE(writeBenchPositions(path, {{"Posto 1", "COM3"}}, problem)) << problem.error;
    std::ofstream(path, std::ios::app | std::ios::binary) << "[impostazioni]\nx=1\n";
    ASSERT_TRUE(writeBenchPositions(path, {{"Posto 2", "COM4"}, {"Posto 1", "COM3"}}, problem));
    const PositionsResult r = readBenchPositions(path);
    EXPECT_EQ(r.fault, PositionsFault::None);
    EXPECT_EQ(listed(r.positions), "Posto 2=COM4|Posto 1=COM3");
    EXPECT_NE(fileText(path).find("[impostazioni]\nx=1\n"), std::string::npos) << fileText(path);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temp.file("config/zorload")))
        files += entry.exists() ? 1 : 0;
    EXPECT_EQ(files, 1u);
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(temp.file("config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
    EXPECT_EQ(readBenchPositions(temp.file("none.ini")).fault, PositionsFault::Missing);
    EXPECT_EQ(readBenchPositions("").fault, PositionsFault::Missing);
    const PositionsResult folder = readBenchPositions(temp.file("config"));
    EXPECT_EQ(folder.fault, PositionsFault::Unreadable);
    EXPECT_NE(folder.problem.error, 0);
}

#ifndef _WIN32
// The file named by ZORLOAD_POSITIONS, else in the user's settings folder;
// a relative folder names none.
TEST(BenchPositions, KeptInTheUsersSettingsFolder) {
    const struct {
        const char *named, *xdg, *home, *path;
    } cases[] = {
        {"/srv/banco.ini", "/x", "/h", "/srv/banco.ini"},
        {"", "/x", "/h", "/x/zorload/banco.ini"},
        {"", "x", "/h", "/h/.config/zorload/banco.ini"},
        {"", "", "h", ""},
    };
    const char* names[] = {"ZORLOAD_POSITIONS", "XDG_CONFIG_HOME", "HOME"};
    std::string saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = ::getenv(names[i]) ? ::getenv(names[i]) : "";
    for (const auto& c : cases) {
        const char* values[] = {c.named, c.xdg, c.home};
        for (int i = 0; i < 3; ++i)
            ::setenv(names[i], values[i], 1);
        EXPECT_EQ(benchPositionsPath(), c.path);
    }
    for (int i = 0; i < 3; ++i)
        saved[i].empty() ? ::unsetenv(names[i]) : ::setenv(names[i], saved[i].c_str(), 1);
}
#endif

}  // namespace
}  // namespace zor::test
