#include "fixture_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "bitstream/nal_unit.h"

std::vector<uint8_t> ReadFixture(const std::string& name)
{
    const std::string path = std::string(TARSEL_SOURCE_DIR) + "/tests/dxva/fixtures/" + name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::span<const uint8_t>> SplitNalUnits(const std::vector<uint8_t>& stream)
{
    std::vector<std::span<const uint8_t>> units;
    size_t offset = 0;
    while (offset < stream.size()) {
        uint32_t nalStart = 0;
        uint32_t nalEnd = 0;
        uint32_t startCodeLength = 0;
        const int32_t length =
            FindNalUnit(stream.data() + offset, stream.size() - offset, nalStart, nalEnd, startCodeLength);
        if (length < 1)
            break;
        units.emplace_back(stream.data() + offset + nalStart, static_cast<size_t>(length));
        offset += nalEnd;
    }
    return units;
}
