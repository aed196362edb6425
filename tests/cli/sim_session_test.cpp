// zorload-cli against zorsim on a pseudo-terminal: the JSON documents and the
// bench's record describe the file and the chronometer they came from, and
// interrupts are refused during a transfer and nowhere else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs argv with stdout and stderr to files; returns the pid.
pid_t spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);  // signals from the test only, never the terminal's
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, 1);
        ::dup2(e, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(25ms);
    }
    return false;
}

class CliSession : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("ZORLOAD_COM1", link.c_str(), 1);
        ::setenv("ZORLOAD_LOCK_DIR", lockDir.c_str(), 1);
        ::mkdir(lockDir.c_str(), 0755);
        ASSERT_EQ(
            waitExit(spawn({ZORSIM, "--write-sample", sample}, dir + "/w.out", dir + "/w.err")), 0);
    }
    void TearDown() override { stopSim(); }

    void startSim(std::vector<std::string> options) {
        stopSim();
        options.insert(options.begin(), {ZORSIM, "--link", link});
        sim = spawn(options, dir + "/sim.out", dir + "/sim.err");
        ASSERT_TRUE(waitFor([&] { return ::access(link.c_str(), F_OK) == 0; }));
    }
    void stopSim() {
        if (sim <= 0)
            return;
        ::kill(sim, SIGTERM);
        EXPECT_EQ(waitExit(sim), 0) << "the chronometer saw the protocol broken:\n"
                                    << slurp(dir + "/sim.err");
        sim = -1;
    }

    struct Run {
        int status;
        std::string out, err;
    };
    Run cli(std::vector<std::string> args) {
        args.insert(args.begin(), ZORLOAD_CLI);
        const int status = waitExit(spawn(args, dir + "/out", dir + "/err"));
        return {status, slurp(dir + "/out"), slurp(dir + "/err")};
    }

    test::TempDir temp{"zor_cli_sim"};
    const std::string dir = temp.path();
    const std::string link = dir + "/COM1";
    const std::string lockDir = dir + "/lock";
    const std::string sample = dir + "/esempio.upd";
    const std::string record = dir + "/banco.jsonl";
    pid_t sim = -1;
};

TEST_F(CliSession, JsonDocumentsAndRecordDescribeFileAndChronometer) {
    startSim({"--flash-step", "5"});
    Run r = cli({"info", sample, "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string components =
        "{\"slot\": 0, \"type\": \"MILO\", \"type_code\": 8, \"posn\": 0, \"blks\": 1, "
        "\"posn_raw\": 0, \"blks_raw\": 1, \"data_blocks\": 20, \"text\": \"Boot VERS 1.01 "
        "BUILD 14\", \"name\": \"Boot\", \"version\": \"1.01\", \"build\": \"14\"}, "
        "{\"slot\": 1, \"type\": \"PGM\", \"type_code\": 0, \"posn\": 1, \"blks\": 3, "
        "\"posn_raw\": 1, \"blks_raw\": 3, \"data_blocks\": 60, \"text\": \"Programma base VERS "
        "2.20 BUILD 41\", \"name\": \"Programma base\", \"version\": \"2.20\", \"build\": "
        "\"41\"}, ";
    EXPECT_EQ(r.out.rfind("{\"id\": \"0214-002A\", \"components\": [" + components, 0), 0u)
        << r.out;

    r = cli({"ports", "--json"});
    EXPECT_NE(r.out.find("[{\"name\": \"COM1\", \"device\": \"" + link +
                         "\", \"status\": \"Disponibile\", \"available\": true}, "),
              std::string::npos)
        << r.out;

    // The table zorsim starts with, as the chronometer lists it.
    const std::string table =
        "[{\"first\": 0, \"length\": 1, \"type\": \"MILO\", \"name\": \"Boot VERS 1.00 BUILD "
        "12\"}, {\"first\": 1, \"length\": 3, \"type\": \"PGM\", \"name\": \"Programma base VERS "
        "2.10 BUILD 35\"}, {\"first\": 4, \"length\": 1, \"type\": \"DATAREL\", \"name\": "
        "\"Lingua italiano VERS 1.2 BUILD 4\"}, {\"first\": 5, \"length\": 1, \"type\": "
        "\"FREE\", \"name\": \"\"}, {\"first\": 6, \"length\": 1, \"type\": \"DATAREL\", "
        "\"name\": \"Tabelle gare VERS 1.0 BUILD 2\"}, {\"first\": 7, \"length\": 1, \"type\": "
        "\"FREE\", \"name\": \"\"}]";
    r = cli({"check", "COM1", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"port\": \"COM1\", \"device\": \"" + link +
                         "\", \"speed\": 19200, \"identification\": \"007 Cronometro S/N "
                         "0412-0087 boot 1.30\", \"partitions\": " +
                         table + "}\n");

    r = cli({"update", "COM1", sample, "--select", "1,3", "--json", "--record", record});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string plan =
        "{\"outcome\": \"Aggiornamento completo\", \"plan\": [{\"first\": 0, \"length\": 1, "
        "\"type\": \"MILO\", \"name\": \"Boot VERS 1.00 BUILD 12\", \"action\": \"keep\"}, "
        "{\"first\": 1, \"length\": 3, \"type\": \"PGM\", \"name\": \"Programma base VERS 2.20 "
        "BUILD 41\", \"action\": \"write\", \"installed\": \"Programma base VERS 2.10 BUILD "
        "35\"}, {\"first\": 4, \"length\": 1, \"type\": \"DATAREL\", \"name\": \"Lingua inglese "
        "VERS 1.3 BUILD 5\", \"action\": \"write\", \"installed\": null}, {\"first\": 5, "
        "\"length\": 3, \"type\": \"FREE\", \"name\": \"\", \"action\": \"erase\"}, {\"first\": "
        "4, \"length\": 1, \"type\": \"DATAREL\", \"name\": \"Lingua italiano VERS 1.2 BUILD "
        "4\", \"action\": \"remove\"}, {\"first\": 6, \"length\": 1, \"type\": \"DATAREL\", "
        "\"name\": \"Tabelle gare VERS 1.0 BUILD 2\", \"action\": \"remove\"}]";
    EXPECT_EQ(r.out.rfind(plan, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"result\": {\"code\": 0, \"last_answer\": \"000 Riavvio\", "
                         "\"seconds\": "),
              std::string::npos)
        << r.out;
    // stdout is the document alone; the plan for people went to stderr.
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    EXPECT_NE(r.err.find("Attenzione: \"Tabelle gare VERS 1.0 BUILD 2\""), std::string::npos);

    const std::string line = slurp(record);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    for (const std::string& part :
         {"\"port\": \"COM1\", \"device\": \"" + link + "\"",
          std::string("\"identification\": \"007 Cronometro S/N 0412-0087 boot 1.30\""),
          "\"file\": \"" + sample + "\", \"file_id\": \"0214-002A\"",
          std::string("\"selected\": [{\"slot\": 1, \"text\": \"Programma base VERS 2.20 BUILD "
                      "41\"}, {\"slot\": 3, \"text\": \"Lingua inglese VERS 1.3 BUILD 5\"}]"),
          "\"table_read\": " + table,
          std::string("\"code\": 0, \"last_answer\": \"000 Riavvio\"")}) {
        EXPECT_NE(line.find(part), std::string::npos) << part << "\n" << line;
    }
}

TEST_F(CliSession, FailedTransferIsRecordedAndExplained) {
    startSim({"--flash-step", "5", "--fault", "C:1:wrong-code"});
    { std::ofstream(record) << "{\"earlier\": true}\n"; }
    const Run r = cli({"update", "COM1", sample, "--select", "2", "--record", record});
    EXPECT_EQ(r.status, 103);
    EXPECT_NE(r.err.find("Codice errore: 103\nMessaggio: 009 Errore di scrittura.\n"
                         "Fermato a: fase 1/1, scrittura Lingua italiano VERS 1.3 BUILD 5 "
                         "(blocco 5).\nCosa fare: "),
              std::string::npos)
        << r.err;
    const std::string lines = slurp(record);
    const size_t first = lines.find('\n');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(lines.substr(0, first), "{\"earlier\": true}");
    const std::string second = lines.substr(first + 1);
    EXPECT_EQ(second.find('\n'), second.size() - 1) << lines;
    EXPECT_NE(second.find("\"code\": 103, \"last_answer\": \"009 Errore di scrittura\""),
              std::string::npos)
        << second;
}

TEST_F(CliSession, InterruptRefusedDuringTransferOnly) {
    // A chronometer's own pace: the transfer lasts seconds.
    startSim({"--realistic"});
    pid_t pid =
        spawn({ZORLOAD_CLI, "update", "COM1", sample, "--select", "2"}, dir + "/out", dir + "/err");
    ASSERT_TRUE(
        waitFor([&] { return slurp(dir + "/err").find("Trasferimento su") != std::string::npos; }));
    std::this_thread::sleep_for(300ms);
    ::kill(pid, SIGINT);
    EXPECT_EQ(waitExit(pid), 0);
    const std::string err = slurp(dir + "/err");
    EXPECT_NE(err.find("\nZorload: L'invio dei dati al cronometro non può essere interrotto. Prima "
                       "di chiudere l'applicazione è necessario attendere il completamento "
                       "dell'operazione di trasferimento.\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Aggiornamento completato."), std::string::npos) << err;
    stopSim();

    // A chronometer that never answers: the check waits, Ctrl-C ends it and
    // lets go of the port.
    startSim({"--fault", "A:0:silence"});
    pid = spawn({ZORLOAD_CLI, "check", "COM1"}, dir + "/out", dir + "/err");
    ASSERT_TRUE(
        waitFor([&] { return slurp(dir + "/err").find("Connessione") != std::string::npos; }));
    std::this_thread::sleep_for(300ms);
    ::kill(pid, SIGINT);
    EXPECT_EQ(waitExit(pid), 130);
    EXPECT_EQ(::rmdir(lockDir.c_str()), 0) << "a lock file was left behind";
}

}  // namespace
}  // namespace zor
