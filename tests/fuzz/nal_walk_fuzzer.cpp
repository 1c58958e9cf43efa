// Walks arbitrary bytes as an Annex B stream and hands every NAL unit to both
// parsers. The stream records live across inputs, as the decoder keeps them
// across frames, so parameter sets from one input meet slices of the next.
#include <cstddef>
#include <cstdint>

#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"

namespace {

H264Stream* g_H264Stream = CreateH264Stream();
HevcStream* g_HevcStream = CreateHevcStream();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* position = data;
    const uint8_t* end = data + size;
    for (;;) {
        uint32_t nalStart = 0;
        uint32_t nalEnd = 0;
        uint32_t startCodeLength = 0;
        if (FindNalUnit(position, static_cast<size_t>(end - position), nalStart, nalEnd, startCodeLength) < 1)
            break;
        const uint8_t* nal = position + nalStart;
        size_t length = nalEnd - nalStart;
        // Either the whole unit is taken or it is refused; nothing else.
        int32_t h264 = ParseH264Nal(g_H264Stream, nal, length);
        int32_t hevc = ParseHevcNal(g_HevcStream, nal, length);
        if ((h264 != -1 && static_cast<size_t>(h264) != length) || (hevc != -1 && static_cast<size_t>(hevc) != length))
            __builtin_trap();
        position = nal + length;
    }
    return 0;
}
