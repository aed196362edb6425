#include "flash/planner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "flash/partition_dump.h"
#include "flash/table_text.h"

namespace zor {
namespace {

using test::layout;
using test::makeTable;

Segmento component(uint16_t type, uint16_t posn, uint16_t blks, const std::string& text,
                   char pad = ' ') {
    Segmento s;
    s.Version.fill(pad);
    std::memcpy(s.Version.data(), text.data(), text.size());
    s.InfoType = type;
    s.Posn = posn;
    s.Blks = blks;
    s.datiSize = 1;
    return s;
}

// MILO 0+1, PGM 1+4, DATAREL 5+1 (Lingua 1 build 3), FREE 6+2.
PartitionTable chronometer() {
    return makeTable({{PT_MILO, 1, "Milo VERS 1 BUILD 1"},
                      {PT_PGM, 4, "Programma VERS 2 BUILD 3"},
                      {PT_DATAREL, 1, "Lingua VERS 1 BUILD 3"},
                      {PT_FREE, 2, ""}});
}

struct PlanRun {
    bool ok;
    std::string outcome;
    PartitionTable plan;
    std::vector<std::string> lines;
};

PlanRun plan(const PartitionTable& current, const std::vector<const Segmento*>& checked,
             const std::vector<const Segmento*>& unchecked = {}) {
    std::vector<PlanItem> items;
    for (const Segmento* s : checked)
        items.push_back({0, s, true});
    for (const Segmento* s : unchecked)
        items.push_back({0, s, false});
    PlanRun r;
    r.ok = SistemaBlocchi(items, current, r.plan, r.outcome,
                          [&r](const std::string& line) { r.lines.push_back(line); });

    // A run without a log writer must plan exactly the same.
    PartitionTable quiet;
    std::string quietOutcome;
    EXPECT_EQ(SistemaBlocchi(items, current, quiet, quietOutcome, LogWriter()), r.ok);
    EXPECT_EQ(layout(quiet), layout(r.plan));
    EXPECT_EQ(quietOutcome, r.outcome);
    return r;
}

TEST(Planner, Rules) {
    std::deque<Segmento> pool;
    auto seg = [&pool](uint16_t type, uint16_t posn, uint16_t blks, const std::string& text) {
        pool.push_back(component(type, posn, blks, text));
        return &pool.back();
    };
    const Segmento* linguaBuild4 = seg(1, 0, 1, "Lingua VERS 1 BUILD 4");
    const Segmento* lingua2 = seg(1, 7, 1, "Lingua VERS 2 BUILD 1");
    const Segmento* linguaLower = seg(1, 0, 1, "lingua VERS 1 BUILD 4");
    const Segmento* wide = seg(1, 0, 3, "Grande VERS 1 BUILD 1");
    const Segmento* program5 = seg(0, 1, 5, "Programma VERS 3 BUILD 1");
    const Segmento* programOnMilo = seg(0, 0, 2, "Programma VERS 3 BUILD 1");
    const Segmento* milo0 = seg(0x108, 0x10, 1, "Milo VERS 2 BUILD 1");
    const Segmento* milo1 = seg(8, 1, 1, "Milo VERS 3 BUILD 1");
    const Segmento* miloOnData = seg(8, 5, 1, "Milo VERS 3 BUILD 1");
    const Segmento* other = seg(5, 0, 1, "Altro VERS 1");

    const PartitionTable noMilo = makeTable({{PT_PGM, 2, "P"}, {PT_FREE, 6, ""}});
    const PartitionTable tight =
        makeTable({{PT_MILO, 1, "M"}, {PT_DATAREL, 1, "Lingua VERS 1 BUILD 3"}, {PT_PGM, 6, "P"}});
    const PartitionTable mixed =
        makeTable({{PT_MILO, 1, "M"}, {3, 1, "Tipo3"}, {PT_DATAREL, 2, "D"}, {PT_FREE, 4, ""}});

    struct Case {
        const char* what;
        PartitionTable current;
        std::vector<const Segmento*> checked;
        bool ok;
        const char* outcome;
        const char* plan;
        const char* failure;  // last log line of a failed run
    };
    const Case cases[] = {
        {"new build substitutes in place",
         chronometer(),
         {linguaBuild4},
         true,
         "Aggiornamento parziale",
         "8:0+1 0:1+4 1:5+1* 9:6+2",
         nullptr},
        {"other version goes first fit",
         chronometer(),
         {lingua2},
         true,
         "Aggiornamento parziale",
         "8:0+1 0:1+4 1:5+1 1:6+1* 9:7+1",
         nullptr},
        {"name part is case-sensitive",
         chronometer(),
         {linguaLower},
         true,
         "Aggiornamento parziale",
         "8:0+1 0:1+4 1:5+1 1:6+1* 9:7+1",
         nullptr},
        {"program cleans up, data placed again",
         chronometer(),
         {program5, lingua2},
         true,
         "Aggiornamento completo",
         "8:0+1 0:1+5* 1:6+1* 9:7+1*",
         nullptr},
        {"clean-up drops every other type",
         mixed,
         {program5},
         true,
         "Aggiornamento completo",
         "8:0+1 0:1+5* 9:6+2*",
         nullptr},
        {"milo drops old milo and program",
         chronometer(),
         {milo0},
         true,
         "Aggiornamento parziale",
         "8:0+1* 9:1+4* 1:5+1 9:6+2*",
         nullptr},
        {"two milo: the last stays",
         chronometer(),
         {milo0, milo1},
         true,
         "Aggiornamento parziale",
         "9:0+1* 8:1+1* 9:2+3* 1:5+1 9:6+2*",
         nullptr},
        {"other types are not placed",
         chronometer(),
         {other},
         true,
         "Aggiornamento parziale",
         "8:0+1 0:1+4 1:5+1 9:6+2",
         nullptr},
        {"nothing checked",
         chronometer(),
         {},
         true,
         "Situazione preesistente:",
         "8:0+1 0:1+4 1:5+1 9:6+2",
         nullptr},
        {"milo does not fit",
         chronometer(),
         {miloOnData},
         false,
         "Aggiornamento parziale",
         "9:0+5* 1:5+1 9:6+2*",
         "\tMilo Add Failed!!"},
        {"program inside milo",
         chronometer(),
         {programOnMilo},
         false,
         "Aggiornamento completo",
         "8:0+1 9:1+7*",
         "\tProgram Add Failed"},
        {"substitute does not fit",
         tight,
         {seg(1, 0, 2, "Lingua VERS 1 BUILD 4")},
         false,
         "Aggiornamento parziale",
         "8:0+1 9:1+1 0:2+6",
         "\tDataRel Add(subst) Failed"},
        {"no run long enough",
         chronometer(),
         {wide},
         false,
         "Aggiornamento parziale",
         "8:0+1 0:1+4 1:5+1 9:6+2",
         "\tDataRel Add(new) Failed"},
        {"missing milo",
         noMilo,
         {},
         false,
         "Situazione imprevista. Contattare assistenza!",
         "0:0+2 9:2+6",
         "\tMissing MILO!!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PlanRun r = plan(c.current, c.checked, {linguaBuild4});
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(layout(r.plan), c.plan);
        ASSERT_GE(r.lines.size(), 3u);
        EXPECT_EQ(r.lines.front(), "BEGIN SistemaBlocchi");
        const bool dumped = r.lines[r.lines.size() - 2].rfind("\tNew allocation:\r\n", 0) == 0;
        if (c.ok) {
            EXPECT_EQ(r.lines.back(), "END /* SistemaBlocchi */");
            EXPECT_TRUE(dumped);
        } else {
            EXPECT_EQ(r.lines.back(), c.failure);
            EXPECT_EQ(dumped, std::string(c.failure) == "\tMissing MILO!!!");
            for (const std::string& line : r.lines)
                EXPECT_NE(line, "END /* SistemaBlocchi */");
        }
        if (std::string(c.what) == "nothing checked") {
            EXPECT_FALSE(hasChanges(r.plan));
        }
    }
}

TEST(Planner, PlacedEntriesCarryTheComponent) {
    const Segmento program = component(0, 1, 5, "Programma VERS 3 BUILD 1", '\0');
    const PlanRun r = plan(chronometer(), {&program});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.plan.entries[1].component, &program);
    EXPECT_EQ(r.plan.entries[1].name, "Programma VERS 3 BUILD 1");
    EXPECT_EQ(r.plan.entries[0].component, nullptr);
}

TEST(Planner, UnbuiltComponentNeverMatchesTheTrimmedName) {
    // Padded, the component's version is 1.0; the stored name gives 1.
    const PartitionTable current =
        makeTable({{PT_MILO, 1, "M"}, {PT_DATAREL, 1, "Dati gara VERS 1.0"}, {PT_FREE, 6, ""}});
    const Segmento data = component(1, 0, 1, "Dati gara VERS 1.0");
    const PlanRun r = plan(current, {&data});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(layout(r.plan), "8:0+1 1:1+1 1:2+1* 9:3+5");
    EXPECT_EQ(r.plan.entries[1].name, "Dati gara VERS 1.0");
    EXPECT_EQ(findDataRelMatch(current, "Dati gara", "1."), 1);
    EXPECT_EQ(findDataRelMatch(current, "Dati gara", "1.0"), -1);
}

TEST(Planner, LogsTheWholeRun) {
    const Segmento data = component(1, 0, 1, "Lingua VERS 1 BUILD 4");
    const Segmento program = component(0xFF00, 0x11, 0x0105, "Programma VERS 3", '\0');
    const PlanRun r = plan(chronometer(), {&data}, {&program});
    const std::string pad(76 - 21, ' ');
    const std::vector<std::string> expected = {
        "BEGIN SistemaBlocchi",
        "\tUser selections:\r\nItem Checked InfoType Posn Blks Version\r\n"
        "---- ------- -------- ---- ---- -------",
        " 0      1      0001   0000 0001 Lingua VERS 1 BUILD 4" + pad,
        " 1      0      FF00   0011 0105 Programma VERS 3",
        "\r\n",
        "\tCurrent allocation:\r\n"
        "Partition table contents:\r\nPos Type       From Len Name\r\n"
        "--- ---------- ---- --- ----\r\n"
        " 0: 08=MILO      0   1  Milo VERS 1 BUILD 1\r\n"
        " 1: 00=PGM       1   4  Programma VERS 2 BUILD 3\r\n"
        " 2: 01=DATAREL   5   1  Lingua VERS 1 BUILD 3\r\n"
        " 3: 09=FREE      6   2  \r\n",
        "\tNew allocation:\r\n"
        "Partition table contents:\r\nPos Type       From Len Name\r\n"
        "--- ---------- ---- --- ----\r\n"
        " 0: 08=MILO      0   1  Milo VERS 1 BUILD 1\r\n"
        " 1: 00=PGM       1   4  Programma VERS 2 BUILD 3\r\n"
        " 2: 01=DATAREL   5   1  Lingua VERS 1 BUILD 4\r\n"
        " 3: 09=FREE      6   2  \r\n",
        "END /* SistemaBlocchi */",
    };
    EXPECT_EQ(r.lines, expected);
}

}  // namespace
}  // namespace zor
