#include "platform/file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "support/second_user.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::fileText;

// A folder shared with another user (writable by all, not sticky unless
// the row says so: the kernel's own link protection does not apply there
// even where it is switched on): the name the programs append to or write
// whole, or a folder on the way to it, may have been planted there. Nothing
// is written through another user's link, into a file with a second name,
// or in place of another user's file in a sticky folder; the user's own
// links work, and a file written whole replaces the one they lead to.
TEST(File, NeverWritesThroughAnotherUsersName) {
    ZOR_SKIP_UNLESS_ROOT();
    const struct {
        const char* what;
        const char* asOther;  // shell commands in the row's folder
        const char* asUs;     // V is a file of ours, D a folder of ours
        const char* name;     // appended to
        const char* target;   // the file name leads to
        FileRefusal refusal;
        bool sticky = false;
    } cases[] = {
        {"their link to our file", "ln -s V N", "", "N", "V", FileRefusal::RefusedLink},
        {"our link to our file", "", "ln -s V N", "N", "V", FileRefusal::None},
        {"our link to their link", "ln -s V T", "ln -s T N", "N", "V", FileRefusal::RefusedLink},
        {"their file with a second name", "echo x >O && ln O N", "", "N", "O",
         FileRefusal::SecondName},
        {"our file with a second name", "", "ln V N", "N", "V", FileRefusal::SecondName},
        {"their link as a folder on the way", "ln -s D L", "mkdir D && echo keep >D/N", "L/N",
         "D/N", FileRefusal::RefusedLink},
        {"their link deeper on the way", "mkdir -p S && ln -s ../D S/L",
         "mkdir D && echo keep >D/N", "S/L/N", "D/N", FileRefusal::RefusedLink},
        {"our link as a folder on the way", "", "mkdir D && ln -s D L", "L/N", "D/N",
         FileRefusal::None},
        {"their file in a sticky folder", "echo x >N", "", "N", "N", FileRefusal::ForeignFile,
         true},
        {"our file in a sticky folder", "", "echo x >N", "N", "N", FileRefusal::None, true},
    };
    test::TempDir temp{"zor_plant"};
    ASSERT_EQ(::chmod(temp.path().c_str(), 0755), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = temp.file(std::to_string(&c - cases));
        ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
        ASSERT_EQ(::chmod(dir.c_str(), c.sticky ? 01777 : 0777), 0);
        std::ofstream(dir + "/V") << "keep\n";
        ASSERT_TRUE(test::asOtherUser("cd " + dir + " && :; " + c.asOther));
        ASSERT_EQ(std::system(("cd " + dir + " && :; " + c.asUs).c_str()), 0);
        const std::string target = dir + "/" + c.target, before = fileText(target);
        const bool opens = c.refusal == FileRefusal::None;

        FileProblem problem;
        File f = File::openAppend(dir + "/" + c.name, problem);
        EXPECT_EQ(f.isOpen(), opens);
        EXPECT_EQ(problem.error, opens ? 0 : EACCES);
        EXPECT_EQ(problem.refusal, c.refusal);
        f.write("new\n", 4);
        EXPECT_EQ(fileText(target), opens ? before + "new\n" : before);
        f.close();

        const std::string appended = fileText(target);
        struct stat named {};
        ::lstat((dir + "/" + c.name).c_str(), &named);
        problem = FileProblem();
        EXPECT_EQ(writeWholeFile(dir + "/" + c.name, "whole\n", false, problem), opens);
        EXPECT_EQ(problem.refusal, c.refusal);
        EXPECT_EQ(fileText(target), opens ? "whole\n" : appended);
        struct stat after {};
        ::lstat((dir + "/" + c.name).c_str(), &after);
        EXPECT_EQ(S_ISLNK(after.st_mode), S_ISLNK(named.st_mode)) << "a link stays a link";
    }
}

// The session log stays beside a program whose folder takes it; a program
// in a folder the user cannot write to (here: one that does not exist, since
// the tests may run as root) logs into the user's state folder instead. The
// path alone leaves the disk untouched: the state folder is made only for a
// log that is opened, and only there.
TEST(SessionLogPath, BesideTheProgramElseInTheStateFolder) {
    test::TempDir temp{"zor_logpath"};
    const std::string state = temp.path() + "/state";
    const std::string home = temp.path() + "/home";
    const char* savedXdg = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdgBefore = savedXdg ? savedXdg : "", homeBefore = savedHome ? savedHome : "";
    const struct {
        const char* xdg;
        std::string beside;
        std::string expected;
    } cases[] = {
        {state.c_str(), temp.path() + "/zorload.LOG", temp.path() + "/zorload.LOG"},
        {state.c_str(), "/nonexistent/bin/zorload.LOG", state + "/zorload/zorload.LOG"},
        {"relative", "/nonexistent/bin/zorload.LOG", home + "/.local/state/zorload/zorload.LOG"},
        {"", "zorload.LOG", "zorload.LOG"},
    };
    setenv("HOME", home.c_str(), 1);
    for (const auto& c : cases) {
        setenv("XDG_STATE_HOME", c.xdg, 1);
        EXPECT_EQ(sessionLogPath(c.beside), c.expected) << c.beside;
        const std::string folder = c.expected.substr(0, c.expected.rfind('/'));
        struct stat st {};
        if (c.expected != c.beside) {
            EXPECT_NE(::stat(folder.c_str(), &st), 0) << folder;
            makeSessionLogFolder(folder + "/elsewhere/zorload.LOG");
            EXPECT_NE(::stat(folder.c_str(), &st), 0) << folder;
            makeSessionLogFolder(c.expected);
            ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
            EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
        }
    }
    savedXdg ? setenv("XDG_STATE_HOME", xdgBefore.c_str(), 1) : unsetenv("XDG_STATE_HOME");
    savedHome ? setenv("HOME", homeBefore.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
}  // namespace zor
