// Reads arbitrary bytes as a stream file in small chunks and holds the cut to
// the one the splitter makes of the whole buffer at once: the same units, or
// the same refusal. A rewind keeps the parser state, so the second pass is
// only held to the bounds. The first byte picks the codec and the chunk size.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "bench/stream_reader.h"
#include "bench/stream_splitter.h"

namespace {

// One file per process, so parallel fuzzing jobs do not share it.
const std::string g_StreamPath =
    (std::filesystem::temp_directory_path() / ("tarsel-fuzz-" + std::to_string(getpid()) + ".stream")).string();

struct Cut {
    std::vector<size_t> sizes;
    std::vector<size_t> spsOffsets;
    bool failed = false;
};

Cut CutWhole(uint8_t codec, const uint8_t* data, size_t size)
{
    Cut cut;
    AccessUnitSplitter splitter(codec);
    for (size_t offset = 0;;) {
        const SplitStep step = splitter.Next(data + offset, size - offset, true);
        if (step.kind != SplitStep::Kind::Unit) {
            cut.failed = step.kind != SplitStep::Kind::End || splitter.Error().size() > 0;
            return cut;
        }
        cut.sizes.push_back(step.size);
        cut.spsOffsets.push_back(step.spsOffset);
        offset += step.size;
    }
}

Cut Read(StreamReader& reader, const uint8_t* data, size_t maxUnit)
{
    Cut cut;
    uint64_t offset = 0;
    AccessUnitView unit;
    StreamReader::Result result;
    while ((result = reader.Next(unit)) == StreamReader::Result::Unit) {
        // Units follow one another without gaps, carry the file's bytes and keep to the limit.
        if (unit.offset != offset || unit.size == 0 || unit.size > maxUnit ||
            std::memcmp(unit.data, data + offset, unit.size) != 0 ||
            (unit.spsOffset != SplitStep::kNoSps && unit.spsOffset >= unit.size))
            __builtin_trap();
        cut.sizes.push_back(unit.size);
        cut.spsOffsets.push_back(unit.spsOffset);
        offset += unit.size;
    }
    cut.failed = result == StreamReader::Result::Failed;
    if (cut.failed == reader.Error().empty())
        __builtin_trap();
    return cut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t codec = data[0] & 1;
    const size_t chunk = 1 + (data[0] >> 1) * 37;
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;
    std::ofstream(g_StreamPath, std::ios::binary).write(reinterpret_cast<const char*>(stream), std::streamsize(length));

    const Cut whole = CutWhole(codec, stream, length);
    // A limit the whole stream fits in cannot change the cut.
    StreamReader reader(codec, chunk, length);
    if (!reader.Open(g_StreamPath))
        __builtin_trap();
    const Cut read = Read(reader, stream, length);
    if (read.failed != whole.failed || read.sizes != whole.sizes || read.spsOffsets != whole.spsOffsets)
        __builtin_trap();
    if (!whole.failed && std::accumulate(read.sizes.begin(), read.sizes.end(), size_t{0}) != length)
        __builtin_trap();
    if (!reader.Rewind())
        __builtin_trap();
    Read(reader, stream, length);
    return 0;
}
