// Connection check and partition listing against a scripted chronometer.
#include "link/conn_check.h"

#include <gtest/gtest.h>

#include "app/split_version.h"
#include "fake_port.h"
#include "support/recording_ui.h"

namespace zor::test {
namespace {

const std::vector<std::string> TWO_PARTITIONS = {
    "Flash image 1 at block 0",
    "ID: 130",
    "Name (MILO VERS 1.0)",
    "Size (1 blocks)",
    "----",
    " Flash image 2 at block 1\r\n",
    "ID: 5",
    "Name (PGM VERS 2.1 BUILD 7)",
    "Size (5 blocks)",
    "----",
    "005 Fine elenco",
};

// Answers the host's frames like a chronometer listening at `speed` bit/s.
struct TinyChrono {
    uint32_t speed = 19200;
    bool ackSpeed = true;
    std::string identification = "007 SN 0042";
    std::vector<std::string> listing = TWO_PARTITIONS;
    std::vector<Bytes> displays;

    void attach(ScriptedPort& port, PortLog& log) {
        port.respond = [this, &log](const Bytes& wire, std::deque<uint8_t>& out) {
            if (log.speeds.empty() || log.speeds.back() != speed)
                return;  // garbled
            for (const Bytes& b : bodiesOf(wire))
                handle(b, out);
        };
    }
    void handle(const Bytes& b, std::deque<uint8_t>& out) {
        auto send = [&](const Bytes& f) { out.insert(out.end(), f.begin(), f.end()); };
        if (b.size() >= 2 && b[0] == 0xC0 && b[1] == 0x09)
            send(frame({0xC0, 0x0A}));
        if (b.size() >= 3 && b[0] == 0xC0 && b[1] == 0x0C && ackSpeed) {
            send(frame({0xC0, 0x0D}));
            speed = proto::SPEEDS[b[2]];
        }
        if (b.size() < 3 || b[0] != 0x01)
            return;
        switch (b[2]) {
            case 'A':
                send(answer("000"));
                break;
            case 'I':
                send(answer(identification));
                break;
            case 'B':
                for (const std::string& l : listing)
                    send(answer(l));
                break;
            case 'H':
                displays.emplace_back(b.begin() + 3, b.end());
                send(answer("000"));
                break;
        }
    }
};

class ConnCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        devices.setup = [this](ScriptedPort& p) { chrono.attach(p, devices.log); };
        ASSERT_TRUE(link.RsOpen("COM1"));
    }
    LogWriter logger() {
        return [this](const std::string& l) { log.push_back(l); };
    }

    VirtualClock clock;
    ScriptedDevices devices{clock};
    RecordingUi ui;
    SerialLink link{devices, clock, ui};
    TinyChrono chrono;
    PartitionTable table;
    std::vector<std::string> log;
};

TEST_F(ConnCheckTest, SuccessfulCheckLogsItsBlockAndFillsTheTable) {
    ASSERT_TRUE(ConnCheck(link, table, false, logger()));
    std::vector<std::string> expected = {"BEGIN ConnCheck", "HighSpeed:\tYes", "S/N:\t007 SN 0042",
                                         "BEGIN RsGetInfo:"};
    for (const std::string& l : TWO_PARTITIONS)
        expected.push_back("\t" + trimControls(l));
    for (const char* l : {"END /* RsGetInfo */", "Result:\tOk", "END /* ConnCheck */"}) {
        expected.push_back(l);
    }
    EXPECT_EQ(log, expected);
    ASSERT_EQ(table.count, 3);
    EXPECT_EQ(table.entries[0].type, PT_MILO);
    EXPECT_EQ(table.entries[0].name, "MILO VERS 1.0");
    EXPECT_EQ(table.entries[1].type, PT_PGM);
    EXPECT_EQ(table.entries[1].firstBlock, 1);
    EXPECT_EQ(table.entries[1].blockCount, 5);
    EXPECT_EQ(table.entries[1].name, "PGM VERS 2.1 BUILD 7");
    EXPECT_EQ(table.entries[2].type, PT_FREE);
    ASSERT_EQ(chrono.displays.size(), 1u);
    const std::string shown(chrono.displays[0].begin(), chrono.displays[0].end());
    EXPECT_EQ(shown, "\f\r\n        * Connesso al computer...");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ConnCheckTest, FailuresOfTheCheck) {
    // 'I' answered with a code other than 7 fails like silence.
    chrono.identification = "008 busy";
    EXPECT_FALSE(ConnCheck(link, table, false, logger()));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Errore:");
    EXPECT_EQ(ui.boxes[0].text,
              "Non è stato possibile stabilire la comunicazione con il cronometro.\nVerificate che "
              "il cronometro sia effettivamente collegato alla porta seriale indicata e che sia "
              "stato messo in modalità \"Aggiornamento software\".");
    EXPECT_EQ(log.back(), "END /* ConnCheck */");
    EXPECT_EQ(log[log.size() - 2], "Result:\tFail");

    // A speed the chronometer does not acknowledge: no "*", the check goes on.
    chrono.identification = "007 ok";
    chrono.ackSpeed = false;
    log.clear();
    EXPECT_TRUE(ConnCheck(link, table, true, logger()));
    EXPECT_EQ(log[1], "HighSpeed:\tNo");
    const std::string shown(chrono.displays.back().begin(), chrono.displays.back().end());
    EXPECT_EQ(shown, "\f\r\n         Connesso al computer...");

    // No port: false, nothing but the opening line.
    link.RsClose();
    log.clear();
    EXPECT_FALSE(ConnCheck(link, table, false, logger()));
    EXPECT_EQ(log, std::vector<std::string>{"BEGIN ConnCheck"});
}

TEST_F(ConnCheckTest, NoChronometerTakesAboutFiveSeconds) {
    chrono.speed = 0;  // nothing ever answers
    const uint32_t start = clock.tickMs();
    EXPECT_FALSE(ConnCheck(link, table, false, logger()));
    const uint32_t took = clock.tickMs() - start;
    EXPECT_GE(took, 5000u);
    EXPECT_LE(took, 5600u);
    EXPECT_EQ(log, (std::vector<std::string>{"BEGIN ConnCheck", "HighSpeed:\tNo", "Result:\tFail",
                                             "END /* ConnCheck */"}));
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(devices.log.speeds.back(), 19200u);  // the search ends back at 19200
}

TEST_F(ConnCheckTest, ListingParsing) {
    struct Case {
        std::vector<std::string> lines;
        bool result;
        std::vector<std::tuple<uint8_t, uint8_t, uint8_t, std::string>> partitions;
    } cases[] = {
        // A "Flash image" line in state 2 is the name line: grouping is by count.
        {{"Flash image block 2", "ID: 16", "Flash image block 7 (DATI VERS 1)", "x (2)", "-",
          "005"},
         true,
         {{PT_DATAREL, 2, 2, "DATI VERS 1"}}},
        // Cut before "005": false, the complete group stays.
        {{"Flash image block 0", "ID: 128", "n (M)", "l (1)", "-", "Flash image block 1", "ID: 0"},
         false,
         {{PT_MILO, 0, 1, "M"}}},
        // Numbers: blanks, sign, 8 bits; missing keywords read as 0 and names empty.
        {{"Flash image block   259", "ID:-16", "no paren", "l ( 1)", "-", "005"},
         true,
         {{0x0F, 3, 1, ""}}},
    };
    for (const Case& c : cases) {
        chrono.listing = c.lines;
        EXPECT_EQ(RsGetInfo(link, table, nullptr), c.result);
        size_t found = 0;
        for (uint8_t i = 0; i < table.count; ++i) {
            const PartitionEntry& e = table.entries[i];
            if (e.type == PT_FREE)
                continue;
            ASSERT_LT(found, c.partitions.size());
            EXPECT_EQ(std::make_tuple(e.type, e.firstBlock, e.blockCount, e.name),
                      c.partitions[found]);
            ++found;
        }
        EXPECT_EQ(found, c.partitions.size());
    }
    EXPECT_EQ(link.RsLastAnswer(), "Mancata risposta da parte del cronometro");
}

}  // namespace
}  // namespace zor::test
