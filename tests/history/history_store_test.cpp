// The bench's history in a real SQLite file: every field comes back as it
// went in, each filter picks the runs it should, the layout is made on a
// new file and kept on an old one, and two programs storing at once lose
// nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "history/history_recorder.h"
#include "history/sha256.h"
#include "history/sqlite_history.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

HistoryRun sampleRun(const std::string& id, const std::string& time, const std::string& serial,
                     const std::string& bench, int code, const char* meaningKey) {
    HistoryRun r;
    r.runId = id;
    r.time = time;
    r.bench = bench;
    r.user = "anna";
    r.program = "zorload-cli";
    r.version = "2.1.0.155";
    r.position = "Posto 1";
    r.port = "COM1";
    r.device = "/dev/ttyS0";
    r.identification = "007 Cronometro S/N " + serial + " boot 1.30";
    r.serial = serial;
    r.file = "esempio.upd";
    r.fileId = "0214-002A";
    r.fileSha256 = sha256Hex("esempio");
    r.selected = R"([{"slot": 1, "text": "Programma base VERS 2.20 BUILD 41"}])";
    r.tableRead = R"([{"first": 0, "length": 1, "type": "MILO", "name": "Boot"}])";
    r.tablePlanned = code == 4 ? "" : R"([{"first": 0, "length": 1, "action": "keep"}])";
    r.verdict = code == 4 ? "" : verdict::COMPLETE;
    r.code = code;
    r.meaning = meaningKey;
    r.lastAnswer = code >= 100 ? "203 Errore verifica" : "000 Riavvio";
    r.error = code == 4 ? "Nessuna risposta dal cronometro su COM1 (/dev/ttyS0)." : "";
    r.seconds = 19.25;
    r.bytes = 28433;
    return r;
}

std::unique_ptr<SqliteHistory> openAt(const std::string& path) {
    HistoryResult result;
    auto history = SqliteHistory::open(path, false, result);
    EXPECT_TRUE(result.ok()) << result.message;
    return history;
}

std::vector<std::string> idsOf(const std::vector<HistoryRun>& runs) {
    std::vector<std::string> ids;
    for (const HistoryRun& r : runs)
        ids.push_back(r.runId);
    return ids;
}

TEST(HistoryStore, EveryFieldComesBackAndEachFilterPicksItsRuns) {
    test::TempDir dir("zor_history");
    auto history = openAt(dir.file("storico.sqlite"));
    ASSERT_TRUE(history);
    // Stored out of time order: queries order by time, not by arrival.
    const std::vector<HistoryRun> runs = {
        sampleRun("c", "2026-12-08T09:00:00Z", "0412-0001", "banco-a", 103,
                  meaning::TRANSFER_FAILED),
        sampleRun("a", "2026-12-07T08:00:00Z", "0412-0001", "banco-a", 0, meaning::DONE),
        sampleRun("b", "2026-12-07T23:59:59Z", "0412-0002", "banco-b", 0, meaning::CURRENT),
        sampleRun("d", "2026-12-09T10:00:00Z", "0412-0001", "banco-b", 0, meaning::DONE),
        sampleRun("e", "2026-12-09T11:00:00Z", "0412-0002", "banco-a", 4, meaning::UNREACHABLE),
    };
    for (const HistoryRun& r : runs) {
        const HistoryResult stored = history->store(r);
        ASSERT_TRUE(stored.ok()) << stored.message;
        EXPECT_TRUE(stored.added);
    }
    // The same run again, as when a bench sends it twice: kept once.
    EXPECT_FALSE(history->store(runs[0]).added);

    std::vector<HistoryRun> all;
    ASSERT_TRUE(history->query(HistoryFilter(), all).ok());
    ASSERT_EQ(all.size(), runs.size());
    const HistoryRun& back = all[2];  // "c", the third by time
    const HistoryRun& sent = runs[0];
    EXPECT_EQ(back.runId, sent.runId);
    EXPECT_EQ(back.time, sent.time);
    EXPECT_EQ(back.bench + back.user + back.program + back.version,
              sent.bench + sent.user + sent.program + sent.version);
    EXPECT_EQ(back.position + back.port + back.device, sent.position + sent.port + sent.device);
    EXPECT_EQ(back.identification, sent.identification);
    EXPECT_EQ(back.serial, sent.serial);
    EXPECT_EQ(back.file + back.fileId + back.fileSha256, sent.file + sent.fileId + sent.fileSha256);
    EXPECT_EQ(back.selected, sent.selected);
    EXPECT_EQ(back.tableRead, sent.tableRead);
    EXPECT_EQ(back.tablePlanned, sent.tablePlanned);
    EXPECT_EQ(back.verdict, sent.verdict);
    EXPECT_EQ(back.code, sent.code);
    EXPECT_EQ(back.meaning, sent.meaning);
    EXPECT_EQ(back.dryRun, sent.dryRun);
    EXPECT_EQ(back.lastAnswer, sent.lastAnswer);
    EXPECT_EQ(back.error, sent.error);
    EXPECT_DOUBLE_EQ(back.seconds, sent.seconds);
    EXPECT_EQ(back.bytes, sent.bytes);
    EXPECT_EQ(all[0].tablePlanned, runs[1].tablePlanned);

    auto filter = [](auto set) {
        HistoryFilter f;
        set(f);
        return f;
    };
    const struct {
        const char* what;
        HistoryFilter filter;
        std::vector<std::string> ids;
    } cases[] = {
        {"everything, oldest first", HistoryFilter(), {"a", "b", "c", "d", "e"}},
        {"one chronometer",
         filter([](HistoryFilter& f) { f.serial = "0412-0001"; }),
         {"a", "c", "d"}},
        {"one bench", filter([](HistoryFilter& f) { f.bench = "banco-b"; }), {"b", "d"}},
        {"since, inclusive",
         filter([](HistoryFilter& f) { f.since = "2026-12-07T23:59:59Z"; }),
         {"b", "c", "d", "e"}},
        {"until, inclusive",
         filter([](HistoryFilter& f) { f.until = "2026-12-07T23:59:59Z"; }),
         {"a", "b"}},
        {"a window",
         filter([](HistoryFilter& f) {
             f.since = "2026-12-08T00:00:00Z";
             f.until = "2026-12-09T10:00:00Z";
         }),
         {"c", "d"}},
        {"failed only", filter([](HistoryFilter& f) { f.failedOnly = true; }), {"c", "e"}},
        {"a chronometer's last update",
         filter([](HistoryFilter& f) {
             f.serial = "0412-0001";
             f.doneOnly = true;
             f.newestFirst = true;
             f.limit = 1;
         }),
         {"d"}},
        {"filters together",
         filter([](HistoryFilter& f) {
             f.serial = "0412-0002";
             f.bench = "banco-a";
             f.failedOnly = true;
         }),
         {"e"}},
        {"nothing matches", filter([](HistoryFilter& f) { f.serial = "9999-9999"; }), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<HistoryRun> got;
        ASSERT_TRUE(history->query(c.filter, got).ok());
        EXPECT_EQ(idsOf(got), c.ids);
    }
}

// The layout's version as the file holds it.
int userVersion(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* s = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        version = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return version;
}

TEST(HistoryStore, LayoutIsMadeOnceKeptOnReopenAndANewerOneIsLeftAlone) {
    test::TempDir dir("zor_history");
    const std::string path = dir.file("storico.sqlite");
    // An empty file, as the path checks leave it: made into the layout.
    { std::ofstream(path).flush(); }
    {
        auto history = openAt(path);
        ASSERT_TRUE(history);
        EXPECT_EQ(history->schemaVersion(), SqliteHistory::latestSchema());
        ASSERT_TRUE(
            history
                ->store(sampleRun("a", "2026-12-07T08:00:00Z", "0412-0001", "b", 0, meaning::DONE))
                .ok());
    }
    EXPECT_EQ(userVersion(path), SqliteHistory::latestSchema());
    {
        // Opened again: the layout is not made a second time, the run is there.
        auto history = openAt(path);
        ASSERT_TRUE(history);
        std::vector<HistoryRun> rows;
        ASSERT_TRUE(history->query(HistoryFilter(), rows).ok());
        EXPECT_EQ(idsOf(rows), std::vector<std::string>{"a"});
    }
    // A file from a newer program: refused, and not touched.
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const std::string newer =
        "PRAGMA user_version=" + std::to_string(SqliteHistory::latestSchema() + 1);
    sqlite3_exec(db, newer.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    HistoryResult result;
    EXPECT_FALSE(SqliteHistory::open(path, false, result));
    EXPECT_EQ(result.fault, HistoryFault::NewerSchema);
    EXPECT_EQ(result.schemaVersion, SqliteHistory::latestSchema() + 1);
    EXPECT_EQ(userVersion(path), SqliteHistory::latestSchema() + 1);
    // WAL, so that a reader never waits for a bench writing.
    db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
    sqlite3_finalize(s);
    sqlite3_close(db);
}

TEST(HistoryRecorder, StoresOffTheCallersThreadAndSaysAFailureOnce) {
    test::TempDir dir("zor_history");
    const std::string path = dir.file("storico.sqlite");
    {
        HistoryRecorder recorder([path](HistoryResult& result) {
            return std::unique_ptr<HistoryStore>(SqliteHistory::open(path, false, result));
        });
        for (int i = 0; i < 20; ++i) {
            recorder.add(
                sampleRun(newRunId(), "2026-12-07T08:00:00Z", "0412-0001", "b", 0, meaning::DONE));
        }
        recorder.flush();
        EXPECT_EQ(recorder.stored(), 20u);
        EXPECT_FALSE(recorder.takeFailure());
    }
    // A folder where the file should be: the first run fails, the rest are
    // dropped, the failure is handed over once.
    HistoryRecorder broken([&dir](HistoryResult& result) {
        return std::unique_ptr<HistoryStore>(SqliteHistory::open(dir.path(), false, result));
    });
    for (int i = 0; i < 3; ++i)
        broken.add(
            sampleRun(newRunId(), "2026-12-07T08:00:00Z", "0412-0001", "b", 0, meaning::DONE));
    broken.flush();
    EXPECT_EQ(broken.stored(), 0u);
    const auto failure = broken.takeFailure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->fault, HistoryFault::PathRefused);
    EXPECT_FALSE(broken.takeFailure());
}

TEST(HistoryIds, FreshIdsDifferAndTextIdsAreStable) {
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        const std::string id = newRunId();
        EXPECT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 1000u);
    EXPECT_EQ(runIdOfText("{\"time\": 1}"), runIdOfText("{\"time\": 1}"));
    EXPECT_NE(runIdOfText("{\"time\": 1}"), runIdOfText("{\"time\": 2}"));
    // The digest itself, against known answers (FIPS 180-2), across a block
    // boundary and fed in pieces.
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Hex(two), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    Sha256 pieces;
    for (char c : std::string(1000, 'a'))
        pieces.add(&c, 1);
    EXPECT_EQ(pieces.hex(), sha256Hex(std::string(1000, 'a')));
}

#ifndef _WIN32
TEST(HistoryConcurrency, TwoProcessesWritingAtOnceLoseNoRun) {
    test::TempDir dir("zor_history");
    const std::string path = dir.file("storico.sqlite");
    constexpr int RUNS = 150;
    std::vector<pid_t> children;
    // Both open the new file at once too: one makes the layout, the other
    // waits for it.
    for (const char* bench : {"banco-a", "banco-b"}) {
        const pid_t child = ::fork();
        if (child == 0) {
            HistoryResult result;
            auto history = SqliteHistory::open(path, false, result);
            int failures = history ? 0 : 100;
            for (int i = 0; history && i < RUNS; ++i) {
                if (!history
                         ->store(sampleRun(newRunId(), "2026-12-07T08:00:00Z", "0412-0001", bench,
                                           0, meaning::DONE))
                         .added)
                    ++failures;
            }
            ::_exit(failures);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer lost runs";
    }
    auto history = openAt(path);
    ASSERT_TRUE(history);
    std::vector<HistoryRun> rows;
    ASSERT_TRUE(history->query(HistoryFilter(), rows).ok());
    std::map<std::string, int> perBench;
    std::set<std::string> ids;
    for (const HistoryRun& r : rows) {
        ++perBench[r.bench];
        ids.insert(r.runId);
    }
    EXPECT_EQ(perBench["banco-a"], RUNS);
    EXPECT_EQ(perBench["banco-b"], RUNS);
    EXPECT_EQ(ids.size(), rows.size());
}
#endif

}  // namespace
}  // namespace zor
