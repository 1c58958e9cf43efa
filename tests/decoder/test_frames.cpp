#include "test_frames.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tools/access_unit_splitter.h"

namespace {

struct MemoryFrame : VideoFrame {
    explicit MemoryFrame(std::vector<uint8_t> payload) : m_Payload(std::move(payload)) {}
    int64_t CopyData(uint8_t* destination, size_t capacity) const override
    {
        return std::copy_n(m_Payload.begin(), std::min(capacity, m_Payload.size()), destination) - destination;
    }
    size_t DataSize() const override { return m_Payload.size(); }
    bool QueryFlag() const override { return false; }
    std::vector<uint8_t> m_Payload;
};

}  // namespace

std::unique_ptr<VideoFrame> Frame(uint8_t codec, std::vector<uint8_t> payload, size_t width, size_t height)
{
    auto frame = std::make_unique<MemoryFrame>(std::move(payload));
    frame->codec = codec;
    frame->width = frame->codedWidth = width;
    frame->height = frame->codedHeight = height;
    frame->fps = 30.0f;
    return frame;
}

std::vector<std::vector<uint8_t>> FixtureAccessUnits(const std::string& name, uint8_t codec)
{
    std::ifstream file(std::string(TARSEL_SOURCE_DIR) + "/tests/decoder/fixtures/" + name, std::ios::binary);
    std::vector<uint8_t> stream{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<AccessUnitRange> units;
    std::string error;
    if (stream.empty() || !SplitAccessUnits(codec, stream.data(), stream.size(), units, error))
        throw std::runtime_error(name + ": " + error);
    std::vector<std::vector<uint8_t>> payloads;
    for (const AccessUnitRange& unit : units)
        payloads.emplace_back(stream.begin() + unit.offset, stream.begin() + unit.offset + unit.size);
    return payloads;
}
