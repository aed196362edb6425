#include "updatefile/crc16.h"

#include <gtest/gtest.h>

#include <vector>

namespace zor {
namespace {

TEST(Crc16, ReferenceValues) {
    EXPECT_EQ(crc16Table[0], 0x0000);
    EXPECT_EQ(crc16Table[1], 0x1189);
    EXPECT_EQ(crc16Table[2], 0x2312);
    EXPECT_EQ(crc16Table[128], 0x8408);
    EXPECT_EQ(crc16Table[255], 0x0F78);
    // Every entry, bit by bit through the reflected polynomial: the update-file
    // writer of the tests shares the table, so round trips would not notice.
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        EXPECT_EQ(crc16Table[i], v) << i;
    }
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16Update(CRC16_INIT, check, 9), 0x6F91);
    EXPECT_EQ(crc16Update(CRC16_INIT, check, 9) ^ 0xFFFF, 0x906E);
    EXPECT_EQ(crc16Update(0x0000, check, 9), 0x2189);
    EXPECT_EQ(crc16Update(0x1234, check, 0), 0x1234);
    uint16_t reg = CRC16_INIT;
    for (uint8_t b : check)
        reg = crc16Byte(reg, b);
    EXPECT_EQ(reg, 0x6F91);
}

// crc16Update takes many bytes a step: every length across a few of its
// steps, from every alignment, against the byte at a time register.
TEST(Crc16, ManyBytesAStepAgreeWithOneAtATime) {
    std::vector<uint8_t> data(80);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t offset = 0; offset < 9; ++offset) {
        for (size_t length = 0; offset + length <= data.size(); ++length) {
            uint16_t expected = 0x5A3C;
            for (size_t i = 0; i < length; ++i)
                expected = crc16Byte(expected, data[offset + i]);
            ASSERT_EQ(crc16Update(0x5A3C, data.data() + offset, length), expected)
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(Crc16, ResidueAcceptsCheckBytesLowByteFirst) {
    for (std::vector<uint8_t> data :
         {std::vector<uint8_t>{}, std::vector<uint8_t>{'1', '2', '3'}}) {
        const uint16_t stored = crc16Update(CRC16_INIT, data.data(), data.size()) ^ 0xFFFF;
        if (data.empty()) {
            EXPECT_EQ(stored, 0);  // check bytes 00 00
        }
        data.push_back(static_cast<uint8_t>(stored));
        data.push_back(static_cast<uint8_t>(stored >> 8));
        EXPECT_EQ(crc16Update(CRC16_INIT, data.data(), data.size()), CRC16_GOOD);
        if (data.size() > 2) {
            std::swap(data[data.size() - 1], data[data.size() - 2]);
            EXPECT_NE(crc16Update(CRC16_INIT, data.data(), data.size()), CRC16_GOOD);
        }
    }
}

}  // namespace
}  // namespace zor
