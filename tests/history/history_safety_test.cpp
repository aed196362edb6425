// The history is a file the program writes, on a bench PC that several
// users share: what another user plants on its way (a link at its name, at
// a folder on the way, at the files the database keeps beside it, a second
// name) keeps the database from being opened there, and leaves the file it
// points to as it was. The default folder is made private to the user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "history/history_path.h"
#include "history/sqlite_history.h"
#include "support/second_user.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

TEST(HistorySafety, WhatAnotherUserPlantsKeepsTheDatabaseOut) {
    ZOR_SKIP_UNLESS_ROOT();
    const struct {
        const char* what;
        const char* plant;  // shell, as nobody, in $D (a folder of nobody's); the history is
                            // $D/h/storico.sqlite
        FileRefusal refusal;
    } cases[] = {
        {"another user's link at the name", "mkdir h && ln -s $V h/storico.sqlite",
         FileRefusal::RefusedLink},
        {"another user's link on the way", "mkdir real && ln -s real h", FileRefusal::RefusedLink},
        {"another user's link at the database's log", "mkdir h && ln -s $V h/storico.sqlite-wal",
         FileRefusal::RefusedLink},
        {"a second name of another file", "mkdir h && ln $V h/storico.sqlite",
         FileRefusal::SecondName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir("zor_history_safety");
        ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
        const std::string victim = dir.file("V");
        std::ofstream(victim) << "keep\n";
        ASSERT_EQ(::chmod(victim.c_str(), 0666), 0);
        ASSERT_TRUE(test::asOtherUser("cd " + dir.path() + " && V=" + victim + " && " + c.plant));
        HistoryResult result;
        EXPECT_FALSE(SqliteHistory::open(dir.file("h/storico.sqlite"), false, result));
        EXPECT_EQ(result.fault, HistoryFault::PathRefused);
        EXPECT_EQ(result.problem.refusal, c.refusal);
        EXPECT_EQ(test::fileText(victim), "keep\n");
    }
}

TEST(HistorySafety, TheDefaultFolderIsMadePrivate) {
    test::TempDir dir("zor_history_state");
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
    ::unsetenv("ZORLOAD_HISTORY");
    bool isDefault = false;
    const std::string path = chosenHistoryPath("", isDefault);
    old ? ::setenv("XDG_STATE_HOME", saved.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    EXPECT_TRUE(isDefault);
    EXPECT_EQ(path, dir.file("state/zorload/storico.sqlite"));
    HistoryResult result;
    EXPECT_TRUE(SqliteHistory::open(path, isDefault, result)) << result.message;
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("state/zorload").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(dir.file("state").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace zor
