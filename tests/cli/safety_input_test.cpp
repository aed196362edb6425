// What comes from outside without being asked for: an update file whose
// headers claim gigabytes, and adapter names in the device folder, which are
// bytes chosen by whoever made them. Neither may cost memory the file does
// not hold, nor drive the terminal, nor break a JSON document.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "cli/station_view.h"
#include "platform/clock.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

using test::fileText;

struct CliRun {
    int status = -1;
    long peakKb = 0;  // the child's peak resident memory
    std::string out, err;
};

// Runs zorload-cli with args and env added to ours, its output in dir. With
// stopAt, it gets SIGTERM once its output holds that text (as a person would
// end the station); either way it is killed after 60 s.
CliRun runCli(const std::string& dir, const std::vector<std::string>& args,
              const std::vector<std::pair<std::string, std::string>>& env = {},
              const std::string& stopAt = "") {
    const std::string out = dir + "/out.txt", err = dir + "/err.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv{const_cast<char*>(ZORLOAD_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ZORLOAD_CLI, argv.data());
        ::_exit(127);
    }
    CliRun r;
    int status = 0;
    struct rusage usage {};
    bool stopped = false;
    for (int i = 0; ::wait4(pid, &status, WNOHANG, &usage) == 0; ++i) {
        if (i == 6000) {
            ::kill(pid, SIGKILL);
        } else if (!stopAt.empty() && !stopped &&
                   (fileText(out) + fileText(err)).find(stopAt) != std::string::npos) {
            ::kill(pid, SIGTERM);
            stopped = true;
        }
        std::this_thread::sleep_for(10ms);
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peakKb = usage.ru_maxrss;
    r.out = fileText(out);
    r.err = fileText(err);
    return r;
}

// Checked apart from the code under test: glibc's converter refuses
// anything that is not well-formed UTF-8.
bool wellFormedUtf8(const std::string& text) {
    const iconv_t cd = ::iconv_open("UTF-32LE", "UTF-8");
    std::string in = text;
    std::vector<char> buffer(4 * text.size() + 4);
    char* from = in.data();
    char* to = buffer.data();
    size_t left = in.size(), room = buffer.size();
    const bool ok = ::iconv(cd, &from, &left, &to, &room) != static_cast<size_t>(-1) && left == 0;
    ::iconv_close(cd);
    return ok;
}

// No byte that a terminal acts on: C0 codes but the line end (and the tab,
// where it separates columns), DEL, and the C1 codes in their UTF-8 form
// (U+009B is CSI to a terminal that reads UTF-8).
void expectNothingForTheTerminal(const std::string& text, const std::string& where,
                                 bool tabs = false) {
    EXPECT_TRUE(wellFormedUtf8(text)) << where << ":\n" << text;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        EXPECT_FALSE((c < 0x20 && c != '\n' && !(tabs && c == '\t')) || c == 0x7F || c1)
            << where << ": byte " << int(c) << " at " << i << " in:\n"
            << text;
    }
}

// A 4 GiB update file that is a hole after its first header, with SegSize
// "the whole file": the loader must check the blocks before it gives them a
// buffer, so refusing it costs the memory of a small file, not 4 GiB.
TEST(ForeignInput, HugeUpdateFileIsRefusedInLittleMemory) {
    test::TempDir temp{"zor_input"};
    const std::string path = temp.file("enorme.upd");
    ComponentSpec c;
    c.version = "Programma base VERS 2.20 BUILD 41";
    c.data = patternBlocks(1);
    c.segSize = SegSizeField::blanks();
    ASSERT_TRUE(UpdateFileWriter().add(c).writeTo(path));
    std::error_code ec;
    std::filesystem::resize_file(path, 0xFFFFFFFFull, ec);
    struct stat st {};
    if (ec || ::stat(path.c_str(), &st) != 0 || st.st_blocks * 512 > (64 << 20))
        GTEST_SKIP() << "the filesystem of /tmp makes no sparse files";

    const CliRun r = runCli(temp.path(), {"info", "--json", path});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("\"exit_status\": 3"), std::string::npos) << r.out;
    EXPECT_LT(r.peakKb, 200 * 1024) << "peak resident memory in KiB";
}

// Adapter names that carry ESC, BEL, a C1 code, a tab, a line end and a byte
// that is no UTF-8 (a by-id link is a file name: any bytes), beside one in
// plain UTF-8 that must show as it is. Every place the command line shows
// them: ports (text, JSON), the station (lines, JSON, the table). The ports
// themselves are still opened by their real names.
TEST(ForeignInput, AdapterNamesNeitherDriveTheTerminalNorBreakJson) {
    test::TempDir temp{"zor_input"};
    const std::string dir = temp.path(), byId = dir + "/dev/serial/by-id";
    std::filesystem::create_directories(byId);
    // BEL, the byte 0xFF, CSI (U+009B), tab and line end, each shown as '?'.
    const std::string marks(5, '?');
    const struct {
        std::string name, shown, json;
    } adapters[] = {
        {"\x1b]0;x\x07\xff\xc2\x9b\t\n-if00", "?]0;x" + marks + "-if00",
         "\\u001B]0;x\\u0007\xEF\xBF\xBD\\u009B\\u0009\\u000A-if00"},
        {"usb-Citt\xC3\xA0_\xCE\xA9-if00", "usb-Citt\xC3\xA0_\xCE\xA9-if00",
         "usb-Citt\xC3\xA0_\xCE\xA9-if00"},
    };
    std::vector<int> fds;
    for (const auto& a : adapters) {
        int master = -1, slave = -1;
        char tty[64] = {};
        ASSERT_EQ(::openpty(&master, &slave, tty, nullptr, nullptr), 0);
        ::close(slave);  // the ports open it by the link
        fds.push_back(master);
        ASSERT_EQ(::symlink(tty, (byId + "/" + a.name).c_str()), 0);
    }
    // COM1..COM4 lead nowhere: the host's own serial ports stay untouched;
    // nor does the user's positions file choose the ports.
    std::vector<std::pair<std::string, std::string>> env = {
        {"ZORLOAD_DEV_ROOT", dir + "/dev"},
        {"ZORLOAD_LOCK_DIR", dir},
        {"ZORLOAD_POSITIONS", dir + "/none.ini"}};
    for (char n = '1'; n <= '4'; ++n)
        env.emplace_back(std::string("ZORLOAD_COM") + n, dir + "/none" + n);
    const std::string upd = dir + "/a.upd";
    ComponentSpec c;
    c.version = "Boot VERS 1.01 BUILD 14";
    c.infoType = 8;
    c.data = patternBlocks(1);
    ASSERT_TRUE(UpdateFileWriter().add(c).writeTo(upd));
    const std::string last = adapters[1].name;  // listed last: by-id names go in byte order

    const CliRun text = runCli(dir, {"ports"}, env);
    const CliRun json = runCli(dir, {"ports", "--json"}, env);
    const CliRun lines = runCli(dir, {"station", upd, "--select", "all"}, env, last + ": ");
    const CliRun events =
        runCli(dir, {"station", upd, "--select", "all", "--json"}, env, last + "\", \"device");
    for (int fd : fds)
        ::close(fd);

    expectNothingForTheTerminal(text.out, "ports", true);
    expectNothingForTheTerminal(json.out, "ports --json");
    expectNothingForTheTerminal(lines.out, "station");
    expectNothingForTheTerminal(events.out, "station --json");
    EXPECT_EQ(text.status, 0);
    for (const auto& a : adapters) {
        const std::string shown = byId + "/" + a.shown, quoted = "\"" + byId + "/" + a.json + "\"";
        // Three columns on a line of its own; opened by its real name.
        EXPECT_NE(text.out.find("\n" + shown + "\tDisponibile\t" + shown + "\n"), std::string::npos)
            << text.out;
        EXPECT_NE(json.out.find("{\"name\": " + quoted + ", \"device\": " + quoted +
                                ", \"status\": \"Disponibile\", \"available\": true}"),
                  std::string::npos)
            << json.out;
        EXPECT_NE(lines.out.find("Z " + shown + ": sorvegliata (" + shown + ")\n"),
                  std::string::npos)
            << lines.out;
        EXPECT_NE(events.out.find("{\"event\": \"added\", \"port\": " + quoted +
                                  ", \"device\": " + quoted + "}\n"),
                  std::string::npos)
            << events.out;
    }
    EXPECT_NE(events.out.find("\"event\": \"summary\""), std::string::npos) << events.out;

    // The table redrawn on a terminal: port column (the name's start) and
    // device column (its end).
    VirtualClock clock;
    cli::StationView view(cli::StationView::Mode::Json, clock);
    for (const auto& a : adapters) {
        StationEvent e;
        e.kind = StationEvent::Kind::Added;
        e.port = e.device = byId + "/" + a.name;
        testing::internal::CaptureStdout();
        view.event(e, nullptr);
        testing::internal::GetCapturedStdout();
    }
    const std::vector<std::string> table = view.tableLines(0);
    ASSERT_EQ(table.size(), 4u);
    expectNothingForTheTerminal(table[1] + table[2], "table");
    EXPECT_EQ(table[1].rfind("?]0;x?\?", 0), 0u) << table[1];
    EXPECT_NE(table[1].find(marks + "-if00"), std::string::npos) << table[1];
    EXPECT_NE(table[2].find("\xC3\xA0_\xCE\xA9-if00"), std::string::npos) << table[2];
}

}  // namespace
}  // namespace zor
