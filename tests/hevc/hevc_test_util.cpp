#include "hevc_test_util.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "bitstream/nal_unit.h"

void BitWriter::Put(uint64_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i) {
        if (m_BitCount % 8 == 0)
            m_Bytes.push_back(0);
        if ((value >> i) & 1)
            m_Bytes.back() |= static_cast<uint8_t>(0x80 >> (m_BitCount % 8));
        ++m_BitCount;
    }
}

void BitWriter::PutUe(uint32_t value)
{
    const uint64_t coded = uint64_t{value} + 1;
    int bits = 0;
    while ((coded >> bits) > 1)
        ++bits;
    Put(0, bits);
    Put(coded, bits + 1);
}

void BitWriter::PutSe(int32_t value)
{
    PutUe(value > 0 ? static_cast<uint32_t>(2 * int64_t{value} - 1) : static_cast<uint32_t>(-2 * int64_t{value}));
}

std::vector<uint8_t> BitWriter::NalUnit(uint32_t nal_unit_type)
{
    Put(1, 1);
    while (m_BitCount % 8 != 0)
        Put(0, 1);
    std::vector<uint8_t> nal = {static_cast<uint8_t>(nal_unit_type << 1), 1};
    int zeros = 0;
    for (uint8_t byte : m_Bytes) {
        if (zeros >= 2 && byte <= 3) {
            nal.push_back(3);
            zeros = 0;
        }
        nal.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return nal;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<uint8_t>> SplitNalUnits(const std::vector<uint8_t>& stream)
{
    std::vector<std::vector<uint8_t>> units;
    size_t offset = 0;
    uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
    while (offset < stream.size() &&
           FindNalUnit(stream.data() + offset, stream.size() - offset, nalStart, nalEnd, startCodeLength) > 0) {
        units.emplace_back(stream.begin() + static_cast<ptrdiff_t>(offset + nalStart),
                           stream.begin() + static_cast<ptrdiff_t>(offset + nalEnd));
        offset += nalEnd;
    }
    return units;
}

std::string HevcFixturePath(const std::string& name)
{
    return std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/hevc/" + name;
}
