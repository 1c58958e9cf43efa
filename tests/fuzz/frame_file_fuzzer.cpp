// Loads arbitrary bytes as a frame file, the way the benchmark reads one from
// data/, and asks the record everything the decoder and the log ask it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/video_file_frame.h"

namespace {

// One file per process, so parallel fuzzing jobs do not share it.
const std::string g_FramePath =
    (std::filesystem::temp_directory_path() / ("tarsel-fuzz-" + std::to_string(getpid()) + ".frame")).string();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::ofstream(g_FramePath, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    try {
        VideoFileFrame frame(g_FramePath);
        // Everything after the header is payload, whatever the header says.
        if (frame.DataSize() != size - kFrameHeaderSize)
            __builtin_trap();
        std::vector<uint8_t> payload(frame.DataSize());
        int64_t copied = frame.CopyData(payload.data(), payload.size());
        if (copied < 0 || static_cast<size_t>(copied) != payload.size())
            __builtin_trap();
        // The decoder reads the payload in place: it must be the bytes CopyData hands out.
        if (!payload.empty() && (frame.Payload() == nullptr || std::memcmp(frame.Payload(), payload.data(), payload.size()) != 0))
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
