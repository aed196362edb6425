// The pieces of zorload-cli's output that carry meaning for a person or a
// script: what a plan does to the installed components, JSON texts, the
// progress line's width.
#include <gtest/gtest.h>

#include <cstring>

#include "app/json.h"
#include "cli/plan_lines.h"
#include "cli/progress.h"
#include "cli/station_view.h"
#include "flash/planner.h"
#include "text/plan_text.h"

namespace zor::cli {
namespace {

Segmento component(uint8_t type, uint16_t posn, uint16_t blks, const std::string& text) {
    Segmento s;
    s.InfoType = type;
    s.Posn = posn;
    s.Blks = blks;
    s.datiSize = 1;
    s.Version.fill(' ');
    std::memcpy(s.Version.data(), text.data(), std::min(text.size(), s.Version.size()));
    return s;
}

// MILO 0+1, PGM 1+3, DATAREL 4+1, FREE 5+1, DATAREL 6+1, FREE 7+1.
PartitionTable chronometer() {
    PartitionTable t;
    resetTable(t);
    addPartition(t, PT_MILO, 0, "Boot VERS 1.00 BUILD 12", nullptr, 0, 1);
    addPartition(t, PT_PGM, 1, "Programma base VERS 2.20 BUILD 41", nullptr, 0, 3);
    addPartition(t, PT_DATAREL, 4, "Lingua italiano VERS 1.3 BUILD 5", nullptr, 0, 1);
    addPartition(t, PT_DATAREL, 6, "Tabelle gare VERS 1.0 BUILD 2", nullptr, 0, 1);
    return t;
}

std::string actions(const PlanView& view) {
    std::string out;
    for (const PlanRow& r : view.rows) {
        out += (out.empty() ? "" : " ") + std::to_string(r.first) + "+" + std::to_string(r.length) +
               ":" + actionName(r.action);
    }
    return out;
}

// Every installed component the plan drops, and every one it takes back to
// an older version, is named before anything is written.
TEST(CliPlan, SaysWhatHappensToEveryInstalledComponent) {
    struct Case {
        const char* what;
        Segmento pick;
        const char* actions;
        std::vector<std::string> warnings;  // a phrase each, in order
    } cases[] = {
        {"an older program: back a version, data releases dropped",
         component(PT_PGM, 1, 3, "Programma base VERS 2.10 BUILD 35"),
         "0+1:keep 1+3:write 4+4:erase 4+1:remove 6+1:remove",
         {"da VERS 2.20 BUILD 41 a VERS 2.10 BUILD 35", "\"Lingua italiano VERS 1.3 BUILD 5\"",
          "\"Tabelle gare VERS 1.0 BUILD 2\""}},
        {"a new build of a data release, in its place",
         component(PT_DATAREL, 0, 1, "Lingua italiano VERS 1.3 BUILD 6"),
         "0+1:keep 1+3:keep 4+1:write 5+1:keep 6+1:keep 7+1:keep",
         {}},
        {"a lower build of the same version is a step back",
         component(PT_DATAREL, 0, 1, "Lingua italiano VERS 1.3 BUILD 4"),
         "0+1:keep 1+3:keep 4+1:write 5+1:keep 6+1:keep 7+1:keep",
         {"da VERS 1.3 BUILD 5 a VERS 1.3 BUILD 4"}},
        {"a MILO drops the program",
         component(PT_MILO, 0, 1, "Boot VERS 1.01 BUILD 14"),
         "0+1:write 1+3:erase 4+1:keep 5+1:erase 6+1:keep 7+1:erase 1+3:remove",
         {"\"Programma base VERS 2.20 BUILD 41\" (PGM, blocchi 1-3)"}},
        {"another version of a data release goes beside it",
         component(PT_DATAREL, 0, 1, "Lingua italiano VERS 10.0 BUILD 1"),
         "0+1:keep 1+3:keep 4+1:keep 5+1:write 6+1:keep 7+1:keep",
         {}},
    };
    for (const Case& c : cases) {
        const PartitionTable installed = chronometer();
        PartitionTable planned;
        PlanVerdict verdict;
        ASSERT_TRUE(SistemaBlocchi({{0, &c.pick, true}}, installed, planned, verdict, nullptr))
            << c.what;
        const PlanView view = describePlan(installed, planned);
        EXPECT_EQ(actions(view), c.actions) << c.what;
        const std::vector<std::string> warnings = planWarnings(view);
        ASSERT_EQ(warnings.size(), c.warnings.size()) << c.what;
        for (size_t i = 0; i < c.warnings.size(); ++i)
            EXPECT_NE(warnings[i].find(c.warnings[i]), std::string::npos) << warnings[i];
    }
}

// The words of a plan, whole: the warnings, their blocks and versions, and
// the chart's labels.
TEST(CliPlan, WordsOfAPlan) {
    PlanView view;
    view.downgrades = {{"Programma base ", "Programma base VERS 2.20 BUILD 41",
                        "Programma base VERS 2.10 BUILD 35"},
                       {"Ga\x1bra", "Ga\x1bra VERS 3", "Ga\x1bra"}};
    view.removals = {{"Tabelle gare VERS 1.0 BUILD 2", PT_DATAREL, 6, 1},
                     {"caff\xe8", 5, 1, 3},
                     {"  ", PT_PGM, 0, 0}};
    EXPECT_EQ(planWarnings(view),
              (std::vector<std::string>{
                  "Attenzione: \"Programma base\" torna a una versione precedente: da VERS 2.20 "
                  "BUILD 41 a VERS 2.10 BUILD 35.",
                  "Attenzione: \"Ga?ra\" torna a una versione precedente: da VERS 3 a Ga?ra.",
                  "Attenzione: \"Tabelle gare VERS 1.0 BUILD 2\" (DATAREL, blocco 6), installato "
                  "sul cronometro, viene rimosso.",
                  "Attenzione: \"caffè\" (0x05, blocchi 1-3), installato sul cronometro, viene "
                  "rimosso.",
                  "Attenzione: \"senza nome\" (PGM, blocco 0), installato sul cronometro, viene "
                  "rimosso.",
              }));
    EXPECT_EQ(versionPhrase("Dati gara BUILD 7"), "BUILD 7");
    ChartBox box{};
    EXPECT_EQ(chartLabelText(box), "Spazio libero");
    box.label = "caff\xe8 3";
    EXPECT_EQ(chartLabelText(box), "caffè 3");
}

TEST(CliJson, EscapesAndNests) {
    const std::pair<std::string, std::string> texts[] = {
        {"plain è", "\"plain è\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\upd\\x", "\"C:\\\\upd\\\\x\""},
        {std::string("\x01\n\x1f\x7f", 4), "\"\\u0001\\u000A\\u001F\x7f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const auto& [in, out] : texts)
        EXPECT_EQ(jsonString(in), out);

    JsonWriter w;
    w.beginObject().key("a").beginArray().value(1).beginObject().key("b").null().endObject();
    w.beginArray().endArray().endArray().member("c", true).member("d", int64_t{-2}).endObject();
    EXPECT_EQ(w.text(), "{\"a\": [1, {\"b\": null}, []], \"c\": true, \"d\": -2}");
}

// A line as wide as the terminal wraps and every redraw then adds a line.
TEST(CliProgress, LineNeverFillsTheTerminal) {
    ProgressState s;
    s.phase = 2;
    s.phaseCount = 3;
    s.percent = 50;
    s.elapsedMs = 61000;
    s.etaMs = 3725000;
    s.rate = 1843;
    s.doing = "scrittura Programma è già più lunga di così: Verifica settori 3/8";
    EXPECT_EQ(progressLine(s, 0),
              " 50% 1:01 ~1:02:05 rimasti 1843 B/s fase 2/3 scrittura Programma è già più lunga "
              "di così: Verifica settori 3/8");
    for (int columns : {1, 20, 62, 66, 67, 80}) {
        const std::string line = progressLine(s, columns);
        size_t chars = 0;
        for (char c : line)
            chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LE(chars, static_cast<size_t>(std::max(1, columns - 1))) << columns;
        // Never half a character.
        EXPECT_NE(static_cast<unsigned char>(line.back()) & 0xC0, 0xC0) << columns;
    }
}

// The station's table is redrawn in place: a row that wrapped would leave a
// stray line behind at every redraw.
TEST(CliStation, TableNeverFillsTheTerminal) {
    VirtualClock clock;
    StationView view(StationView::Mode::Lines, clock);
    StationEvent e;
    e.port = "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0";
    e.device = e.port;
    e.kind = StationEvent::Kind::Connected;
    e.identification = "007 Cronometro S/N 0412-0087 boot 1.30 già";
    view.event(e, nullptr);
    clock.advance(61000);
    for (int columns : {1, 20, 79, 80, 200}) {
        const std::vector<std::string> lines = view.tableLines(columns);
        ASSERT_EQ(lines.size(), 3u);  // header, the port, the totals
        for (const std::string& line : lines) {
            size_t chars = 0;
            for (char c : line)
                chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            EXPECT_LE(chars, static_cast<size_t>(std::max(1, columns - 1))) << columns;
        }
    }
    EXPECT_NE(view.tableLines(200)[1].find("0412-0087"), std::string::npos);
    EXPECT_EQ(stationStateText(PortState::Transferring, 45, 2, 3, RunFailure()),
              "trasferimento 45% fase 2/3");
    EXPECT_EQ(
        stationStateText(PortState::Failed, 0, 0, 0, {103, RunEnd::TransferFailed, TRANSFER_WRITE}),
        "errore 103 scrittura");
}

// A port keeps its last chronometer's result, S/N and time through the
// chronometer's unplugging and its adapter's, until the next one comes.
TEST(CliStation, ResultStaysUntilTheNextChronometer) {
    VirtualClock clock;
    StationView view(StationView::Mode::Lines, clock);
    StationEvent e;
    e.port = e.device = "/dev/ttyUSB0";
    e.identification = "007 Cronometro S/N 0412-0087";
    const auto step = [&](StationEvent::Kind kind, PortState state) {
        e.kind = kind;
        e.state = state;
        ChronometerRun run;
        if (state == PortState::Failed) {
            run.end = RunEnd::TransferFailed;
            run.code = TRANSFER_WRITE;
        }
        view.event(e, &run);
        clock.advance(1000);
        const std::vector<std::string> lines = view.tableLines(200);
        return lines.size() == 3 ? lines[1] : std::string("(no row)");
    };
    step(StationEvent::Kind::Added, PortState::Waiting);
    step(StationEvent::Kind::State, PortState::Connecting);
    step(StationEvent::Kind::Connected, PortState::Connecting);
    const struct {
        StationEvent::Kind kind;
        PortState state;
        const char* shown;  // in the port's row
    } steps[] = {
        {StationEvent::Kind::Finished, PortState::Failed, "errore 103 scrittura "},
        {StationEvent::Kind::State, PortState::Waiting, "errore 103 scrittura "},
        {StationEvent::Kind::Removed, PortState::Absent, "errore 103 scrittura "},
        {StationEvent::Kind::Added, PortState::Absent, "errore 103 scrittura "},
        {StationEvent::Kind::State, PortState::Connecting, "collegamento "},
    };
    for (const auto& c : steps) {
        const std::string row = step(c.kind, c.state);
        EXPECT_NE(row.find(c.shown), std::string::npos) << row;
        EXPECT_EQ(row.find("scollegato") != std::string::npos,
                  c.kind != StationEvent::Kind::Finished && c.state != PortState::Connecting)
            << row;
        EXPECT_EQ(row.find("0412-0087") != std::string::npos, c.state != PortState::Connecting)
            << row;
    }
}

// A failed chronometer is counted apart from the bench's pace and listed in
// the summary with what to do; done and up-to-date ones make the pace.
TEST(CliStation, SummaryListsEveryFailure) {
    VirtualClock clock;
    StationView view(StationView::Mode::Lines, clock);
    const struct {
        const char* port;
        PortState state;
        int status;
        const char* answer;
    } runs[] = {
        {"COM1", PortState::Done, 0, "000 Riavvio"},
        {"COM2", PortState::Failed, 103, "203 Errore\x1b[2J verifica"},
        {"COM3", PortState::UpToDate, 0, ""},
        {"COM4", PortState::Failed, 4, ""},
    };
    for (const auto& r : runs) {
        StationEvent e;
        e.port = e.device = r.port;
        e.kind = StationEvent::Kind::Finished;
        e.state = r.state;
        e.identification = std::string("007 Cronometro S/N 0412-000") + r.port[3];
        ChronometerRun run;
        run.end = r.status == 4   ? RunEnd::Unreachable
                  : r.status != 0 ? RunEnd::TransferFailed
                                  : RunEnd::Done;
        run.code = r.status >= 100 ? TransferCode(r.status) : TRANSFER_OK;
        run.lastAnswer = r.answer;
        view.event(e, &run);
    }
    clock.advance(3600000);
    EXPECT_NE(view.tableLines(200).back().find(", 2 cronometri/ora"), std::string::npos)
        << view.tableLines(200).back();
    testing::internal::CaptureStdout();
    view.summary();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Riepilogo: completati 1, falliti 2, già aggiornati 1"), std::string::npos);
    EXPECT_NE(out.find("Z Fallito: COM2, S/N 0412-0002, errore 103 scrittura, ultima risposta "
                       "\"203 Errore?[2J verifica\". Ricollegarlo; se si ripete, contattare "
                       "l'assistenza.\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Z Fallito: COM4, S/N 0412-0004, errore 4 collegamento. Controllare"),
              std::string::npos)
        << out;
}

// 30 ports on a terminal of 24 rows, 80, 60 or 40 columns: the table stays
// shorter than the terminal (a taller one scrolls at every redraw and fills
// the scrollback), the ports at work and the failed one come first, the rest
// are counted, and the columns that stay are port, state with its percent,
// then S/N and time left.
TEST(CliStation, TableFitsAnyTerminal) {
    VirtualClock clock;
    StationView view(StationView::Mode::Lines, clock);
    const auto send = [&](int n, StationEvent::Kind kind, PortState state) {
        StationEvent e;
        e.port = e.device = "/dev/ttyUSB" + std::to_string(n);
        e.kind = kind;
        e.state = state;
        e.identification = "007 Cronometro S/N 0412-00" + std::to_string(10 + n);
        e.overall = 45, e.phase = 2, e.phaseCount = 3;
        e.leftMs = 22000;  // counted down as the clock goes
        view.event(e, nullptr);
    };
    for (int n = 0; n < 30; ++n)
        send(n, StationEvent::Kind::Added, PortState::Waiting);
    send(20, StationEvent::Kind::State, PortState::Connecting);
    send(20, StationEvent::Kind::Connected, PortState::Connecting);
    send(20, StationEvent::Kind::Progress, PortState::Transferring);
    send(25, StationEvent::Kind::State, PortState::Failed);
    clock.advance(10000);
    const struct {
        int columns;
        std::vector<const char*> shown, gone;  // in the transferring port's line
    } cases[] = {
        {80, {"ttyUSB20", "trasferimento 45% fase 2/3", "0412-0030", "0:10", "0:12"}, {}},
        {60, {"ttyUSB20", "trasferimento 45% fase 2/3", "0412-0030", "0:12"}, {"0:10", "/dev"}},
        {40, {"ttyUSB20", "trasferimento 45% fase 2/3"}, {"0412", "0:1", "/dev"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        const std::vector<std::string> lines = view.tableLines(c.columns, 24);
        ASSERT_EQ(lines.size(), 23u);
        EXPECT_EQ(lines[1].rfind("ttyUSB20", 0), 0u) << lines[1];
        EXPECT_TRUE(lines[2].rfind("ttyUSB25", 0) == 0 &&
                    lines[2].find("errore") != std::string::npos)
            << lines[2];
        EXPECT_EQ(lines[21], "+10 in attesa");
        for (const char* text : c.shown)
            EXPECT_NE(lines[1].find(text), std::string::npos) << text << " in " << lines[1];
        for (const char* text : c.gone)
            EXPECT_EQ(lines[1].find(text), std::string::npos) << text << " in " << lines[1];
        for (const std::string& line : lines) {
            size_t chars = 0;
            for (char ch : line)
                chars += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
            EXPECT_LT(chars, size_t(c.columns)) << line;
        }
    }
    EXPECT_EQ(view.tableLines(80, 0).size(), 32u) << "no limit off a terminal";

    // Stopped by an interrupt: said on the last line, the table no taller.
    view.stopping();
    const std::vector<std::string> lines = view.tableLines(80, 24);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines.back(), "Arresto: nessun nuovo cronometro, 1 trasferimento in corso");
    EXPECT_EQ(lines[lines.size() - 3], "+11 in attesa");
}

// With the bench's positions each port is named by its place: in the
// table's first column, its port beside it (the first column to go on a
// narrow terminal; a long name is cut only then), and in the summary's
// failures. (The lines, JSON events and records: pty_station_positions.sh.)
TEST(CliStation, PositionsNameThePorts) {
    VirtualClock clock;
    const std::string usb = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    StationView view(StationView::Mode::Lines, clock);
    view.usePositions({{"COM3", "Posto 1"}, {usb, "Banco a sinistra, in fondo"}});
    testing::internal::CaptureStdout();
    StationEvent e;
    e.port = "COM3", e.device = "/dev/ttyS2";
    e.kind = StationEvent::Kind::Progress;
    e.overall = 45, e.phase = 2, e.phaseCount = 3;
    view.event(e, nullptr);
    e.port = e.device = usb;
    e.kind = StationEvent::Kind::Finished, e.state = PortState::Failed;
    ChronometerRun failed;
    failed.end = RunEnd::Unreachable;
    view.event(e, &failed);
    view.summary();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Z Fallito: Banco a sinistra, in fondo (" + usb + "), S/N ?, errore 4"),
              std::string::npos)
        << out;
    const struct {
        int columns;
        const char* heading;  // its start
        const char* row;      // COM3's
    } cases[] = {
        {100, "Posto            Porta           Stato",
         "Posto 1          COM3            trasferimento 45% fase 2/3"},
        {40, "Posto       Stato", "Posto 1     trasferimento 45% fase 2/3"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> rows = view.tableLines(c.columns);
        EXPECT_EQ(rows[0].rfind(c.heading, 0), 0u) << rows[0];
        EXPECT_EQ(rows[1], c.row);
    }
}

}  // namespace
}  // namespace zor::cli
