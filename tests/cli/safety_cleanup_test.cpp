// What the programs leave behind: a bench's trace files stay within their
// cap however long it runs, whatever its ports send at once, and the wizard
// told to end by the system ends as its close box does, log closed and
// wake-up socket gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/trace_files.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

using test::fileText;

// A trace line of n bytes with its line end, made of c.
std::string line(size_t n, char c) {
    return std::string(n - 1, c) + "\n";
}

// A file reaches its cap once, ends with the note, and takes nothing more in
// this run or the next; what earlier runs left counts towards the cap.
TEST(TraceFiles, StayWithinTheirCapAcrossRuns) {
    constexpr uint64_t CAP = 400;
    test::TempDir dir("zor_tracecap");
    cli::TraceFiles probe(dir.path(), CAP);
    const std::string note = probe.capNote();
    probe.close();
    ASSERT_EQ(note, "--- traccia interrotta: raggiunto il limite di 400 byte per file ---\n");
    const std::string earlier = line(300, 'e'), huge = line(500, 'h');
    const std::string a = line(200, 'a'), b = line(200, 'b'), c = line(200, 'c');
    const std::string small = line(10, 's');
    const struct {
        const char* what;
        std::string before;  // left by runs of an older program
        std::vector<std::string> first, second;
        std::string after;
    } cases[] = {
        // A line that would fit after the note does not reopen a full file.
        {"filled, then a later run", "", {a, b, c}, {small}, a + note},
        {"an earlier run's lines count", earlier, {small, a}, {small}, earlier + small + note},
        {"past the cap already: the note once", huge, {small}, {small}, huge + note},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        const std::string path = dir.file("COM1.trace");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << t.before;
        for (const auto* run : {&t.first, &t.second}) {
            cli::TraceFiles traces(dir.path(), CAP);
            ASSERT_EQ(traces.pathFor("COM1"), path);
            for (const std::string& text : *run)
                traces.add("COM1", text);
        }
        EXPECT_EQ(fileText(path), t.after);
    }
}

// Lines from many ports' threads at once, through a queue so small that many
// are dropped, or through none: every line in the file is whole and in its
// thread's order, and every line missing is counted by a note.
TEST(TraceFiles, LinesFromManyThreadsArriveWholeOrCounted) {
    constexpr int THREADS = 8, LINES = 2000;
    for (size_t queueCap : {size_t{16384}, size_t{0}}) {
        SCOPED_TRACE(queueCap);
        test::TempDir dir("zor_tracethreads");
        {
            cli::TraceFiles traces(dir.path(), cli::TRACE_FILE_CAP, queueCap);
            std::vector<std::thread> ports;
            for (int t = 0; t < THREADS; ++t) {
                ports.emplace_back([&traces, t] {
                    for (int i = 0; i < LINES; ++i) {
                        traces.add("/dev/ttyUSB0", std::to_string(t) + " " + std::to_string(i) +
                                                       " " + std::string(i % 97, char('a' + t)) +
                                                       "\n");
                    }
                });
            }
            for (std::thread& p : ports)
                p.join();
        }
        std::istringstream file(fileText(dir.file("dev_ttyUSB0.trace")));
        std::vector<int> next(THREADS, 0);
        long written = 0, dropped = 0;
        for (std::string text; std::getline(file, text);) {
            long lost = 0;
            if (std::sscanf(text.c_str(), "--- traccia incompleta: %ld ", &lost) == 1) {
                dropped += lost;
                continue;
            }
            int t = -1, i = -1;
            ASSERT_EQ(std::sscanf(text.c_str(), "%d %d ", &t, &i), 2) << text;
            ASSERT_TRUE(t >= 0 && t < THREADS && i >= next[t]) << text;
            ASSERT_EQ(text, std::to_string(t) + " " + std::to_string(i) + " " +
                                std::string(i % 97, char('a' + t)));
            next[t] = i + 1;
            ++written;
        }
        EXPECT_EQ(written + dropped, THREADS * LINES);
    }
}

#ifdef ZORLOAD_WIZARD

// Qt's evdev keyboard plugin reads key events from whatever file under /dev
// it is named: a FIFO there is the wizard's keyboard, so the real program
// can be taken through its pages.
class Keyboard {
  public:
    Keyboard() : path_("/dev/shm/zor_kbd_" + std::to_string(::getpid())) {
        if (::mkfifo(path_.c_str(), 0600) == 0)
            fd_ = ::open(path_.c_str(), O_RDWR);  // never at end of file for Qt
    }
    ~Keyboard() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    bool ready() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // Presses keys together: down in order, up in reverse.
    void press(std::initializer_list<uint16_t> keys) {
        std::vector<uint16_t> order(keys);
        order.insert(order.end(), std::rbegin(keys), std::rend(keys));
        std::vector<input_event> events;
        for (size_t i = 0; i < order.size(); ++i) {
            events.push_back({{}, EV_KEY, order[i], i < keys.size()});
            events.push_back({{}, EV_SYN, SYN_REPORT, 0});
        }
        const ssize_t size = static_cast<ssize_t>(events.size() * sizeof events[0]);
        ASSERT_EQ(::write(fd_, events.data(), size), size);
    }

  private:
    std::string path_;
    int fd_ = -1;
};

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit,
             const std::function<void()>& step = {}) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms)) {
        if (done())
            return true;
        if (step)
            step();
    }
    return done();
}

// Starts args[0] with NAME=value settings added to the test's environment,
// as a desktop would (the three signals at their defaults), stderr to
// errPath.
pid_t start(std::vector<std::string> args, std::vector<std::string> env,
            const std::string& errPath) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (std::string& e : env)
            ::putenv(e.data());
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::signal(s, SIG_DFL);
        ::dup2(::open("/dev/null", O_WRONLY), 1);
        ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Its exit status once it has ended (within limit), else killed: -1.
int ending(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    if (waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit))
        return status;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

// The real wizard, offscreen, with its keyboard, lock folder and log (beside
// a copy of the program) in the test's folders.
class WizardSignals : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!keyboard.ready())
            GTEST_SKIP() << "no FIFO under /dev/shm for the keyboard";
        std::filesystem::copy_file(ZORLOAD_WIZARD, program);
    }
    pid_t startWizard(const std::string& runtime, std::vector<std::string> args,
                      std::vector<std::string> env = {}) {
        EXPECT_EQ(::mkdir(runtime.c_str(), 0700), 0);
        args.insert(args.begin(), {program, "-log"});
        env.insert(env.end(), {"QT_QPA_PLATFORM=offscreen",
                               "QT_QPA_GENERIC_PLUGINS=evdevkeyboard:" + keyboard.path(),
                               "XDG_RUNTIME_DIR=" + runtime, "XDG_STATE_HOME=" + dir.path(),
                               "HOME=" + dir.path(), "ZORLOAD_ANSWER_BOXES=1"});
        ::unlink(log.c_str());
        const pid_t pid = start(args, env, err);
        EXPECT_GT(pid, 0);
        struct stat st {};
        EXPECT_TRUE(waitFor(
            [&] { return ::stat((runtime + "/MorvantiZorloadMutex.sock").c_str(), &st) == 0; },
            20s));
        return pid;
    }
    // "Avanti >" by its accelerator until the log holds text. Not Enter: it
    // presses whichever button has the focus, and while the port scan keeps
    // "Avanti >" disabled the focus moves on to "< Indietro".
    bool nextUntil(const std::string& text) {
        return waitFor([&] { return fileText(log).find(text) != std::string::npos; }, 20s,
                       [&] {
                           keyboard.press({KEY_LEFTALT, KEY_A});
                       });
    }

    Keyboard keyboard;
    test::TempDir dir{"zor_wizsig"};
    const std::string program = dir.file("zorload"), log = dir.file("zorload.LOG"),
                      err = dir.file("stderr");
};

// SIGTERM, SIGINT and SIGHUP on the file page: the wizard ends as its close
// box would, the log's end banner written and the wake-up socket removed,
// with 128 + the signal's number.
TEST_F(WizardSignals, EndLikeTheCloseBox) {
    const struct {
        int signal;
        const char* name;
    } cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string runtime = dir.file(std::string("run-") + c.name);
        const pid_t wizard = startWizard(runtime, {});
        EXPECT_TRUE(nextUntil("Session start"));  // the start page opens the log
        ::kill(wizard, c.signal);
        const int status = ending(wizard, 20s);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + c.signal) << status;
        struct stat st {};
        EXPECT_NE(::lstat((runtime + "/MorvantiZorloadMutex.sock").c_str(), &st), 0)
            << "the wake-up socket is left behind";
        const std::string text = fileText(log);
        const std::string end = "Session end -----------------------------\r\n\r\n";
        EXPECT_TRUE(text.size() >= end.size() &&
                    text.compare(text.size() - end.size(), end.size(), end) == 0)
            << text;
    }
}

// Lock files of the serial ports in the test's lock folder.
size_t portLocks(const std::string& folder) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        n += entry.path().filename().string().rfind("LCK..", 0) == 0;
    return n;
}

// A wizard against zorsim (whose writes never end) on COM1, brought to the
// component page with the port open; what stays to be ended is returned.
struct OnThePort {
    pid_t wizard = -1, sim = -1;
};

class WizardOnPort : public WizardSignals {
  protected:
    OnThePort toComponentPage() {
        OnThePort run;
        EXPECT_EQ(ending(start({ZORSIM, "--write-sample", sample}, {}, simErr), 20s), 0);
        run.sim = start({ZORSIM, "--link", com1, "--trace", "--fault", "C:0:endless-progress"}, {},
                        simErr);
        EXPECT_TRUE(waitFor([&] { return std::filesystem::is_symlink(com1); }, 20s));
        const std::string absent = dir.file("absent");
        run.wizard =
            startWizard(dir.file("run"), {sample},
                        {"ZORLOAD_COM1=" + com1, "ZORLOAD_COM2=" + absent, "ZORLOAD_COM3=" + absent,
                         "ZORLOAD_COM4=" + absent, "ZORLOAD_DEV_ROOT=" + dir.path(),
                         "ZORLOAD_LOCK_DIR=" + dir.path()});
        // Start, file, instructions, COM1, check: the component page, planned
        // once with nothing ticked.
        EXPECT_TRUE(nextUntil("END /* SistemaBlocchi */"));
        return run;
    }
    void end(const OnThePort& run) {
        ::kill(run.wizard, SIGKILL);
        ::waitpid(run.wizard, nullptr, 0);
        ::kill(run.sim, SIGTERM);
        ending(run.sim, 20s);
    }

    const std::string sample = dir.file("s.upd"), com1 = dir.file("COM1");
    const std::string simErr = dir.file("zorsim.err");
};

// Killed on the component page, with the port open: the port's lock file
// (naming the wizard's pid) goes with the port, as after the close box.
TEST_F(WizardOnPort, EndedOnTheComponentPageLetsThePortGo) {
    const OnThePort run = toComponentPage();
    EXPECT_EQ(portLocks(dir.path()), 1u) << "the open port has its lock file";
    ::kill(run.wizard, SIGTERM);
    const int status = ending(run.wizard, 20s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
    EXPECT_EQ(portLocks(dir.path()), 0u) << "the port's lock file is left behind";
    EXPECT_NE(fileText(log).find("Session end"), std::string::npos);
    end(run);
}

// While the chronometer is written a request is refused on stderr, and the
// wizard goes on.
TEST_F(WizardOnPort, RefusedWhileTheChronometerIsWritten) {
    const OnThePort run = toComponentPage();
    auto plans = [&] {
        const std::string text = fileText(log);
        size_t n = 0;
        for (size_t at = 0; (at = text.find("BEGIN SistemaBlocchi", at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    const size_t before = plans();
    keyboard.press({KEY_SPACE});  // the first component ticked
    EXPECT_TRUE(waitFor([&] { return plans() > before; }, 20s));
    keyboard.press({KEY_LEFTALT, KEY_A});
    // The first data block: the transfer page shows.
    EXPECT_TRUE(waitFor(
        [&] { return fileText(simErr).find("host->crono 01 46 45") != std::string::npos; }, 20s));
    ::kill(run.wizard, SIGTERM);
    EXPECT_TRUE(waitFor(
        [&] {
            return fileText(err).find(
                       "zorload: L'invio dei dati al cronometro non può essere "
                       "interrotto.") != std::string::npos;
        },
        20s))
        << fileText(err);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(::waitpid(run.wizard, nullptr, WNOHANG), 0) << "the wizard ended";
    end(run);
}

#endif  // ZORLOAD_WIZARD

}  // namespace
}  // namespace zor
