// Runs the built zorload-cli on generated update files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace zor {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

class CliInfo : public ::testing::Test {
  protected:
    std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    CliRun run(const std::string& args) {
        const std::string cmd = std::string("'") + ZORLOAD_CLI + "' " + args + " >'" + dir +
                                "/out' 2>'" + dir + "/err'";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
    }

    test::TempDir temp{"zor_cli"};
    const std::string dir = temp.path();
};

TEST_F(CliInfo, ListsComponents) {
    ComponentSpec pgm, lang;
    pgm.version = "Programma base VERS 2.10 BUILD 35";
    pgm.blks = 3;
    pgm.data = patternBlocks(3, 1);
    lang.version = "Lingua \xE8\x1B[2J";
    lang.versionPad = '\0';
    lang.infoType = 8;
    lang.posn = 0x24;  // the planner takes the low 4 bits
    lang.id = 0x0001002A;
    ASSERT_TRUE(UpdateFileWriter().add(pgm).add(lang).writeTo(dir + "/a.upd"));

    const CliRun r = run("info '" + dir + "/a.upd'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "ID: 0001-002A\n"
              "Slot Tipo    Posn Blks Blocchi Componente\n"
              "   0 PGM        0    3       3 Programma base VERS 2.10 BUILD 35\n"
              "   1 MILO       4*   1       0 Lingua \xC3\xA8?[2J\n"
              "* bit alti impostati nel file: il cronometro riceve solo Posn & 0x0F e Blks & "
              "0xFF.\n");
}

TEST_F(CliInfo, RefusedFileAndUsage) {
    ComponentSpec bad;
    bad.data = patternBlocks(1);
    bad.flipDataBit = 7;
    ASSERT_TRUE(UpdateFileWriter().add(bad).writeTo(dir + "/bad.upd"));
    CliRun r = run("info '" + dir + "/bad.upd'");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Zorload - Impossibile caricare il file: Il file selezionato non è un file di "
              "aggiornamento (oppure è danneggiato).\n");

    r = run("info");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("zorload-cli info FILE"), std::string::npos);
}

// The selection is checked before any port is touched: a segment without data
// blocks, or a slot beyond the file, is no component to install.
TEST_F(CliInfo, UpdateRefusesSelectionsOfNoComponent) {
    ComponentSpec pgm, empty;
    pgm.data = patternBlocks(2);
    empty.version = "Vuoto";
    ASSERT_TRUE(UpdateFileWriter().add(pgm).add(empty).writeTo(dir + "/a.upd"));
    for (const char* list : {"1", "2", "0,1", "x", "0,"}) {
        const CliRun r = run("update /nonexistent/port '" + dir + "/a.upd' --select " + list);
        EXPECT_EQ(r.status, 2) << list;
        EXPECT_NE(r.err.find("Selezione non valida"), std::string::npos) << list;
    }
}

// The station checks what it is given before it watches anything: a port
// list with an empty entry, a file as a port, or one port under two names
// (a link, a COM name) ends with status 2 and both names said; with --json
// every refusal is also one error object on stdout. A missing update file
// is named.
TEST_F(CliInfo, StationRefusesWhatItCannotWatch) {
    ComponentSpec pgm;
    pgm.data = patternBlocks(2);
    ASSERT_TRUE(UpdateFileWriter().add(pgm).writeTo(dir + "/a.upd"));
    ASSERT_EQ(::symlink("/dev/null", (dir + "/link").c_str()), 0);
    const struct {
        std::string ports, said;
        int status;
    } cases[] = {
        {",", "voce vuota nell'elenco", 2},
        {"/dev/null,,/dev/zero", "voce vuota nell'elenco", 2},
        {"/etc/passwd", "/etc/passwd non è una porta seriale", 2},
        {"/dev/null," + dir + "/link", "/dev/null e " + dir + "/link sono la stessa porta", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ports);
        for (const char* json : {"", " --json"}) {
            const CliRun r =
                run("station '" + dir + "/a.upd' --select all --ports '" + c.ports + "'" + json);
            EXPECT_EQ(r.status, c.status);
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            EXPECT_EQ(r.out, *json ? "{\"event\": \"error\", \"error\": \"--ports" +
                                         r.out.substr(r.out.find("--ports") + 7)
                                   : "");
            if (*json) {
                EXPECT_NE(r.out.find("\"exit_status\": 2}"), std::string::npos) << r.out;
            }
        }
    }
    const CliRun r = run("station '" + dir + "/none.upd' --select all --json");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("'" + dir + "/none.upd'"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind("{\"event\": \"error\", \"error\": \"'" + dir + "/none.upd'", 0), 0u)
        << r.out;
}

}  // namespace
}  // namespace zor
