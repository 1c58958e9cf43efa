#include "tools/frame_file_writer.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

uint32_t FrameTimestamp(uint64_t index, double fps)
{
    double ticks = std::round(static_cast<double>(index) * kTimestampClock / fps);
    return static_cast<uint32_t>(static_cast<uint64_t>(ticks));
}

std::vector<uint8_t> MakeFrameHeader(uint8_t codec, uint32_t timestamp)
{
    return {static_cast<uint8_t>(codec << 4 | kFrameFileVersion), static_cast<uint8_t>(timestamp),
            static_cast<uint8_t>(timestamp >> 8), static_cast<uint8_t>(timestamp >> 16),
            static_cast<uint8_t>(timestamp >> 24)};
}

namespace {

bool WriteOneFrame(const std::filesystem::path& path, const std::vector<uint8_t>& header, const uint8_t* payload,
                   size_t payloadSize, std::string& error)
{
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (out.is_open()) {
            out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
            out.write(reinterpret_cast<const char*>(payload), static_cast<std::streamsize>(payloadSize));
            out.close();
        }
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            error = "could not write " + path.string();
            return false;
        }
    }
    std::error_code renameError;
    std::filesystem::rename(partial, path, renameError);
    if (renameError) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        error = "could not write " + path.string() + ": " + renameError.message();
        return false;
    }
    return true;
}

}  // namespace

bool WriteFrameFiles(const std::string& directory, uint8_t codec, double fps, const uint8_t* stream,
                     const std::vector<AccessUnitRange>& units, std::string& error)
{
    if (!(fps > 0.0) || !std::isfinite(fps)) {
        error = "frame rate must be a positive number";
        return false;
    }
    std::error_code createError;
    std::filesystem::create_directories(directory, createError);
    if (createError) {
        error = "could not create " + directory + ": " + createError.message();
        return false;
    }
    for (size_t index = 0; index < units.size(); ++index) {
        std::filesystem::path path = std::filesystem::path(directory) / ("frame_" + std::to_string(index) + ".frame");
        if (!WriteOneFrame(path, MakeFrameHeader(codec, FrameTimestamp(index, fps)), stream + units[index].offset,
                           units[index].size, error))
            return false;
    }
    return true;
}
