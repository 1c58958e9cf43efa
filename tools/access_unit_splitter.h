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

// Streams beyond this size are refused: the NAL splitter works with 32-bit offsets.
constexpr size_t kMaxStreamSize = size_t{1} << 30;

// Cuts an H.264 (codec 0) or H.265 (codec 1) Annex B stream into access
// units, parsing every NAL unit with the project's parsers. A new unit
// begins at an access unit delimiter, at a parameter set or prefix SEI after
// the previous picture's slices, or at a picture's first slice. Returns false
// with a message in `error` when the input is not an Annex B stream of that
// codec or a NAL unit cannot be parsed; `units` is then empty.
bool SplitAccessUnits(uint8_t codec, const uint8_t* data, size_t size,
                      std::vector<AccessUnitRange>& units, std::string& error);
