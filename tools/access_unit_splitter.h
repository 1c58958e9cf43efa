#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One access unit of an Annex B stream: a byte range that starts with the
// start code of its first NAL unit. Consecutive units cover the stream
// without gaps, so their bytes concatenated give back the stream.
struct AccessUnitRange {
    size_t offset;
    size_t size;
};

// Streams beyond this size are refused: the tool holds the whole stream in memory.
constexpr size_t kMaxStreamSize = size_t{1} << 30;

// Cuts a whole H.264 (codec 0) or H.265 (codec 1) Annex B stream held in
// memory into access units, as AccessUnitSplitter (bench/stream_splitter.h)
// cuts a stream read piece by piece. Returns false with a message in `error`
// when the input is not an Annex B stream of that codec or a NAL unit cannot
// be parsed; `units` is then empty.
bool SplitAccessUnits(uint8_t codec, const uint8_t* data, size_t size,
                      std::vector<AccessUnitRange>& units, std::string& error);
