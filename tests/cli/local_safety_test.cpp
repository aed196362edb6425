// A service-bench PC is shared and the programs run as root: what another
// local user can put in their way (names planted in shared folders, a lock
// file, a process name, the chronometer's texts, a port path) must not make
// them write through it, remove it, or pass its control codes on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/session_log.h"
#include "cli/port_access.h"
#include "flash/planner.h"
#include "link/conn_check.h"
#include "link/sim_link.h"
#include "platform/file.h"
#include "platform/serial_port.h"
#include "sim/chronometer.h"
#include "support/second_user.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

using test::fileText;

// An environment variable set for one test, restored after it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name))
            old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// The exit status of a shell command line.
int run(const std::string& line) {
    const int rc = std::system((line + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class LocalSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        // Shared with the other user, and not sticky: the kernel's own link
        // protection does not apply there even where it is switched on.
        ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    }

    test::TempDir temp{"zor_safety"};
    const std::string dir = temp.path();
};

// Runs command as the other user with the kernel's protected_hardlinks off,
// as on a system that has it off, and puts the setting back; false when the
// command failed or the setting cannot be changed here.
bool asOtherUserWithLooseHardlinks(const std::string& command) {
    const char* setting = "/proc/sys/fs/protected_hardlinks";
    std::string before;
    if (!(std::ifstream(setting) >> before) || !(std::ofstream(setting) << "0\n"))
        return false;
    const bool ok = test::asOtherUser(command);
    std::ofstream(setting) << before << "\n";
    return ok;
}

// The bench's record and the simulator's sample file, at a name the other
// user planted: the record is refused as a usage error before any port is
// touched, the sample replaces the name; neither writes into what it leads to.
TEST_F(LocalSafety, PlantedNamesAreNeverWrittenThrough) {
    ZOR_SKIP_UNLESS_ROOT();
    const struct {
        const char* what;
        const char* plant;  // as the other user, in dir; N is the name used
        const char* target;
        bool record;
        bool looseHardlinks = false;  // the plant needs protected_hardlinks off
        bool sticky = false;          // dir sticky, as /tmp is
    } cases[] = {
        {"record: their link to our file", "ln -sf V N", "V", true},
        {"record: their second name for our file", "ln -f V N", "V", true, true},
        {"record: their file in a sticky folder", "echo theirs >N", "N", true, false, true},
        {"record: their file with a second name", "echo x >O && ln -f O N", "O", true},
        {"sample: their link to our file", "ln -sf V N", "V", false},
        {"sample: their file with a second name", "echo x >O && ln -f O N", "O", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir + "/V") << "keep\n";
        ASSERT_EQ(::chmod(dir.c_str(), c.sticky ? 01777 : 0777), 0);
        ::unlink((dir + "/N").c_str());
        ::unlink((dir + "/O").c_str());
        const std::string plant = "cd " + dir + " && rm -f N O && " + c.plant;
        if (c.looseHardlinks) {
            if (!asOtherUserWithLooseHardlinks(plant)) {
                std::printf("skipped: protected_hardlinks cannot be switched off here\n");
                continue;
            }
        } else {
            ASSERT_TRUE(test::asOtherUser(plant));
        }
        const std::string target = dir + "/" + c.target, before = fileText(target);
        const std::string name = dir + "/N";
        if (c.record) {
            EXPECT_EQ(run(std::string(ZORLOAD_CLI) + " update /dev/null " + dir +
                          "/none.upd --select all --record " + name),
                      2);
        } else {
            EXPECT_EQ(run(std::string(ZORSIM) + " --write-sample " + name), 0);
            struct stat st {};
            ASSERT_EQ(::lstat(name.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
                        st.st_size > 0);
        }
        EXPECT_EQ(fileText(target), before);
    }
}

// What a command printed on stdout and stderr, and its exit status.
std::pair<int, std::string> runCapturing(const std::string& line) {
    std::string out;
    FILE* pipe = ::popen((line + " 2>&1").c_str(), "r");
    char chunk[512];
    for (size_t n; pipe && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int rc = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, out};
}

// The other user's link d leads to a folder of ours: every file the
// programs write, named through d, is refused with d named, and nothing
// appears in our folder (a folder of root's, where they could not write).
TEST_F(LocalSafety, NoFolderOnThePathLeadsElsewhere) {
    ZOR_SKIP_UNLESS_ROOT();
    const std::string ours = dir + "/ours", d = dir + "/d";
    ASSERT_EQ(::mkdir(ours.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((ours + "/tracce").c_str(), 0755), 0);
    ASSERT_TRUE(test::asOtherUser("ln -s " + ours + " " + d));
    const std::string cli = ZORLOAD_CLI, sim = ZORSIM;
    const struct {
        const char* what;
        std::string line;
        int status;
    } cases[] = {
        {"update --record",
         cli + " update /dev/null " + dir + "/none.upd --select all --record " + d + "/r.jsonl", 2},
        {"station --trace-dir",
         cli + " station " + dir + "/none.upd --select all --trace-dir " + d + "/tracce", 2},
        {"zorsim --write-sample", sim + " --write-sample " + d + "/esempio.upd", 1},
        {"zorsim --link", sim + " --link " + d + "/COM1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [status, said] = runCapturing(c.line);
        EXPECT_EQ(status, c.status);
        EXPECT_NE(said.find(d + ": collegamento simbolico di un altro utente"), std::string::npos)
            << said;
    }

    // The session log in the state folder, when XDG_STATE_HOME leads there.
    const ScopedEnv state("XDG_STATE_HOME", d + "/state");
    const std::string log = d + "/state/zorload/zorload.LOG";
    makeSessionLogFolder(log);
    SessionLog session(log);
    EXPECT_FALSE(session.OpenLog());

    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ours), {}), 1)
        << "something was written in our folder";
    EXPECT_TRUE(std::filesystem::is_empty(ours + "/tracce"));
}

// zorsim's lock beside its link is made by zorsim or not touched: an
// unrelated file or another user's link at that name stays as it was, even
// when zorsim then refuses the link itself; only what a zorsim that died
// leaves (its own file with a pid line) is taken over, and removed at the end.
TEST_F(LocalSafety, ZorsimSparesALockFileNotItsOwn) {
    const struct {
        const char* what;
        const char* lockText;  // written by us at COM1.lock; nullptr: a link
        bool linkIsAFile;      // COM1 itself a file, which zorsim refuses
        bool starts;
    } cases[] = {
        {"an unrelated file, link refused", "tieni questo\n", true, false},
        {"an unrelated file, link free", "tieni questo\n", false, false},
        {"another user's link", nullptr, false, false},
        {"a dead zorsim's lock", "4194999\n", false, true},
    };
    const std::string link = dir + "/COM1", lock = link + ".lock", victim = dir + "/V";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(link.c_str());
        ::unlink(lock.c_str());
        std::ofstream(victim) << "keep\n";
        if (c.lockText) {
            std::ofstream(lock) << c.lockText;
        } else if (::geteuid() == 0) {
            ASSERT_TRUE(test::asOtherUser("ln -s " + victim + " " + lock));
        } else {
            ASSERT_EQ(::symlink(victim.c_str(), lock.c_str()), 0);
        }
        if (c.linkIsAFile)
            std::ofstream(link) << "file\n";
        const std::string before = c.lockText ? c.lockText : victim;

        const pid_t sim = ::fork();
        if (sim == 0) {
            ::dup2(::open("/dev/null", O_WRONLY), 1);
            ::dup2(1, 2);
            ::execl(ZORSIM, ZORSIM, "--link", link.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct stat st {};
        if (c.starts) {
            for (int i = 0; i < 200 && ::lstat(link.c_str(), &st) != 0; ++i)
                std::this_thread::sleep_for(10ms);
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            ::kill(sim, SIGTERM);
        }
        ::waitpid(sim, &status, 0);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.starts ? 0 : 1);
        if (c.starts) {
            EXPECT_NE(::lstat(lock.c_str(), &st), 0) << "its own lock goes at the end";
        } else {
            char target[256] = {};
            EXPECT_EQ(c.lockText
                          ? fileText(lock)
                          : std::string(target, std::max<ssize_t>(
                                                    0, ::readlink(lock.c_str(), target, 255))),
                      before);
        }
        EXPECT_EQ(fileText(victim), "keep\n");
    }
}

// Texts from the chronometer and from another user's process reach the
// terminal and the session log without their control codes: an escape
// sequence cannot drive the terminal, a CR LF cannot forge a log line. The
// program's own line ends and tabs stay.
TEST_F(LocalSafety, ForeignTextsLoseTheirControlCodes) {
    // A process of anyone's, named with an escape sequence, holds the port's
    // lock file.
    const ScopedEnv lockDir("ZORLOAD_LOCK_DIR", dir);
    const std::string device = dir + "/ttyFAKE";
    std::ofstream(device) << "";
    const pid_t holder = ::fork();
    if (holder == 0) {
        // The name people see is the program's as started, argv[0].
        ::execl("/bin/sleep", "\x1b]0;pwn\x07", "30", nullptr);
        ::_exit(127);
    }
    std::ofstream(dir + "/LCK..ttyFAKE") << std::string(6, ' ') << holder << "\n";
    std::this_thread::sleep_for(50ms);  // the name is set
    const std::string hint = cli::openFailureText("COM1", device, OpenFailure::InUse, EBUSY);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    // A chronometer whose identification and partition name carry codes.
    VirtualClock clock;
    sim::SimConfig config;
    config.identification = "007 S/N 1\x1b[2J\r\nEND /* ConnCheck */";
    config.partitions[1].name = "Programma\x1b]0;x\x07 VERS 1.0";
    sim::Chronometer chrono(config);
    sim::SimDevices devices{clock};
    devices.attach("COM1", chrono);
    test::RecordingUi ui;
    SerialLink link{devices, clock};
    std::vector<std::string> log;
    const LogWriter writer = [&](const std::string& t) { log.push_back(t); };
    PartitionTable tableRead, planned;
    PlanVerdict verdict;
    ASSERT_TRUE(link.RsOpen("COM1") && ConnCheck(link, tableRead, false, writer));
    SistemaBlocchi({}, tableRead, planned, verdict, writer);
    std::string logText;
    for (const std::string& t : log)
        logText += t + "\r\n";

    const struct {
        const char* where;
        std::string text, expected;
    } cases[] = {
        {"lock holder's name", hint, "(]0;pwn)"},
        {"identification in the log", logText, "S/N:\t007 S/N 1?[2J??END /* ConnCheck */\r\n"},
        {"listing line in the log", logText, "Programma?]0;x? VERS 1.0"},
        {"table dump in the log", logText, "  Programma?]0;x? VERS 1.0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        EXPECT_NE(c.text.find(c.expected), std::string::npos) << c.text;
        std::string rest = c.text;
        for (size_t at; (at = rest.find("\r\n")) != std::string::npos;)
            rest.erase(at, 2);
        for (char ch : rest)
            EXPECT_FALSE((ch > 0 && ch < 0x20 && ch != '\t' && ch != '\n') || ch == 0x7F)
                << int(ch);
    }
}

// A port path is opened only when it names a character device: a named pipe
// given as a port (through ZORLOAD_COMn, say) is not opened at all, so a
// writer waiting for its reader is not let through.
TEST_F(LocalSafety, OnlyCharacterDevicesAreOpenedAsPorts) {
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
        ::_exit(fd >= 0 ? 0 : 1);
    }
    std::this_thread::sleep_for(50ms);
    const OpenResult r = systemSerialDevices().open(fifo, false);
    EXPECT_TRUE(!r.port && r.failure == OpenFailure::NotSerial);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(::waitpid(writer, nullptr, WNOHANG), 0) << "the writer got a reader";
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
}

}  // namespace
}  // namespace zor
