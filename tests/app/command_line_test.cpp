#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/version_info.h"
#include "text/app_text.h"

namespace zor::test {
namespace {

#define TABLE "\\StringFileInfo\\041004E4\\"
const char kTr[] = "\\VarFileInfo\\Translation";
const uint8_t kItalian[] = {0x10, 0x04, 0xE4, 0x04},
              kEnglishFirst[] = {9, 4, 0xB0, 4, 0x10, 4, 0xE4, 4};
const auto* bytes(const char* s) {
    return reinterpret_cast<const uint8_t*>(s);
}

// FileDescription, FileVersion; ProductName only in the first; a value
// without its NUL and one with bytes after it.
const VersionValue kValues[] = {{TABLE "ProductName", bytes("Morvanti Zorload"), 17},
                                {kTr, kItalian, 4},
                                {TABLE "FileDescription", bytes("Zorload"), 8},
                                {TABLE "FileVersion", bytes("2.1.0.155"), 10},
                                {TABLE "Raw", bytes("AB"), 2},
                                {TABLE "Comments", bytes("x\0y"), 3}};
const VersionBlock kFull{kValues, 6}, kNoName{kValues + 1, 5};
const VersionValue kShortTr[] = {{kTr, kItalian, 3}, kValues[2]};
const VersionValue kEnglish[] = {{kTr, kEnglishFirst, 8},
                                 kValues[2],
                                 {"\\StringFileInfo\\040904B0\\FileVersion", bytes("9"), 2}};

TEST(VersionInfo, LooksUpTheFirstTranslationsTable) {
    const VersionBlock shortTr{kShortTr, 2}, english{kEnglish, 3};
    const struct {
        const VersionBlock* block;
        const char* key;
        std::string expected;
    } cases[] = {
        {&kFull, "FileDescription", "Zorload"},
        {&kFull, "Raw", "AB"},
        {&kFull, "Comments", "x"},
        {&kFull, "ProductVersion", "dflt"},
        {&shortTr, "FileDescription", "dflt"},
        {&english, "FileVersion", "9"},
        {&english, "FileDescription", "dflt"},
        {nullptr, "FileDescription", "dflt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getVersionString(c.block, c.key, "dflt"), c.expected);
    EXPECT_EQ(applicationTitle(nullptr), "-");
    EXPECT_EQ(programVersionLabel(nullptr), "Versione <not set>");
}

const std::string kUsage = "Uso: ZOR.EXE [-v] [-high] [-?] [FileDaCaricare]";

// The parse and the boxes it makes.
struct Parsed : CommandLineResult {
    std::vector<BoxRequest> boxes;
};

Parsed parse(std::vector<std::string> args, const VersionBlock* block = &kFull,
             SlashRule slash = SlashRule::OptionUnlessPath) {
    Parsed p;
    static_cast<CommandLineResult&>(p) = ParseCommandLine(args, slash);
    p.boxes = commandLineBoxes(p, "ZOR.EXE", block);
    return p;
}

TEST(CommandLine, SetsFlagsAndFileName) {
    const struct {
        std::vector<std::string> args;
        bool high, log;
        std::string file;
    } cases[] = {{{}, false, false, ""},
                 {{"/HIGH"}, true, false, ""},
                 {{"-High", "x"}, true, false, "x"},
                 {{"/LoG", "a.upd", "b.upd"}, false, true, "b.upd"},
                 {{"-high", "/home/tecnico/nuovo.upd"}, true, false, "/home/tecnico/nuovo.upd"}};
    for (const auto& c : cases) {
        Parsed r = parse(c.args);
        EXPECT_TRUE(r.highSpeed == c.high && r.logOption == c.log && r.FileDaCaricare == c.file);
        EXPECT_TRUE(r.boxes.empty() && !r.exitProcess);
    }
}

// A leading '/' is always an option on Windows; on Linux a further '/' makes
// the argument an absolute path.
TEST(CommandLine, SlashArgumentsFollowTheSystemsPaths) {
    const SlashRule win = SlashRule::Option, lin = SlashRule::OptionUnlessPath;
    const struct {
        const char* arg;
        SlashRule slash;
        bool unknown;
        std::string file;
    } cases[] = {
        {"/a/b.upd", win, true, ""},
        {"/a/b.upd", lin, false, "/a/b.upd"},
        {"/v/", win, true, ""},
        {"/v/", lin, false, "/v/"},
        {"/x.upd", win, true, ""},
        {"/x.upd", lin, true, ""},
        {"C:/a/b.upd", win, false, "C:/a/b.upd"},
        {"-a/b", lin, true, ""},
    };
    for (const auto& c : cases) {
        const Parsed r = parse({"x.upd", c.arg}, &kFull, c.slash);
        EXPECT_EQ(r.exitProcess, c.unknown) << c.arg;
        EXPECT_EQ(r.FileDaCaricare, c.unknown ? "x.upd" : c.file) << c.arg;
        if (c.unknown) {
            ASSERT_EQ(r.boxes.size(), 1u);
            EXPECT_EQ(r.boxes[0].text,
                      std::string("Opzione della linea di comando sconosciuta: '") + c.arg +
                          "'\r\n" + kUsage);
            EXPECT_EQ(r.exitStatus, 1);
        }
    }
    EXPECT_TRUE(parse({"/HIGH"}, &kFull, win).highSpeed);
}

// -banco anywhere opens the bench; -avvia is an option only beside it, so
// the wizard's line is read as it always was.
TEST(CommandLine, BenchOptions) {
    const SlashRule win = SlashRule::Option, lin = SlashRule::OptionUnlessPath;
    const struct {
        std::vector<std::string> args;
        SlashRule slash;
        bool bench, autoStart, unknown;
        std::string file;
    } cases[] = {
        {{"-banco"}, lin, true, false, false, ""},
        {{"-AVVIA", "/Banco", "a.upd"}, win, true, true, false, "a.upd"},
        {{"/home/u/a.upd", "-avvia", "/BANCO", "-high"}, lin, true, true, false, "/home/u/a.upd"},
        {{"a.upd", "-avvia"}, lin, false, false, true, "a.upd"},
        {{"-banco", "-x"}, lin, true, false, true, ""},
    };
    for (const auto& c : cases) {
        const Parsed r = parse(c.args, &kFull, c.slash);
        EXPECT_EQ(r.bench, c.bench) << c.args[0];
        EXPECT_EQ(r.autoStart, c.autoStart) << c.args[0];
        EXPECT_EQ(r.exitProcess, c.unknown) << c.args[0];
        EXPECT_EQ(r.FileDaCaricare, c.file) << c.args[0];
    }
}

TEST(CommandLine, EndingOptionsStopTheParse) {
    Parsed r = parse({"a.upd", "/?", "-high", "-x"});
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, kUsage);
    EXPECT_EQ(r.boxes[0].icon, BoxIcon::Information);
    EXPECT_TRUE(r.exitProcess && r.exitStatus == 1 && !r.highSpeed);
    // The argument goes in as typed, never through a format.
    for (std::string arg : {"--v", "-", "-%s%n", "/x.upd"}) {
        r = parse({arg, "-log"});
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].text,
                  "Opzione della linea di comando sconosciuta: '" + arg + "'\r\n" + kUsage);
        EXPECT_EQ(r.boxes[0].icon, BoxIcon::Error);
        EXPECT_TRUE(r.exitProcess && r.exitStatus == 1 && !r.logOption);
    }
    // The usage names the program file without its folder, from either kind of path.
    EXPECT_EQ(programFileName("C:\\Prog\\ZOR.EXE"), "ZOR.EXE");
    EXPECT_EQ(programFileName("/usr/bin/zorload"), "zorload");
}

TEST(CommandLine, VersionBoxesComeInOrder) {
    std::vector<BoxRequest> boxes = parse({"-v", "-x"}).boxes;
    for (const BoxRequest& box : parse({"-V"}, &kNoName).boxes)
        boxes.push_back(box);
    ASSERT_EQ(boxes.size(), 3u);
    const std::string head = "Informazioni sulla versione:\r\n\r\n";
    EXPECT_EQ(boxes[0].text, head + "Morvanti Zorload\nVersione 2.1.0.155");
    EXPECT_EQ(boxes[1].icon, BoxIcon::Error);
    EXPECT_EQ(boxes[2].text, head + "<not set>\nVersione 2.1.0.155");
    for (const auto& box : boxes)
        EXPECT_EQ(box.caption, "Zorload");
}

}  // namespace
}  // namespace zor::test
