#include "updatefile/loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "updatefile/update_writer.h"

namespace zor {
namespace {

const char kNotUpdate[] =
    "Il file selezionato non è un file di aggiornamento (oppure è danneggiato).";
const char kCaption[] = "Zorload - Impossibile caricare il file";

ComponentSpec component(size_t blocks, uint32_t seed = 0, uint16_t type = 0) {
    ComponentSpec c;
    c.version = "Componente " + std::to_string(seed) + " VERS 1.0";
    c.infoType = type;
    c.id = 0x00010000u + seed;
    c.data = patternBlocks(blocks, seed);
    return c;
}

std::vector<uint8_t> fileOf(std::initializer_list<ComponentSpec> parts) {
    UpdateFileWriter w;
    for (const auto& c : parts)
        w.add(c);
    return w.bytes();
}

class Loader : public ::testing::Test {
  protected:
    bool load(const std::vector<uint8_t>& bytes) {
        EXPECT_TRUE(writeBytes(path, bytes));
        return loadPath(path);
    }
    bool loadPath(const std::string& p) {
        ui = test::RecordingUi();
        emptyTable(components);
        const bool ok =
            ui.tell(ReadUpdateFile(p, components, lines, id, &count, ui.busyHook())).ok();
        EXPECT_EQ(ui.busyDepth, 0);
        return ok;
    }
    void expectRefused(const std::string& text = kNotUpdate) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, text);
        EXPECT_EQ(ui.boxes[0].caption, kCaption);
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Exclamation);
        EXPECT_TRUE(ui.boxes[0].beeped);
    }
    void expectSlots(const std::vector<ComponentSpec>& filled) {
        ASSERT_EQ(count, filled.size());
        for (size_t i = 0; i < UPDATE_SLOTS; ++i) {
            if (i < filled.size()) {
                EXPECT_EQ(components[i].datiSize * BLOCK_SIZE, filled[i].data.size()) << i;
                EXPECT_EQ(components[i].dati, filled[i].data) << i;
            } else {
                EXPECT_FALSE(components[i].hasData()) << i;
                EXPECT_TRUE(components[i].dati.empty()) << i;
            }
        }
    }

    test::TempDir temp{"zor_loader"};
    const std::string dir = temp.path(), path = temp.file("file.upd");
    std::string lines, id;
    UpdateTable components;
    test::RecordingUi ui;
    size_t count = 0;
};

TEST_F(Loader, ReadsSegmentsInOrder) {
    ComponentSpec a = component(3, 1, 0), b = component(0, 2, 1), c = component(2, 3, 8);
    // 100 bytes beyond the last whole block: they are the next prologue's first.
    a.segSize = SegSizeField::of(exactSegmentSize(3) + 100);
    a.version = "Programma base VERS 2.10 BUILD 35";
    b.version = "Dati gara VERS 1.0\t";
    b.versionPad = '\0';
    c.version = "Tempi \x80";
    c.posn = 0x0102;
    c.blks = 0x0304;
    c.id = 0x0001002A;
    const auto bytes = fileOf({a, b, c});
    EXPECT_EQ(bytes[2 * 678 + 3 * 260 - 2], 0x00);  // no blocks: check bytes 00 00
    EXPECT_EQ(bytes[2 * 678 + 3 * 260 - 1], 0x00);
    ASSERT_TRUE(load(bytes));
    EXPECT_TRUE(ui.boxes.empty());
    expectSlots({a, b, c});
    EXPECT_EQ(lines, "Programma base VERS 2.10 BUILD 35\r\nDati gara VERS 1.0\r\nTempi \x80\r\n");
    EXPECT_EQ(id, "0001-002A");
    EXPECT_EQ(components[2].Posn, 0x0102);
    EXPECT_EQ(components[2].Blks, 0x0304);
    EXPECT_EQ(components[2].SegSize, exactSegmentSize(2));
}

TEST_F(Loader, InfoTypeIsStoredComplemented) {
    const struct {
        uint16_t plain, stored;
        bool loads;
    } cases[] = {{0, 0xFFFF, true},      {1, 0xFFFE, true},     {8, 0xFFF7, true},
                 {0x0100, 0xFEFF, true}, {0x10, 0xFFEF, false}, {0x00F0, 0xFF0F, false},
                 {0x0080, 0xFF7F, false}};
    for (const auto& c : cases) {
        auto bytes = fileOf({component(1, 0, c.plain)});
        EXPECT_EQ(bytes[512 + 154] | (bytes[512 + 155] << 8), c.stored);
        EXPECT_EQ(load(bytes), c.loads) << c.plain;
        if (c.loads) {
            EXPECT_EQ(components[0].InfoType, c.plain);
        } else {
            expectRefused(
                "Il file selezionato è stato scritto per una versione più recente di Zorload. Per "
                "poterlo caricare è quindi necessario utilizzare una versione aggiornata del "
                "programma.");
            expectSlots({});
        }
    }
}

TEST_F(Loader, RefusesTinyFiles) {
    auto seg = fileOf({component(0)});
    ComponentSpec blanks = component(0);
    blanks.segSize = SegSizeField::blanks();
    auto seg677 = fileOf({blanks});
    seg677.resize(677);
    const std::vector<uint8_t> cases[] = {
        {}, {seg.begin(), seg.begin() + 676}, {seg.begin(), seg.begin() + 677}, seg677};
    for (const auto& bytes : cases) {
        EXPECT_FALSE(load(bytes)) << bytes.size();
        expectRefused();
        EXPECT_EQ(count, 0u);
    }
}

TEST_F(Loader, BlankSegSizeMeansWholeFile) {
    ComponentSpec c = component(3, 4);
    c.segSize = SegSizeField::blanks();
    for (size_t extra : {0, 259}) {
        ASSERT_TRUE(
            load(UpdateFileWriter().add(c).trailing(std::vector<uint8_t>(extra, 0xAA)).bytes()))
            << extra;
        expectSlots({c});
    }
    // In a later segment the block count comes from the whole file and the
    // reads run past its end.
    EXPECT_FALSE(load(fileOf({component(2, 1), c})));
    expectRefused();
    expectSlots({component(2, 1)});
}

TEST_F(Loader, TrailingBytes) {
    const struct {
        size_t extra;
        bool loads;
    } cases[] = {{1, true}, {512, true}, {513, false}, {675, false}, {676, false}};
    for (const auto& c : cases) {
        auto bytes = fileOf({component(1, 1)});
        bytes.resize(bytes.size() + c.extra, 0x24);
        EXPECT_EQ(load(bytes), c.loads) << c.extra;
        if (!c.loads)
            expectRefused();
        expectSlots({component(1, 1)});
    }
}

TEST_F(Loader, RefusesDamagedSegments) {
    std::vector<ComponentSpec> bad(9, component(2, 5));
    bad[0].flipDataBit = 0;
    bad[1].flipDataBit = 2 * 260 * 8 - 1;
    bad[2].flipCheckBit = 15;
    bad[3].flipCheckBit = 0;
    bad[3].infoType = 0x10;  // a damaged block wins over a newer type
    bad[4].magic = "$UPDATE!";
    bad[5].segSize = SegSizeField::of(677);
    bad[6].segSize = SegSizeField::of(0);
    bad[7].segSize = SegSizeField::of(0xFFFFFFFF);
    bad[8].data.resize(bad[8].data.size() + 10);  // a partial block
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(load(fileOf({component(1, 1), bad[i]}))) << i;
        expectRefused();
        expectSlots({component(1, 1)});
    }
    // Cut short inside a block, inside the check bytes, inside the header.
    const auto good = fileOf({component(2, 1)});
    for (size_t cut : {1u, 2u, 100u, 600u}) {
        EXPECT_FALSE(load({good.begin(), good.end() - cut})) << cut;
        expectRefused();
    }
}

TEST_F(Loader, RefusesEleventhSegment) {
    UpdateFileWriter w;
    std::vector<ComponentSpec> ten;
    for (uint32_t i = 0; i < 10; ++i)
        ten.push_back(component(1, i));
    for (const auto& c : ten)
        w.add(c);
    ASSERT_TRUE(load(w.bytes()));
    expectSlots(ten);
    EXPECT_FALSE(load(w.add(component(1, 10)).bytes()));
    expectRefused();
    expectSlots(ten);
}

TEST_F(Loader, RefusesSizeBeyond32Bits) {
    ASSERT_TRUE(writeBytes(path, fileOf({component(1)})));
    std::error_code ec;
    std::filesystem::resize_file(path, (uint64_t{1} << 32) + 1000, ec);
    if (ec)
        GTEST_SKIP() << "no sparse files here";
    EXPECT_FALSE(loadPath(path));
    expectRefused();
    // Refused before any segment is looked at, not read modulo 2^32.
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(lines.empty());
}

// Paths are UTF-8 on every OS: a name with letters outside the ANSI code
// page (Windows) is read like any other.
TEST_F(Loader, ReadsAFileWhoseNameIsNotAscii) {
    const std::string named = temp.file("città Ω.upd");
    ASSERT_TRUE(writeBytes(named, fileOf({component(1)})));
    EXPECT_TRUE(loadPath(named));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Loader, MissingFileShowsSystemTextThenRefusal) {
    EXPECT_FALSE(loadPath(dir + "/absent.upd"));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, std::system_category().message(ENOENT));
    EXPECT_EQ(ui.boxes[0].caption, "Errore apertura file");
    EXPECT_TRUE(ui.boxes[0].beeped);
    EXPECT_EQ(ui.boxes[1].text, kNotUpdate);
    EXPECT_EQ(ui.boxes[1].caption, kCaption);
    EXPECT_TRUE(ui.boxes[1].beeped);
}

// Only regular files are read: a directory is refused at the open like a
// missing file, and a named pipe must not hang the load.
TEST_F(Loader, RefusesWhatIsNotARegularFile) {
    const std::string fifo = dir + "/pipe.upd";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {{dir, EISDIR}, {fifo, EINVAL}};
    for (const auto& c : cases) {
        EXPECT_FALSE(loadPath(c.path)) << c.path;
        ASSERT_EQ(ui.boxes.size(), 2u) << c.path;
        EXPECT_EQ(ui.boxes[0].text, std::system_category().message(c.error));
        EXPECT_EQ(ui.boxes[0].caption, "Errore apertura file");
        EXPECT_EQ(ui.boxes[1].text, kNotUpdate);
    }
}

TEST_F(Loader, LoadEmptiesTableFirstReadAssertsItIsEmpty) {
    ASSERT_TRUE(writeBytes(path, fileOf({component(1)})));
    components[0].datiSize = 1;
    components[0].dati.assign(BLOCK_SIZE, 0);
    EXPECT_DEATH(ReadUpdateFile(path, components, lines, id),
                 "pgm\\[segmentiLetti\\]\\.datiSize == 0, unit GestFile");
    components[3].datiSize = 2;
    EXPECT_TRUE(LoadUpdateFile(path, components, lines, id, &count));
    expectSlots({component(1)});
}

}  // namespace
}  // namespace zor
