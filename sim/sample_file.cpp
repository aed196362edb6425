#include "sim/sample_file.h"

#include "sim/component_image.h"
#include "updatefile/update_writer.h"

namespace zor::sim {

std::vector<uint8_t> updateFileOf(const std::vector<SamplePart>& parts, uint32_t seed) {
    UpdateFileWriter writer;
    for (const SamplePart& p : parts) {
        ComponentSpec component;
        component.version = p.version;
        component.posn = p.posn;
        component.infoType = p.type;
        component.blks = p.blks;
        component.id = 0x0214002A;
        component.data = componentBlocks({p.type, p.blks, p.version}, p.dataBlocks, seed++);
        writer.add(component);
    }
    return writer.bytes();
}

std::vector<uint8_t> sampleUpdateFile() {
    // Small data so that a transfer over the pty takes seconds, not minutes.
    return updateFileOf({{8, 0, 1, 20, "Boot VERS 1.01 BUILD 14"},
                         {0, 1, 3, 60, "Programma base VERS 2.20 BUILD 41"},
                         {1, 0, 1, 12, "Lingua italiano VERS 1.3 BUILD 5"},
                         {1, 0, 1, 12, "Lingua inglese VERS 1.3 BUILD 5"}},
                        1);
}

}  // namespace zor::sim
