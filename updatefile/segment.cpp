#include "updatefile/segment.h"

#include <cstring>

namespace zor {

const char UPDATE_MAGIC[8] = {'$', 'U', 'P', 'D', 'A', 'T', 'E', '$'};

namespace {
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

void Segmento::setHeader(const uint8_t* raw) {
    std::memcpy(Magic.data(), raw + HDR_MAGIC, Magic.size());
    std::memcpy(reserved1.data(), raw + 8, reserved1.size());
    std::memcpy(Version.data(), raw + HDR_VERSION, Version.size());
    SegSize = le32(raw + HDR_SEGSIZE);
    Posn = le16(raw + HDR_POSN);
    InfoType = le16(raw + HDR_INFOTYPE);
    Blks = le16(raw + HDR_BLKS);
    reserved2 = le16(raw + 158);
    ID = le32(raw + HDR_ID);
}

void Segmento::clear() {
    datiSize = 0;
    dati.clear();
    dati.shrink_to_fit();
}

void emptyTable(UpdateTable& components) {
    for (Segmento& s : components)
        s.clear();
}

}  // namespace zor
