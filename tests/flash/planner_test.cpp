#include "flash/planner.h"

#include <gtest/gtest.h>

#include <cstring>

#include "flash/table_text.h"

namespace zor {
namespace {

using test::layout;
using test::table;

Segmento component(uint16_t type, uint16_t posn, uint16_t blks, const char* text, char pad = ' ') {
    Segmento s;
    s.Version.fill(pad);
    std::memcpy(s.Version.data(), text, std::strlen(text));
    s.InfoType = type;
    s.Posn = posn;
    s.Blks = blks;
    s.datiSize = 1;
    return s;
}

const char* chrono =
    "8+1=Milo VERS 1 BUILD 1;0+4=Programma VERS 2 BUILD 3;1+1=Lingua VERS 1 BUILD 3;9+2";

struct PlanRun {
    bool ok;
    PlanVerdict verdict;
    PartitionTable plan;
    std::vector<std::string> lines;
};

PlanRun plan(const PartitionTable& installed, const std::vector<PlanItem>& items) {
    PlanRun r;
    r.ok = SistemaBlocchi(items, installed, r.plan, r.verdict,
                          [&r](const std::string& line) { r.lines.push_back(line); });
    PartitionTable quiet;  // no log writer: the same plan
    PlanVerdict quietVerdict;
    EXPECT_EQ(SistemaBlocchi(items, installed, quiet, quietVerdict, LogWriter()), r.ok);
    EXPECT_EQ(layout(quiet), layout(r.plan));
    EXPECT_EQ(quietVerdict, r.verdict);
    return r;
}

TEST(Planner, Rules) {
    const Segmento build4 = component(1, 0, 1, "Lingua VERS 1 BUILD 4"),
                   vers2 = component(1, 7, 1, "Lingua VERS 2 BUILD 1"),
                   lower = component(1, 0, 1, "lingua VERS 1 BUILD 4"),
                   wide = component(1, 0, 3, "Grande VERS 1 BUILD 1"),
                   build4Wide = component(1, 0, 2, "Lingua VERS 1 BUILD 4"),
                   gara = component(1, 0, 1, "Dati gara VERS 1.0"),
                   prog = component(0, 1, 5, "Programma VERS 3"),
                   progOnMilo = component(0, 0, 2, "Programma VERS 3"),
                   milo0 = component(0x108, 0x10, 1, "Milo VERS 2"),
                   milo1 = component(8, 1, 1, "Milo VERS 3"),
                   miloOnData = component(8, 5, 1, "Milo VERS 3"),
                   other = component(5, 0, 1, "Altro VERS 1"),
                   progPosn17 = component(0, 0x11, 5, "Programma VERS 3"),
                   overProgram = component(1, 0, 4, "Programma VERS 2 BUILD 4"),
                   overMilo = component(1, 0, 1, "Milo VERS 1 BUILD 2");
    struct Case {
        const char* what;
        const char* installed;
        std::vector<const Segmento*> checked;
        PlanVerdict verdict;
        const char* plan;
        const char* failure;  // last log line of a failed run, null on success
    };
    using V = PlanVerdict;
    // clang-format off
    const Case cases[] = {
        {"new build in place", chrono, {&build4}, V::Partial, "8:0+1 0:1+4 1:5+1* 9:6+2", nullptr},
        {"other version first fit", chrono, {&vers2}, V::Partial, "8:0+1 0:1+4 1:5+1 1:6+1* 9:7+1", nullptr},
        {"case-sensitive name", chrono, {&lower}, V::Partial, "8:0+1 0:1+4 1:5+1 1:6+1* 9:7+1", nullptr},
        {"padded 1.0 never matches", "8+1;1+1=Dati gara VERS 1.0;9+6", {&gara}, V::Partial,
         "8:0+1 1:1+1 1:2+1* 9:3+5", nullptr},
        {"complete update", chrono, {&prog, &vers2}, V::Complete,
         "8:0+1 0:1+5* 1:6+1* 9:7+1*", nullptr},
        {"clean-up drops other types", "8+1;3+1=T;1+2=D;9+4", {&prog}, V::Complete,
         "8:0+1 0:1+5* 9:6+2*", nullptr},
        {"milo drops milo and program", chrono, {&milo0}, V::Partial, "8:0+1* 9:1+4* 1:5+1 9:6+2*", nullptr},
        {"last milo stays", chrono, {&milo0, &milo1}, V::Partial, "9:0+1* 8:1+1* 9:2+3* 1:5+1 9:6+2*", nullptr},
        {"program block is Posn's low 4 bits", chrono, {&progPosn17}, V::Complete,
         "8:0+1 0:1+5* 9:6+2*", nullptr},
        {"data release replaces a program of that name", chrono, {&overProgram}, V::Partial,
         "8:0+1 1:1+4* 1:5+1 9:6+2", nullptr},
        {"data release replaces the milo of that name", chrono, {&overMilo}, V::NoMilo,
         "1:0+1* 0:1+4 1:5+1 9:6+2", "\tMissing MILO!!!"},
        {"substitution merges runs, erase flags kept", chrono, {&milo0, &build4}, V::Partial,
         "8:0+1* 9:1+4* 1:5+1* 9:6+2*", nullptr},
        {"other types not placed", chrono, {&other}, V::Partial, "8:0+1 0:1+4 1:5+1 9:6+2", nullptr},
        {"nothing checked", chrono, {}, V::Unchanged, "8:0+1 0:1+4 1:5+1 9:6+2", nullptr},
        {"milo does not fit", chrono, {&miloOnData}, V::Partial, "9:0+5* 1:5+1 9:6+2*", "\tMilo Add Failed!!"},
        {"program inside milo", chrono, {&progOnMilo}, V::Complete, "8:0+1 9:1+7*",
         "\tProgram Add Failed"},
        {"substitute too long", "8+1;1+1=Lingua VERS 1 BUILD 3;0+6=P", {&build4Wide}, V::Partial,
         "8:0+1 9:1+1 0:2+6", "\tDataRel Add(subst) Failed"},
        {"no run long enough", chrono, {&wide}, V::Partial, "8:0+1 0:1+4 1:5+1 9:6+2", "\tDataRel Add(new) Failed"},
        {"missing milo", "0+2=P;9+6", {}, V::NoMilo, "0:0+2 9:2+6", "\tMissing MILO!!!"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<PlanItem> items = {{9, &build4, false}};  // unchecked rows change nothing
        for (const Segmento* s : c.checked)
            items.push_back({0, s, true});
        const PlanRun r = plan(table(c.installed), items);
        EXPECT_EQ(r.ok, c.failure == nullptr);
        EXPECT_EQ(r.verdict, c.verdict);
        EXPECT_EQ(layout(r.plan), c.plan);
        EXPECT_EQ(hasChanges(r.plan), std::string(c.plan).find('*') != std::string::npos);
        const std::string last = c.failure ? c.failure : "END /* SistemaBlocchi */";
        ASSERT_GE(r.lines.size(), 2u);
        EXPECT_EQ(r.lines.back(), last);
        const bool dumped = r.lines[r.lines.size() - 2].rfind("\tNew allocation:\r\n", 0) == 0;
        EXPECT_EQ(dumped, c.failure == nullptr || last == "\tMissing MILO!!!");
    }
}

TEST(Planner, LogsTheWholeRun) {
    const Segmento data = component(1, 0, 1, "Lingua VERS 1 BUILD 4");
    const Segmento prog = component(0xFF00, 0x11, 0x0105, "Programma VERS 3", '\0');
    const PlanRun r = plan(table(chrono), {{0, &data, true}, {1, &prog, false}});
    const std::string head =
        "Partition table contents:\r\nPos Type       From Len Name\r\n"
        "--- ---------- ---- --- ----\r\n"
        " 0: 08=MILO      0   1  Milo VERS 1 BUILD 1\r\n"
        " 1: 00=PGM       1   4  Programma VERS 2 BUILD 3\r\n";
    const std::vector<std::string> expected = {
        "BEGIN SistemaBlocchi",
        "\tUser selections:\r\nItem Checked InfoType Posn Blks Version\r\n"
        "---- ------- -------- ---- ---- -------",
        " 0      1      0001   0000 0001 Lingua VERS 1 BUILD 4" + std::string(55, ' '),
        " 1      0      FF00   0011 0105 Programma VERS 3",
        "\r\n",
        "\tCurrent allocation:\r\n" + head +
            " 2: 01=DATAREL   5   1  Lingua VERS 1 BUILD 3\r\n 3: 09=FREE      6   2  \r\n",
        "\tNew allocation:\r\n" + head +
            " 2: 01=DATAREL   5   1  Lingua VERS 1 BUILD 4\r\n 3: 09=FREE      6   2  \r\n",
        "END /* SistemaBlocchi */",
    };
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(r.plan.entries[2].component, &data);
    EXPECT_EQ(r.plan.entries[1].component, nullptr);
}

}  // namespace
}  // namespace zor
