#include "bitstream/bit_reader.h"

#include <bit>
#include <cstring>

namespace {

// The eight bytes at p as one big-endian number.
uint64_t LoadBigEndian(const uint8_t* p)
{
    uint64_t word = 0;
    std::memcpy(&word, p, sizeof(word));
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap64(word);
    return word;
}

// The unread bits from the cursor on, first bit highest; only with eight bytes to spare.
uint64_t Window(const BitReader& reader)
{
    return LoadBigEndian(reader.cursor) << (8 - reader.bitsLeft);
}

bool HasWord(const BitReader& reader)
{
    return reader.cursor < reader.end && reader.end - reader.cursor >= 8;
}

// Moves on `count` bits, which the caller has bounded.
void Advance(BitReader& reader, size_t count)
{
    const size_t consumed = (8 - reader.bitsLeft) + count;
    reader.cursor += consumed / 8;
    reader.bitsLeft = 8 - static_cast<uint32_t>(consumed % 8);
}

}  // namespace

BitReader MakeBitReader(const uint8_t* data, size_t size)
{
    return BitReader{data, data, data + size, 8};
}

uint32_t ReadBit(BitReader& reader)
{
    --reader.bitsLeft;
    uint32_t bit = reader.cursor < reader.end ? (*reader.cursor >> reader.bitsLeft) & 1u : 0u;
    if (reader.bitsLeft == 0) {
        ++reader.cursor;
        reader.bitsLeft = 8;
    }
    return bit;
}

uint32_t ReadBits(BitReader& reader, int count)
{
    if (count < 1)
        return 0;
    if (count > 32)
        count = 32;
    // With eight bytes to spare, one big-endian load holds every bit asked
    // for (at most 7 used + 32): long fields such as entry-point offsets
    // then cost one step instead of one per bit.
    if (HasWord(reader)) {
        const uint32_t value = static_cast<uint32_t>(Window(reader) >> (64 - count));
        Advance(reader, static_cast<size_t>(count));
        return value;
    }
    uint32_t value = 0;
    // Whole bytes straight from memory while aligned and inside the data.
    while (count >= 8 && reader.bitsLeft == 8 && reader.cursor < reader.end) {
        value = (value << 8) | *reader.cursor++;
        count -= 8;
    }
    while (count-- > 0)
        value = (value << 1) | ReadBit(reader);
    return value;
}

void SkipBits(BitReader& reader, size_t count)
{
    size_t consumed = (8 - reader.bitsLeft) + count;
    size_t wholeBytes = consumed / 8;
    // Stop the cursor one byte past the end: that is enough to show the
    // overrun, and a huge count cannot carry the pointer anywhere wild.
    size_t room = reader.cursor <= reader.end ? static_cast<size_t>(reader.end - reader.cursor) + 1 : 0;
    if (wholeBytes > room) {
        reader.cursor += room;
        reader.bitsLeft = 8;
        return;
    }
    Advance(reader, count);
}

uint32_t ReadByte(BitReader& reader)
{
    if (reader.bitsLeft == 8 && reader.cursor < reader.end)
        return *reader.cursor++;
    return ReadBits(reader, 8);
}

uint32_t ReadUe(BitReader& reader)
{
    // A code of up to 57 bits (28 leading zeros) lies whole in the window.
    constexpr int kLongestInWindow = 28;
    if (HasWord(reader)) {
        const uint64_t window = Window(reader);
        const int zeros = std::countl_zero(window);
        if (zeros <= kLongestInWindow) {
            const uint32_t length = static_cast<uint32_t>(2 * zeros + 1);
            Advance(reader, length);
            return static_cast<uint32_t>((window >> (64 - length)) - 1);
        }
    }
    uint32_t leadingZeros = 0;
    for (;;) {
        if (ReadBit(reader) == 1 || leadingZeros == 32 || reader.cursor >= reader.end)
            break;
        ++leadingZeros;
    }
    uint32_t value = ReadBits(reader, static_cast<int>(leadingZeros));
    return value + (1u << (leadingZeros % 32)) - 1u;
}

int32_t ReadSe(BitReader& reader)
{
    uint32_t k = ReadUe(reader);
    if (k & 1u)
        return static_cast<int32_t>(static_cast<uint32_t>((static_cast<uint64_t>(k) + 1) / 2));
    return -static_cast<int32_t>(k / 2);
}

bool MoreRbspData(const BitReader& reader)
{
    if (reader.cursor >= reader.end)
        return false;
    BitReader peek = reader;
    return ReadBits(peek, 8) != 0x80;
}

void SkipTrailingBits(BitReader& reader)
{
    ReadBit(reader);
    while (reader.bitsLeft != 8)
        ReadBit(reader);
}

size_t BitPosition(const BitReader& reader)
{
    const uint8_t* at = reader.cursor < reader.end ? reader.cursor : reader.end;
    return static_cast<size_t>(at - reader.begin) * 8 + 8 - reader.bitsLeft;
}
