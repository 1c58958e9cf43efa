#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/hevc/hevc_parser.h"

struct HevcStreamDeleter {
    void operator()(HevcStream* stream) const { DestroyHevcStream(stream); }
};
using HevcStreamPtr = std::unique_ptr<HevcStream, HevcStreamDeleter>;

// Writes syntax elements most significant bit first, then turns the RBSP
// into NAL unit bytes with emulation prevention, as an encoder would.
class BitWriter {
public:
    void Put(uint64_t value, int bits);
    void PutUe(uint32_t value);
    void PutSe(int32_t value);
    size_t BitCount() const { return m_BitCount; }
    // rbsp_trailing_bits() and the escaped NAL unit behind a two-byte header.
    std::vector<uint8_t> NalUnit(uint32_t nal_unit_type);

private:
    std::vector<uint8_t> m_Bytes;
    size_t m_BitCount = 0;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// The NAL units of an Annex B buffer, each without its start code.
std::vector<std::vector<uint8_t>> SplitNalUnits(const std::vector<uint8_t>& stream);
std::string HevcFixturePath(const std::string& name);
