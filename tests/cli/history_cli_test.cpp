// zorload-cli history on a real database: records imported once however
// often they are imported, the chronometer's answer, CSV that a real CSV
// reader reads back field for field, JSON lines with the record's names,
// and the command line's refusals.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/record.h"
#include "support/temp_dir.h"
#include "text/plan_text.h"

namespace zor {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

class CliHistory : public ::testing::Test {
  protected:
    // env: the variables the command runs with; by default the test's own
    // history.
    CliRun run(const std::string& args, const std::string& env = std::string()) {
        const std::string vars =
            env.empty() ? "ZORLOAD_HISTORY='" + temp.file("storico.sqlite") + "'" : env;
        const std::string cmd = vars + " '" + ZORLOAD_CLI + "' " + args + " >'" + temp.file("out") +
                                "' 2>'" + temp.file("err") + "'";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, test::fileText(temp.file("out")),
                test::fileText(temp.file("err"))};
    }

    // A bench's record: a run written as update writes it, two the way
    // earlier benches wrote them (a failure with texts a CSV must quote),
    // and a line that is no record.
    std::string writeRecord() {
        cli::UpdateRecord r;
        r.time = "2026-12-07T08:00:00Z";
        r.port = "COM1";
        r.device = "/dev/ttyS0";
        r.identification = "007 Cronometro S/N 0412-0087 boot 1.30";
        r.file = "esempio.upd";
        r.fileId = "0214-002A";
        r.selected = {{1, "Programma base VERS 2.20 BUILD 41"}};
        r.outcome = verdictText(PlanVerdict::Partial);
        r.seconds = 12.4;
        r.bytes = 21874;
        const std::string path = temp.file("banco.jsonl");
        std::ofstream(path)
            << cli::recordLine(r) << "\n"
            << R"({"time": "2026-12-08T06:02:11Z", "port": "COM2", "position": "Posto 2", "device": "/dev/ttyS1", "identification": "007 Cronometro S/N 0412-0087 boot 1.30", "file": "esempio.upd", "file_id": "0214-002A", "selected": [{"slot": 1, "text": "Programma base VERS 2.20 BUILD 41"}, {"slot": 3, "text": "Lingua inglese VERS 1.3 BUILD 5"}], "table_read": [{"first": 0, "length": 1, "type": "MILO", "name": "Boot VERS 1.00 BUILD 12"}], "table_planned": [{"first": 0, "length": 1, "type": "MILO", "name": "Boot VERS 1.00 BUILD 12", "action": "keep"}, {"first": 1, "length": 3, "type": "PGM", "name": "Programma base VERS 2.20 BUILD 41", "action": "write", "installed": "Programma base VERS 2.10 BUILD 35"}, {"first": 4, "length": 1, "type": "DATAREL", "name": "Lingua inglese VERS 1.3 BUILD 5", "action": "write", "installed": null}, {"first": 5, "length": 3, "type": "FREE", "name": "", "action": "erase"}, {"first": 6, "length": 1, "type": "DATAREL", "name": "Tabelle gare VERS 1.0 BUILD 2", "action": "remove"}], "outcome": "Aggiornamento completo", "dry_run": false, "code": 0, "last_answer": "000 Riavvio", "error": "", "seconds": 19.2, "bytes": 28433})"
            << "\r\n"
            << "non è una registrazione\n"
            << R"({"time": "2026-12-09T10:00:00Z", "port": "COM1", "device": "/dev/ttyS0", "identification": "007 Cronometro S/N 0412-0087 boot 1.30", "file": "esempio, nuovo.upd", "file_id": "0214-002B", "selected": [], "table_read": [], "table_planned": null, "outcome": "Aggiornamento completo", "dry_run": false, "code": 103, "last_answer": "203 Errore \"verifica\", settore 3", "error": "riga 1\nriga 2", "seconds": 4.0, "bytes": 512})"
            << "\n\n";
        return path;
    }

    test::TempDir temp{"zor_cli_history"};
};

TEST_F(CliHistory, ImportTwiceAddsEachRunOnceAndTheSerialSaysWhatItHas) {
    const std::string record = writeRecord();
    CliRun first = run("history import '" + record + "'");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Importate 3 esecuzioni, 0 già nello storico, 1 righe non leggibili.\n");
    EXPECT_NE(first.err.find("banco.jsonl:3: riga non leggibile"), std::string::npos) << first.err;
    CliRun again = run("history import '" + record + "'");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "Importate 0 esecuzioni, 3 già nello storico, 1 righe non leggibili.\n");

    // Its last successful update is the one of 12-08, through Posto 2; the
    // failure after it is said too. Removed and erased partitions are not
    // among what it holds.
    const CliRun serial = run("history --table --serial 0412-0087");
    EXPECT_EQ(serial.status, 0) << serial.err;
    EXPECT_NE(serial.out.find("Cronometro S/N 0412-0087: ultimo aggiornamento riuscito "
                              "2026-12-08T06:02:11Z, banco sconosciuto (Posto 2), file "
                              "esempio.upd (ID 0214-002A). Componenti installati:\n"
                              "  Boot VERS 1.00 BUILD 12\n"
                              "  Programma base VERS 2.20 BUILD 41  (scritto in "
                              "quell'aggiornamento)\n"
                              "  Lingua inglese VERS 1.3 BUILD 5  (scritto in "
                              "quell'aggiornamento)\n"
                              "Ultima esecuzione: 2026-12-09T10:00:00Z, banco sconosciuto: "
                              "errore 103 scrittura.\n"),
              std::string::npos)
        << serial.out;
    EXPECT_NE(serial.out.find("3 esecuzioni\n"), std::string::npos);
}

TEST_F(CliHistory, CsvAndJsonReadBackByRealParsers) {
    ASSERT_EQ(run("history import '" + writeRecord() + "'").status, 0);
    // Python's csv module, strict: every field as stored, quotes and line
    // ends inside fields included.
    ASSERT_EQ(run("history --csv --failed").status, 0);
    std::ofstream(temp.file("check.py")) << R"(import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline=''), strict=True))
assert len(rows) == 1, rows
r = rows[0]
assert r['file'] == 'esempio, nuovo.upd', r['file']
assert r['last_answer'] == '203 Errore "verifica", settore 3', r['last_answer']
assert r['error'] == 'riga 1\nriga 2', r['error']
assert r['code'] == '103' and r['meaning'] == 'transfer_failed' and r['serial'] == '0412-0087', r
assert r['table_planned'] == '' and r['outcome'] == 'Aggiornamento completo', r
assert open(sys.argv[1], newline='').read().endswith('\r\n')
)";
    EXPECT_EQ(
        std::system(("python3 '" + temp.file("check.py") + "' '" + temp.file("out") + "'").c_str()),
        0);

    // Off a terminal, JSON lines without being asked.
    ASSERT_EQ(run("history --since 2026-12-08 --until 2026-12-08").status, 0);
    std::ofstream(temp.file("check_json.py")) << R"(import json, sys
lines = open(sys.argv[1]).read().splitlines()
assert len(lines) == 1, lines
r = json.loads(lines[0])
for name in ('time', 'port', 'position', 'device', 'identification', 'file', 'file_id',
             'selected', 'table_read', 'table_planned', 'outcome', 'dry_run', 'code',
             'last_answer', 'error', 'seconds', 'bytes', 'run_id', 'serial', 'meaning'):
    assert name in r, name
assert r['position'] == 'Posto 2' and r['code'] == 0 and r['meaning'] == 'done', r
assert r['table_planned'][1]['installed'] == 'Programma base VERS 2.10 BUILD 35', r
assert r['selected'][1] == {'slot': 3, 'text': 'Lingua inglese VERS 1.3 BUILD 5'}, r
assert len(r['run_id']) == 32, r
)";
    EXPECT_EQ(
        std::system(
            ("python3 '" + temp.file("check_json.py") + "' '" + temp.file("out") + "'").c_str()),
        0);
}

TEST_F(CliHistory, RefusesWhatItCannotDo) {
    const struct {
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {"history --json --csv", 2, "--json, --csv e --table non si possono usare insieme"},
        {"history --csv --table", 2, "--json, --csv e --table non si possono usare insieme"},
        {"history --since 2026-13", 2, "--since richiede una data"},
        {"history --until 2026-12-08T06:02", 2, "--until richiede una data"},
        {"history elenco", 2, "argomento in più: 'elenco'"},
        {"history import", 2, "manca FILE"},
        {"history --serial", 2, "--serial richiede un valore"},
        {"history import /nessun/file.jsonl", 3, "/nessun/file.jsonl"},
        {"update COM1 x.upd --select all --history h --no-history", 2,
         "--history e --no-history non si possono usare insieme"},
        {"history --history /proc/version", 3, "storico /proc/version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

// The bench's settings say where its history is when neither --history nor
// ZORLOAD_HISTORY do, for writing and for reading; a settings section at
// fault is said and left aside.
TEST_F(CliHistory, TheBenchSettingsNameTheHistory) {
    const std::string ini = temp.file("banco.ini");
    std::ofstream(ini) << "[posti]\nPosto 1=COM1\n[storico]\npercorso="
                       << temp.file("centro.sqlite") << "\n";
    const std::string bench = "ZORLOAD_HISTORY= ZORLOAD_POSITIONS='" + ini + "' XDG_STATE_HOME='" +
                              temp.file("state") + "'";
    ASSERT_EQ(run("history import '" + writeRecord() + "'", bench).status, 0);
    EXPECT_NE(run("history --table", bench).out.find("3 esecuzioni"), std::string::npos);
    EXPECT_NE(run("history --table --history '" + temp.file("centro.sqlite") + "'")
                  .out.find("3 esecuzioni"),
              std::string::npos);
    // The environment comes before the settings.
    EXPECT_EQ(run("history --table").out.find("3 esecuzioni"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(temp.file("state")));

    std::ofstream(ini) << "[storico]\npercorsi=" << temp.file("centro.sqlite") << "\n";
    const CliRun faulty = run("history --table", bench);
    EXPECT_EQ(faulty.status, 0);
    EXPECT_NE(faulty.err.find("riga 2: impostazione sconosciuta in [storico]"), std::string::npos)
        << faulty.err;
    EXPECT_NE(faulty.err.find("le impostazioni dello storico sono ignorate."), std::string::npos);
    EXPECT_EQ(faulty.out.find("3 esecuzioni"), std::string::npos);
}

}  // namespace
}  // namespace zor
