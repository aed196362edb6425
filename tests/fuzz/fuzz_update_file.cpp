// The update-file loader on arbitrary file contents: it must refuse or accept
// without reading or writing out of bounds, and leave the component table
// consistent either way.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "fuzz_target.h"
#include "text/outcome_text.h"
#include "updatefile/loader.h"
#include "updatefile/update_writer.h"

using namespace zor;

std::vector<FuzzInput> fuzzSeeds() {
    ComponentSpec milo, pgm, lang;
    milo.version = "Boot VERS 1.01 BUILD 14";
    milo.infoType = 8;
    milo.data = patternBlocks(2, 1);
    pgm.version = "Programma base VERS 2.20 BUILD 41";
    pgm.posn = 1;
    pgm.blks = 3;
    pgm.data = patternBlocks(5, 2);
    lang.version = "Lingua VERS 1.3";
    lang.versionPad = '\0';
    lang.infoType = 1;
    lang.data = patternBlocks(1, 3);
    ComponentSpec whole = pgm;
    whole.segSize = SegSizeField::blanks();
    ComponentSpec empty;
    empty.version = "Vuoto";
    return {
        UpdateFileWriter().add(milo).add(pgm).add(lang).bytes(),
        UpdateFileWriter().add(whole).bytes(),
        UpdateFileWriter().add(empty).add(lang).trailing(FuzzInput(300, 0xAA)).bytes(),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An in-memory file: the loader reads through the OS like it would a disk.
    const int fd = memfd_create("update", 0);
    FUZZ_CHECK(fd >= 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        FUZZ_CHECK(n > 0);
        done += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    UpdateTable components;
    std::string lines, id;
    size_t segments = 0;
    const Outcome outcome = LoadUpdateFile(path, components, lines, id, &segments);
    const bool ok = outcome.ok();
    close(fd);

    FUZZ_CHECK(segments <= UPDATE_SLOTS);
    FUZZ_CHECK(ok == boxesFor(outcome, "Zorload").empty());
    FUZZ_CHECK(!ok || segments > 0);
    for (size_t i = 0; i < UPDATE_SLOTS; ++i) {
        const Segmento& s = components[i];
        FUZZ_CHECK(s.dati.size() == static_cast<size_t>(s.datiSize) * BLOCK_SIZE);
        if (i >= segments) {
            FUZZ_CHECK(!s.hasData());
        } else {
            FUZZ_CHECK((s.InfoType & 0xF0) == 0);
            // A segment's blocks come from the file: never more than it holds.
            FUZZ_CHECK(s.dati.size() <= size);
        }
    }
    return 0;
}
