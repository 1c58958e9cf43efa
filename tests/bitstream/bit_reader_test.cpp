#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitstream/bit_reader.h"

namespace {

// "010 011" -> bytes, most significant bit first, zero padded; spaces ignored.
std::vector<uint8_t> Bits(const std::string& text)
{
    std::vector<uint8_t> bytes;
    size_t used = 0;
    for (char c : text) {
        if (c != '0' && c != '1')
            continue;
        if (used % 8 == 0)
            bytes.push_back(0);
        bytes.back() |= static_cast<uint8_t>((c - '0') << (7 - used++ % 8));
    }
    return bytes;
}

TEST(BitReader, ExpGolombCodes)
{
    struct Case { const char* bits; uint32_t ue; int32_t se; };
    const Case cases[] = {
        {"1", 0, 0}, {"010", 1, 1}, {"011", 2, -1}, {"00100", 3, 2}, {"00101", 4, -2}, {"0001000", 7, 4},
        {"000000001 00000000", 255, 128},
        {"00000000000000001 0000000000000000", 65535, 32768},
        // 31 zeros: the largest value whose prefix fits the 32-zero limit.
        {"0000000000000000000000000000000 1 1111111111111111111111111111111", 0xFFFFFFFEu, -0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = Bits(std::string(c.bits) + " 1");
        BitReader reader = MakeBitReader(data.data(), data.size());
        EXPECT_EQ(ReadUe(reader), c.ue) << c.bits;
        EXPECT_EQ(ReadBit(reader), 1u) << "code length wrong for " << c.bits;
        reader = MakeBitReader(data.data(), data.size());
        EXPECT_EQ(ReadSe(reader), c.se) << c.bits;
    }
    // Zeros only: the prefix stops at 32 zeros, or at the end of short data.
    std::vector<uint8_t> zeros(32, 0);
    BitReader reader = MakeBitReader(zeros.data(), zeros.size());
    EXPECT_EQ(ReadUe(reader), 0u);
    EXPECT_LE(BitPosition(reader), 65u);
    reader = MakeBitReader(zeros.data(), 2);
    ReadUe(reader);
    EXPECT_LE(reader.cursor - reader.end, 3);
}

TEST(BitReader, FixedWidthReadsSkipsAndTheOverrunByte)
{
    std::vector<uint8_t> data = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    BitReader reader = MakeBitReader(data.data(), data.size());
    EXPECT_EQ(ReadBits(reader, 0) + ReadBits(reader, -3), 0u);
    EXPECT_EQ(ReadBits(reader, 4), 0x1u);
    EXPECT_EQ(ReadByte(reader), 0x23u);  // unaligned byte
    EXPECT_EQ(ReadBits(reader, 12), 0x456u);
    EXPECT_EQ(ReadByte(reader), 0x78u);  // aligned byte taken whole
    EXPECT_EQ(ReadBits(reader, 3), 0x4u);
    EXPECT_EQ(BitPosition(reader), 35u);
    EXPECT_EQ(ReadBits(reader, 32), 0xD5E00000u);  // 13 real bits, then zeros
    EXPECT_TRUE(HasOverrun(reader));
    reader = MakeBitReader(data.data(), data.size());
    EXPECT_EQ(ReadBits(reader, 33), 0x12345678u);  // at most 32 bits
    EXPECT_EQ(ReadBits(reader, 1), 1u);

    // Seven bits past the end are not yet an overrun, the eighth is.
    reader = MakeBitReader(data.data(), 2);
    SkipBits(reader, 13);
    EXPECT_EQ(ReadBits(reader, 8), 0x80u);
    EXPECT_FALSE(HasOverrun(reader));
    ReadBits(reader, 2);
    EXPECT_FALSE(HasOverrun(reader));
    ReadBit(reader);
    EXPECT_TRUE(HasOverrun(reader));

    reader = MakeBitReader(data.data(), 4);
    SkipBits(reader, 3);
    SkipBits(reader, 14);
    EXPECT_EQ(BitPosition(reader), 17u);
    SkipBits(reader, 15);
    EXPECT_FALSE(HasOverrun(reader));
    SkipBits(reader, size_t(1) << 40);  // a huge skip stops one byte past the end
    EXPECT_TRUE(HasOverrun(reader));
    EXPECT_EQ(reader.cursor, reader.end + 1);
}

// Every width from every bit offset, near enough the end that wide reads
// switch from whole-word loads to single bits, against a bit-by-bit reading.
TEST(BitReader, FixedWidthReadsEqualBitByBitReads)
{
    const std::vector<uint8_t> data = {0x9C, 0x01, 0xFF, 0x00, 0x5A, 0xA5, 0x80, 0x7F, 0x31, 0xE4, 0x0F, 0xC3};
    for (size_t offset = 0; offset < 8 * data.size(); ++offset) {
        for (int count = 1; count <= 32; ++count) {
            BitReader wide = MakeBitReader(data.data(), data.size()), single = wide;
            SkipBits(wide, offset);
            SkipBits(single, offset);
            uint32_t expected = 0;
            for (int i = 0; i < count; ++i)
                expected = (expected << 1) | ReadBit(single);
            ASSERT_EQ(ReadBits(wide, count), expected) << offset << " + " << count;
            ASSERT_EQ(BitPosition(wide), BitPosition(single)) << offset << " + " << count;
            ASSERT_EQ(HasOverrun(wide), HasOverrun(single)) << offset << " + " << count;
        }
    }
}

TEST(BitReader, MoreRbspDataAndTrailingBits)
{
    struct Case { std::vector<uint8_t> data; size_t skip; bool expected; };
    const Case cases[] = {
        {{}, 0, false}, {{0x80}, 0, false}, {{0x80}, 8, false}, {{0x81}, 0, true}, {{0x40}, 0, true},
        {{0xC0}, 1, false}, {{0xA0}, 1, true},
        {{0x10, 0x00}, 3, false},  // stop bit mid-byte, alignment across the boundary
        {{0x10, 0x01}, 3, false},  // only the next eight bits count
        {{0x00, 0x80}, 0, true},
    };
    for (const Case& c : cases) {
        BitReader reader = MakeBitReader(c.data.data(), c.data.size());
        SkipBits(reader, c.skip);
        EXPECT_EQ(MoreRbspData(reader), c.expected) << "size " << c.data.size() << " skip " << c.skip;
        EXPECT_EQ(BitPosition(reader), std::min(c.skip, c.data.size() * 8));
    }
    std::vector<uint8_t> data = {0x5F, 0xFF};
    for (size_t skip : {0, 3, 7, 8}) {
        BitReader reader = MakeBitReader(data.data(), data.size());
        SkipBits(reader, skip);
        SkipTrailingBits(reader);  // aligned: the stop bit takes a whole byte
        EXPECT_EQ(BitPosition(reader), skip == 8 ? 16u : 8u) << skip;
    }
}

} // namespace
