// Connection check, speed negotiation and port scan against the simulated
// chronometer; the listing parser against scripted lines.
#include "link/conn_check.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake_port.h"
#include "link/downloader.h"
#include "link/port_scan.h"
#include "platform/system_error.h"
#include "sim/sim_port.h"
#include "sim_link.h"
#include "support/recording_ui.h"
#include "text/port_text.h"

namespace zor::test {
namespace {

const char CONN_FAILED[] =
    "Non è stato possibile stabilire la comunicazione con il cronometro.\nVerificate che il "
    "cronometro sia effettivamente collegato alla porta seriale indicata e che sia stato messo in "
    "modalità \"Aggiornamento software\".";

class ConnCheckTest : public SimLinkTest {
  protected:
    bool check(const sim::SimConfig& config, bool high) {
        attach(config);
        devices.addEmptyPort("COM2");
        if (!ui.tell(link.RsOpen(port)))
            return false;
        outcome = ConnCheck(link, table, high, [this](const std::string& l) { log.push_back(l); });
        return ui.tell(outcome).ok();
    }

    Outcome outcome;
    PartitionTable table;
    std::vector<std::string> log;
    std::string port = "COM1";
};

TEST_F(ConnCheckTest, FindsAChronometerStillAtHighSpeedAndSwitchesIt) {
    sim::SimConfig config;
    config.startSpeed = 2;
    ASSERT_TRUE(check(config, false));
    EXPECT_EQ(chrono->speedIndex(), 0);
    EXPECT_EQ(link.lineSpeed(), 19200u);
    EXPECT_EQ(chrono->display(), "\f\r\n        * Connesso al computer...");

    std::vector<std::string> expected = {"BEGIN ConnCheck", "HighSpeed:\tYes",
                                         "S/N:\t" + config.identification, "BEGIN RsGetInfo:"};
    for (const std::string& l : chrono->listingLines())
        expected.push_back("\t" + l);
    for (const char* l : {"END /* RsGetInfo */", "Result:\tOk", "END /* ConnCheck */"}) {
        expected.push_back(l);
    }
    EXPECT_EQ(log, expected);
    // MILO 0+1, PGM 1+3, DATAREL 4+1, FREE 5, DATAREL 6+1, FREE 7.
    ASSERT_EQ(table.count, 6);
    EXPECT_EQ(table.entries[1].type, PT_PGM);
    EXPECT_EQ(table.entries[1].blockCount, 3);
    EXPECT_EQ(table.entries[4].firstBlock, 6);
    EXPECT_EQ(table.entries[4].name, chrono->partitions()[4].name);
    EXPECT_TRUE(ui.boxes.empty());

    log.clear();
    ASSERT_TRUE(check({}, true));
    EXPECT_EQ(link.lineSpeed(), 57600u);
    EXPECT_EQ(chrono->speedIndex(), 2);
}

TEST_F(ConnCheckTest, Failures) {
    // Nobody there: about five seconds, the box, and the short log block.
    port = "COM2";
    const uint32_t start = clock.tickMs();
    EXPECT_FALSE(check({}, false));
    EXPECT_GE(clock.tickMs() - start, 5000u);
    EXPECT_LE(clock.tickMs() - start, 5600u);
    EXPECT_EQ(log, (std::vector<std::string>{"BEGIN ConnCheck", "HighSpeed:\tNo", "Result:\tFail",
                                             "END /* ConnCheck */"}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, CONN_FAILED);
    EXPECT_EQ(ui.boxes[0].caption, "Errore:");
    EXPECT_EQ(outcome.kind, OutcomeKind::NoAnswer);

    // 'I' with a code other than 7 fails like silence; a refused speed does not.
    port = "COM1";
    sim::SimConfig config;
    config.identification = "008 occupato";
    config.faults = {{'s', 0, sim::Fault::WrongCode}};
    log.clear();
    EXPECT_FALSE(check(config, true));
    EXPECT_EQ(log[1], "HighSpeed:\tNo");
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(outcome.kind, OutcomeKind::WrongAnswer);
    EXPECT_EQ(outcome.lastAnswer, "008 occupato");

    link.RsClose();
    log.clear();
    EXPECT_FALSE(ConnCheck(link, table, false, [this](const std::string& l) { log.push_back(l); }));
    EXPECT_EQ(log, std::vector<std::string>{"BEGIN ConnCheck"});
}

TEST_F(ConnCheckTest, SpeedNegotiation) {
    const struct {
        uint8_t startSpeed;
        uint32_t settleMs;
        bool refuse;
        bool result;
        const char* logged;
        uint32_t lineSpeed;
    } cases[] = {
        // Refused: the port stays at the speed the search found (38400).
        {1, 100, true, true, "HighSpeed:\tNo", 38400},
        // The host waits 300 ms after the reply while the chronometer
        // reprograms its UART: 250 ms is covered, 350 ms loses the 'A'.
        {0, 250, false, true, "HighSpeed:\tYes", 57600},
        {0, 350, false, false, "HighSpeed:\tYes", 57600},
    };
    for (const auto& c : cases) {
        sim::SimConfig config;
        config.startSpeed = c.startSpeed;
        config.speedSettleMs = c.settleMs;
        if (c.refuse)
            config.faults = {{'s', 0, sim::Fault::WrongCode}};
        log.clear();
        EXPECT_EQ(check(config, true), c.result) << c.settleMs;
        ASSERT_GT(log.size(), 1u);
        EXPECT_EQ(log[1], c.logged);
        EXPECT_EQ(link.lineSpeed(), c.lineSpeed);
    }

    // The speed reply, then the new speed at once: the first command is lost.
    for (bool wait : {false, true}) {
        chrono = std::make_unique<sim::Chronometer>();
        devices.attach("COM1", *chrono);
        ASSERT_TRUE(link.RsOpen("COM1"));
        const uint8_t request[] = {0xC0, 0x0C, 2};
        link.RsSendFrame(request, sizeof request);
        ASSERT_TRUE(link.RsReceiveFrame(500));
        if (wait)
            clock.sleepMs(proto::SPEED_SETTLE_MS);
        ASSERT_TRUE(link.RsSetSpeed(2));
        EXPECT_EQ(link.RsCommand(std::string("A\0", 2), 1000), wait ? 0 : -2);
    }
}

TEST(SpeedSearch, StopsAtASpeedThePortRefuses) {
    ScriptedLink scripted;
    SerialLink& link = scripted.link;
    ScriptedDevices& devices = scripted.devices;
    ASSERT_TRUE(link.RsIsOpen());
    devices.port->refusedBps = 38400;
    RsFindSpeed(link);
    // 19200 gets no reply, 38400 is refused: 57600 is never tried.
    EXPECT_EQ(devices.port->configured, (std::vector<uint32_t>{19200, 19200, 38400, 19200}));
    EXPECT_EQ(link.lineSpeed(), 19200u);
}

// The line is cleared wherever a stale byte could be taken for the next
// reply: before each link test, between the speeds of the search, after the
// chronometer has switched speed, after the negotiation, before every
// command and before the transfer's listing.
TEST(Purges, WhereTheChronometerNeedsThem) {
    ScriptedLink scripted;
    ScriptedPort& port = scripted.port();
    uint32_t answersAt = 0;  // the link tests are answered only at this speed (0: any)
    port.respond = [&](const Bytes& w, std::deque<uint8_t>& out) {
        Bytes reply;
        if (w[1] == 0xC0 && w[2] == 0x09 && (!answersAt || port.configured.back() == answersAt))
            reply = frame({0xC0, 0x0A, 't', 'e', 's', 't'});
        if (w[1] == 0xC0 && w[2] == 0x0C)
            reply = frame({0xC0, 0x0D, w[3]});
        if (w[1] == 0x01)
            reply = answer(w[3] == 'I' ? "007 S/N" : w[3] == 'B' ? "005 Fine" : "000");
        out.insert(out.end(), reply.begin(), reply.end());
    };
    PartitionTable table;
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* events;
    } cases[] = {
        {"link test", [&] { RsTestLink(scripted.link); }, " P L9"},
        {"search up to 57600",
         [&] {
             answersAt = 57600;
             RsFindSpeed(scripted.link);
             answersAt = 0;
         },
         " C19200 P P L9 P C38400 P P L9 P C57600 P P L9"},
        {"speed change", [&] { RsChangeSpeed(scripted.link, 2); }, " P L9 L12 P C57600 P"},
        {"check", [&] { ConnCheck(scripted.link, table, false, nullptr); },
         " P L9 L12 P C19200 P P P A P I B P H"},
        {"transfer", [&] { TDownloader(scripted.link, table, {}, {}, {}).run(); }, " P B P H P J"},
    };
    for (const Case& c : cases) {
        port.events.clear();
        c.run();
        EXPECT_EQ(port.events, c.events) << c.what;
    }
}

TEST(Listing, FiveLineGroupsByCount) {
    struct Case {
        std::vector<std::string> lines;
        bool result;
        std::vector<std::tuple<uint8_t, uint8_t, uint8_t, std::string>> partitions;
    } cases[] = {
        {{"006 Flash image 1: block 0", "ID: 130", "Nome (MILO VERS 1.0)", "L (1 blocchi)", "-",
          " Flash image 2: block 1\r\n", "ID: 5", "Nome (PGM 2.1)", "L (5)", "-", "005 Fine"},
         true,
         {{PT_MILO, 0, 1, "MILO VERS 1.0"}, {PT_PGM, 1, 5, "PGM 2.1"}}},
        // A "Flash image" line in state 2 is the name line.
        {{"Flash image block 2", "ID: 16", "Flash image block 7 (DATI 1)", "x (2)", "-", "005"},
         true,
         {{PT_DATAREL, 2, 2, "DATI 1"}}},
        // Cut before "005": false, the complete group stays.
        {{"Flash image block 0", "ID: 128", "n (M)", "l (1)", "-", "Flash image block 1", "ID: 0"},
         false,
         {{PT_MILO, 0, 1, "M"}}},
        // Numbers: blanks, sign, 8 bits; missing keywords read as 0, names empty.
        {{"Flash image block   259", "ID:-16", "no paren", "l ( 1)", "-", "005"},
         true,
         {{0x0F, 3, 1, ""}}},
    };
    ScriptedLink scripted;
    SerialLink& link = scripted.link;
    ScriptedDevices& devices = scripted.devices;
    ASSERT_TRUE(link.RsIsOpen());
    for (const Case& c : cases) {
        for (const std::string& l : c.lines)
            devices.port->queue(answer(l));
        PartitionTable table;
        EXPECT_EQ(RsReadListing(link, table, nullptr), c.result);
        std::vector<std::tuple<uint8_t, uint8_t, uint8_t, std::string>> got;
        for (uint8_t i = 0; i < table.count; ++i) {
            const PartitionEntry& e = table.entries[i];
            if (e.type != PT_FREE)
                got.emplace_back(e.type, e.firstBlock, e.blockCount, e.name);
        }
        EXPECT_EQ(got, c.partitions);
    }
    EXPECT_EQ(link.RsLastAnswer(), "Mancata risposta da parte del cronometro");
}

TEST(PortScan, RowsAndPreselection) {
    VirtualClock clock;
    sim::SimDevices devices{clock};
    sim::Chronometer chrono;
    RecordingUi ui;
    SerialLink link{devices, clock};
    devices.attach("COM1", chrono);
    devices.setFailure("COM1", OpenFailure::InUse);
    devices.attach("COM2", chrono);
    ASSERT_TRUE(link.RsOpen("COM2"));  // an earlier check's port lists as available

    PortScan scan = ScanPorts(devices, link, clock, ui.scanSteps());
    EXPECT_FALSE(link.RsIsOpen());
    ASSERT_EQ(scan.rows.size(), 4u);
    EXPECT_EQ(portStatusText(scan.rows[0]), "Utilizzata da un'altra applicazione");
    EXPECT_EQ(portStatusText(scan.rows[1]), "Disponibile (cavo seriale connesso)");
    EXPECT_EQ(portStatusText(scan.rows[2]), "Non installata");
    EXPECT_EQ(scan.rows[3].name, "COM4");
    EXPECT_EQ(scan.selected, 1);
    EXPECT_EQ(ui.pumps, 4);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_TRUE(ui.boxes.empty());

    devices.setModemStatus("COM2", MODEM_CTS_ON | MODEM_DSR_ON);
    devices.addEmptyPort("COM3");
    devices.setModemStatus("COM3", 0, false);
    devices.setFailure("COM4", OpenFailure::Other, EACCES);
    scan = ScanPorts(devices, link, clock, ui.scanSteps());
    EXPECT_EQ(portStatusText(scan.rows[1]), "Disponibile (nessun cavo seriale connesso)");
    EXPECT_EQ(portStatusText(scan.rows[2]), "Disponibile");
    EXPECT_EQ(portStatusText(scan.rows[3]), systemErrorText(EACCES));

    for (const char* n : {"COM2", "COM3"})
        devices.setFailure(n, OpenFailure::NotInstalled);
    scan = ScanPorts(devices, link, clock, ui.scanSteps());
    EXPECT_EQ(scan.selected, -1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Scansione porte");
    EXPECT_EQ(ui.boxes[0].text,
              "Su questo computer non è disponibile nessuna porta seriale. Non è quindi possibile "
              "proseguire nell'aggiornamento.");
}

}  // namespace
}  // namespace zor::test
