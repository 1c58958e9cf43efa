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

// Codes with prefixes on both sides of what one 64-bit load holds, from every
// bit offset, with enough data after them for whole-word reads.
TEST(BitReader, ExpGolombCodesFromEveryOffset)
{
    for (int zeros : {0, 1, 7, 27, 28, 29, 31}) {
        const uint32_t suffix = zeros == 0 ? 0 : 0x5A5A5A5Au & ((1u << zeros) - 1);
        for (int offset = 0; offset < 8; ++offset) {
            std::string bits(static_cast<size_t>(offset), '1');
            bits += std::string(static_cast<size_t>(zeros), '0') + "1";
            for (int bit = zeros - 1; bit >= 0; --bit)
                bits += (suffix >> bit) & 1 ? '1' : '0';
            bits += std::string(64, '1');
            std::vector<uint8_t> data = Bits(bits);
            BitReader reader = MakeBitReader(data.data(), data.size());
            SkipBits(reader, static_cast<size_t>(offset));
            EXPECT_EQ(ReadUe(reader), (1u << zeros) - 1 + suffix) << zeros << " zeros at " << offset;
            EXPECT_EQ(BitPosition(reader), static_cast<size_t>(offset + 2 * zeros + 1)) << zeros << " zeros at " << offset;
        }
    }
}

// Every width from every bit offset, near enough the end that wide reads
// switch from whole-word loads to single bits: the value is the data's bits
// (zeros past the end), the position that of as many single-bit reads, and
// the overrun shows from the eighth bit past the end on.
TEST(BitReader, FixedWidthReadsFromEveryOffset)
{
    const std::vector<uint8_t> data = {0x9C, 0x01, 0xFF, 0x00, 0x5A, 0xA5, 0x80, 0x7F, 0x31, 0xE4, 0x0F, 0xC3};
    for (size_t offset = 0; offset < 8 * data.size(); ++offset) {
        for (int count = 1; count <= 32; ++count) {
            BitReader wide = MakeBitReader(data.data(), data.size()), single = wide;
            SkipBits(wide, offset);
            SkipBits(single, offset);
            uint32_t expected = 0;
            for (size_t bit = offset; bit < offset + count; ++bit) {
                expected = (expected << 1) | (bit < 8 * data.size() ? (data[bit / 8] >> (7 - bit % 8)) & 1 : 0);
                ReadBit(single);
            }
            ASSERT_EQ(ReadBits(wide, count), expected) << offset << " + " << count;
            ASSERT_EQ(BitPosition(wide), BitPosition(single)) << offset << " + " << count;
            ASSERT_EQ(HasOverrun(wide), offset + count > 8 * data.size() + 7) << offset << " + " << count;
        }
    }
    BitReader reader = MakeBitReader(data.data(), data.size());
    SkipBits(reader, size_t(1) << 40);  // a huge skip stops one byte past the end
    EXPECT_EQ(reader.cursor, reader.end + 1);
}

} // namespace
