#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

// Writes `bytes` to `path` as they are.
inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A frame file: the 5-byte header (codec and version, little-endian timestamp) then the payload.
inline std::vector<uint8_t> FrameBytes(uint8_t codecAndVersion, uint32_t timestamp, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> bytes = {codecAndVersion, static_cast<uint8_t>(timestamp), static_cast<uint8_t>(timestamp >> 8),
                                  static_cast<uint8_t>(timestamp >> 16), static_cast<uint8_t>(timestamp >> 24)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}
