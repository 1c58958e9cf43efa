#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bitstream/nal_unit.h"

using Bytes = std::vector<uint8_t>;

// `codec` is the folder under tests/fixtures: "h264" or "hevc".
inline std::string FixturePath(const std::string& codec, const std::string& name)
{
    return std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/" + codec + "/" + name;
}

inline Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The NAL units of an Annex B stream, split the way the decoder splits an access unit.
inline std::vector<Bytes> SplitNalUnits(const Bytes& stream)
{
    std::vector<Bytes> units;
    uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
    for (size_t offset = 0; offset < stream.size(); offset += nalEnd) {
        if (FindNalUnit(stream.data() + offset, stream.size() - offset, nalStart, nalEnd, startCodeLength) < 1)
            break;
        units.emplace_back(stream.begin() + static_cast<long>(offset + nalStart), stream.begin() + static_cast<long>(offset + nalEnd));
    }
    return units;
}
