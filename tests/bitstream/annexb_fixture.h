#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bitstream/nal_unit.h"

using Bytes = std::vector<uint8_t>;

inline std::string H264FixturePath(const std::string& name)
{
    return std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/h264/" + name;
}

inline Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The access unit of a benchmark frame file (data/<codec>/<W>_<H>/frame_<N>.frame)
// without the file's five-byte header; empty when the data set is not there.
inline Bytes LoadFrameAccessUnit(const std::string& relativePath)
{
    std::ifstream in(std::string(TARSEL_SOURCE_DIR) + "/data/" + relativePath, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.size() > 5 ? Bytes(bytes.begin() + 5, bytes.end()) : Bytes{};
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
