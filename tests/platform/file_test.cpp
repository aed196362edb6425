#include "platform/file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace zor {
namespace {

// The session log stays beside a program whose folder takes it; a program
// in a folder the user cannot write to (here: one that does not exist, since
// the tests may run as root) logs into the user's state folder instead.
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
            ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
            EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
        }
    }
    savedXdg ? setenv("XDG_STATE_HOME", xdgBefore.c_str(), 1) : unsetenv("XDG_STATE_HOME");
    savedHome ? setenv("HOME", homeBefore.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
}  // namespace zor
