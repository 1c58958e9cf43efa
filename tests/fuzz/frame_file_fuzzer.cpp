// Loads arbitrary bytes as a frame file, the way the benchmark reads one from
// data/, and asks the record everything the decoder and the log ask it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/video_file_frame.h"

namespace {

// One file per process, so parallel fuzzing jobs do not share it.
const std::string& FramePath()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("tarsel-fuzz-" + std::to_string(getpid()) + ".frame")).string();
    return path;
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!WriteFile(FramePath(), data, size))
        return 0;
    try {
        VideoFileFrame frame(FramePath());
        // Everything after the header is payload, whatever the header says.
        if (frame.DataSize() != size - kFrameHeaderSize)
            __builtin_trap();
        std::vector<uint8_t> payload(frame.DataSize());
        int64_t copied = frame.CopyData(payload.data(), payload.size());
        if (copied < 0 || static_cast<size_t>(copied) != payload.size())
            __builtin_trap();
        // A short destination must be respected too.
        std::vector<uint8_t> half(payload.size() / 2);
        if (frame.CopyData(half.data(), half.size()) != static_cast<int64_t>(half.size()))
            __builtin_trap();
        (void)frame.Describe();
    } catch (const std::runtime_error&) {
        // Only a file shorter than the header may be refused.
        if (size >= kFrameHeaderSize)
            __builtin_trap();
    }
    return 0;
}
