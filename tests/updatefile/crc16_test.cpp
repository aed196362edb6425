#include "updatefile/crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zor {
namespace {

const uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Crc16, TableReferenceEntries) {
    EXPECT_EQ(crc16Table[0], 0x0000);
    EXPECT_EQ(crc16Table[1], 0x1189);
    EXPECT_EQ(crc16Table[2], 0x2312);
    EXPECT_EQ(crc16Table[128], 0x8408);
    EXPECT_EQ(crc16Table[255], 0x0F78);
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ 0x8408) : v >> 1;
        ASSERT_EQ(crc16Table[i], v) << i;
    }
}

TEST(Crc16, CheckValues) {
    EXPECT_EQ(crc16Update(CRC16_INIT, kCheck, sizeof kCheck), 0x6F91);
    EXPECT_EQ(crc16Update(CRC16_INIT, kCheck, sizeof kCheck) ^ 0xFFFF, 0x906E);
    EXPECT_EQ(crc16Update(0x0000, kCheck, sizeof kCheck), 0x2189);
    EXPECT_EQ(crc16Update(0x1234, kCheck, 0), 0x1234);
}

TEST(Crc16, ResidueAcceptsOnlyLowByteFirst) {
    std::vector<uint8_t> data(kCheck, kCheck + sizeof kCheck);
    const uint16_t stored = crc16Update(CRC16_INIT, data.data(), data.size()) ^ 0xFFFF;
    auto withCheck = data;
    withCheck.push_back(static_cast<uint8_t>(stored));
    withCheck.push_back(static_cast<uint8_t>(stored >> 8));
    EXPECT_EQ(crc16Update(CRC16_INIT, withCheck.data(), withCheck.size()), CRC16_GOOD);
    std::swap(withCheck[9], withCheck[10]);
    EXPECT_NE(crc16Update(CRC16_INIT, withCheck.data(), withCheck.size()), CRC16_GOOD);

    // Empty protected data: check bytes 00 00, which alone give the residue.
    EXPECT_EQ(CRC16_INIT ^ 0xFFFF, 0);
    const uint8_t zeros[2] = {0, 0};
    EXPECT_EQ(crc16Update(CRC16_INIT, zeros, 2), CRC16_GOOD);
}

TEST(Crc16, ByteByByteEqualsUpdate) {
    uint16_t reg = CRC16_INIT;
    for (uint8_t b : kCheck)
        reg = crc16Byte(reg, b);
    EXPECT_EQ(reg, crc16Update(CRC16_INIT, kCheck, sizeof kCheck));
}

}  // namespace
}  // namespace zor
