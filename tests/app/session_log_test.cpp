#include "app/session_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "text/app_text.h"

namespace zor::test {
namespace {

namespace fs = std::filesystem;

TEST(SessionLog, AppendsSessionsAndReportsFailureToOpen) {
    const TempDir temp("zorlog");
    const fs::path dir = temp.path();
    const std::string path = temp.file("ZOR.LOG");
    RecordingUi ui;
    for (int run = 0; run < 2; ++run) {
        SessionLog log(path);
        log.AddLogLine("lost");
        log.CloseLog();
        EXPECT_EQ(fs::exists(path), run > 0);  // nothing created until opened
        ui.tell(log.OpenLog());
        log.writer()("a\tb\r\nc");
        log.AddLogLine("");
        if (run == 0) {
            log.CloseLog();
            log.CloseLog();  // already closed: no second end banner
        } else {
            ui.tell(log.OpenLog());  // reopened within the run; the destructor closes
        }
    }
    const std::string start = "Session start ---------------------------\r\n",
                      end = "Session end -----------------------------\r\n\r\n",
                      session = start + "a\tb\r\nc\r\n\r\n" + end;
    std::ostringstream file;
    file << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(file.str(), session + session + start + end);
    EXPECT_TRUE(ui.boxes.empty());

    for (std::string bad : {(dir / "missing" / "ZOR.LOG").string(), std::string()}) {
        SessionLog log(bad);
        EXPECT_FALSE(ui.tell(log.OpenLog()) || log.isOpen());
    }
    ASSERT_EQ(ui.boxes.size(), 2u);
    for (const auto& box : ui.boxes)
        EXPECT_TRUE(box.text == "Impossibile aprire il log file." && box.caption == "Zorload" &&
                    box.icon == BoxIcon::Information && !box.beeped);
}

#ifndef _WIN32
// An installed program logs into the user's state folder, which only an
// opened log makes: a session without the log leaves the disk untouched.
// (Windows logs beside the program only.)
TEST(SessionLog, StateFolderIsMadeOnlyForAnOpenedLog) {
    const TempDir temp("zorlog");
    const char* saved = ::getenv("XDG_STATE_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_STATE_HOME", temp.path().c_str(), 1);
    const fs::path folder = fs::path(temp.path()) / "zorload";
    RecordingUi ui;
    {
        SessionLog log((folder / "zorload.LOG").string());
        log.AddLogLine("lost");
        log.CloseLog();
        EXPECT_FALSE(fs::exists(folder));
        EXPECT_TRUE(log.OpenLog());
    }
    struct stat st {};
    EXPECT_EQ(::stat(folder.c_str(), &st) == 0 ? st.st_mode & 0777 : 0u, 0700u);
    EXPECT_TRUE(ui.boxes.empty());
    saved ? ::setenv("XDG_STATE_HOME", before.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
}
#endif

// A named pipe at the log's path, with or without a reader, is refused at
// once: the open never waits for a reader, and nothing goes into the pipe.
TEST(SessionLog, RefusesANamedPipeWithoutWaiting) {
    const TempDir temp("zorlog");
    const std::string path = temp.file("ZOR.LOG");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    for (bool withReader : {false, true}) {
        const int reader = withReader ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        ASSERT_EQ(reader >= 0, withReader);
        RecordingUi ui;
        SessionLog log(path);
        EXPECT_FALSE(ui.tell(log.OpenLog()));
        ASSERT_EQ(ui.boxes.size(), 1u) << withReader;
        EXPECT_EQ(ui.boxes[0].text, "Impossibile aprire il log file.");
        if (withReader) {
            char byte;
            EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing arrived
            ::close(reader);
        }
    }
}

TEST(SessionLog, PathReplacesOrAppendsTheExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"/opt/zor/ZOR.EXE", "/opt/zor/ZOR.LOG"}, {"/usr/bin/zorload", "/usr/bin/zorload.LOG"},
        {"/a.b/zorload", "/a.b/zorload.LOG"},     {"/a.b/z.x.y", "/a.b/z.x.LOG"},
        {"/u/.zorload", "/u/.zorload.LOG"},       {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(SessionLog::logPathFor(c.first), c.second);
    EXPECT_EQ(logCheckboxCaption("/opt/Zor/ZOR.LOG"), "Crea file registro in zor.log");
}

}  // namespace
}  // namespace zor::test
