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

// Codes with prefixes on both sides of what one 64-bit load holds, up to 31
// zeros (the largest value whose prefix fits the 32-zero limit), from every
// bit offset, with enough data after them for whole-word reads.
TEST(BitReader, ExpGolombCodesFromEveryOffset)
{
    struct Case { int zeros; uint32_t suffix; uint32_t ue; int32_t se; };
    const Case cases[] = {
        {0, 0, 0, 0}, {1, 0, 1, 1}, {1, 1, 2, -1}, {2, 0, 3, 2}, {2, 1, 4, -2}, {3, 0, 7, 4}, {7, 0x5B, 0xDA, -0x6D},
        {16, 0, 65535, 32768}, {27, 0x25A5A5A, 0xA5A5A59, 0x52D2D2D}, {28, 0xA5A5A5B, 0x1A5A5A5A, -0xD2D2D2D},
        {29, 0x1A5A5A5A, 0x3A5A5A59, 0x1D2D2D2D}, {31, 0x7FFFFFFF, 0xFFFFFFFE, -0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        for (int offset = 0; offset < 8; ++offset) {
            std::string bits(static_cast<size_t>(offset), '1');
            bits += std::string(static_cast<size_t>(c.zeros), '0') + "1";
            for (int bit = c.zeros - 1; bit >= 0; --bit)
                bits += (c.suffix >> bit) & 1 ? '1' : '0';
            bits += std::string(64, '1');
            std::vector<uint8_t> data = Bits(bits);
            BitReader reader = MakeBitReader(data.data(), data.size());
            SkipBits(reader, static_cast<size_t>(offset));
            EXPECT_EQ(ReadUe(reader), c.ue) << c.zeros << " zeros at " << offset;
            EXPECT_EQ(BitPosition(reader), static_cast<size_t>(offset + 2 * c.zeros + 1)) << c.zeros << " zeros at " << offset;
            reader = MakeBitReader(data.data(), data.size());
            SkipBits(reader, static_cast<size_t>(offset));
            EXPECT_EQ(ReadSe(reader), c.se) << c.zeros << " zeros at " << offset;
        }
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
