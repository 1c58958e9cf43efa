#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bitstream/bit_reader.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/hevc/hevc_syntax.h"
#include "bitstream/nal_unit.h"
#include "logging/spdlog_logger.h"

namespace {

constexpr size_t kNalHeaderBytes = 2;
// A slice segment header is converted from the front of its NAL unit only:
// this first piece holds every header seen in practice, and a header that
// reaches further (thousands of entry points) is parsed again over a piece
// grown by kSliceChunkGrowth, up to the whole unit.
constexpr size_t kFirstSliceChunkBytes = 512;
constexpr size_t kSliceChunkGrowth = 8;

enum : uint32_t {
    kNalVps = 32,
    kNalSps = 33,
    kNalPps = 34,
};

bool IsSliceSegment(uint32_t nal_unit_type)
{
    return nal_unit_type <= 9 || (nal_unit_type >= 16 && nal_unit_type <= 21);
}

// Converts the payload of the first `prefixLength` bytes of a NAL unit and
// returns how many RBSP bytes are final.
size_t ConvertPrefix(HevcNalUnit& nal, const uint8_t* data, size_t prefixLength, size_t length)
{
    size_t rbspSize = 0;
    const size_t finalBytes = NalPrefixToRbsp(data, length, prefixLength, kNalHeaderBytes, nal.rbsp, rbspSize);
    nal.rbspSize = rbspSize;
    return finalBytes;
}

bool ParseSlice(HevcStream& stream, const uint8_t* data, size_t length)
{
    HevcSliceSelection selection{};
    HevcParseFailure failure{};
    BitReader reader{};
    bool parsed = false;
    size_t prefixLength = std::min(length, kFirstSliceChunkBytes);
    for (;;) {
        const size_t finalBytes = ConvertPrefix(*stream.nal, data, prefixLength, length);
        reader = MakeBitReader(stream.nal->rbsp, finalBytes);
        parsed = ParseHevcSliceSegmentHeader(stream, reader, stream.nal->nal_unit_type, selection, failure);
        // Reaching the end of a cut-off prefix means bits may have been read
        // that the rest of the unit would have supplied: parse again, longer.
        if (prefixLength == length || reader.cursor < reader.end)
            break;
        prefixLength = length / kSliceChunkGrowth < prefixLength ? length : prefixLength * kSliceChunkGrowth;
    }
    if (!parsed) {
        g_Logger.Log(LogLevel::error, "%s", failure.message);
        return false;
    }

    *stream.sh = stream.shScratch;
    stream.pps = selection.pps;
    stream.sps = selection.sps;
    if (selection.ownShortTermRps)
        selection.sps->stRps = stream.stRpsScratch;
    stream.loc->headerBits = static_cast<uint32_t>(BitPosition(reader) + 16);
    return true;
}

} // namespace

HevcStream* CreateHevcStream()
{
    // calloc: the tables start zero-filled, so a slice or PPS that names a
    // set never received reads zeros.
    auto* stream = static_cast<HevcStream*>(std::calloc(1, sizeof(HevcStream)));
    if (!stream)
        return nullptr;
    stream->nal = static_cast<HevcNalUnit*>(std::calloc(1, sizeof(HevcNalUnit)));
    stream->sh = static_cast<HevcSliceHeader*>(std::calloc(1, sizeof(HevcSliceHeader)));
    stream->loc = static_cast<SliceDataLocation*>(std::calloc(1, sizeof(SliceDataLocation)));
    if (!stream->nal || !stream->sh || !stream->loc) {
        DestroyHevcStream(stream);
        return nullptr;
    }
    // Fault the tables, the RBSP front and the size behind the RBSP buffer
    // in now rather than page by page inside a timed decode; they stay zero.
    auto* tables = reinterpret_cast<uint8_t*>(stream->vpsTable);
    std::memset(tables, 0, static_cast<size_t>(reinterpret_cast<uint8_t*>(stream + 1) - tables));
    std::memset(stream->nal->rbsp, 0, kRbspPreparedBytes);
    stream->nal->rbspSize = 0;
    return stream;
}

void DestroyHevcStream(HevcStream* stream)
{
    if (!stream)
        return;
    std::free(stream->loc);
    std::free(stream->sh);
    std::free(stream->nal);
    std::free(stream);
}

int32_t ParseHevcNal(HevcStream* stream, const uint8_t* data, size_t length)
{
    if (!stream || (!data && length > 0)) {
        g_Logger.Log(LogLevel::error, "parser: no stream or no data for an hevc nal unit");
        return -1;
    }
    HevcNalUnit& nal = *stream->nal;

    BitReader header = MakeBitReader(data, std::min(length, kNalHeaderBytes));
    SkipBits(header, 1);  // forbidden_zero_bit
    nal.nal_unit_type = ReadBits(header, 6);
    nal.nuh_layer_id = ReadBits(header, 6);
    nal.nuh_temporal_id_plus1 = ReadBits(header, 3);

    if (length > kRbspCapacity) {
        std::printf("parser: rbsp buffer is too small ...\n");
        return -1;
    }

    if (IsSliceSegment(nal.nal_unit_type))
        return ParseSlice(*stream, data, length) ? static_cast<int32_t>(length) : -1;

    const size_t rbspSize = ConvertPrefix(nal, data, length, length);
    BitReader reader = MakeBitReader(nal.rbsp, rbspSize);
    bool parsed = true;
    switch (nal.nal_unit_type) {
    case kNalVps:
        parsed = ParseHevcVps(*stream, reader);
        break;
    case kNalSps:
        parsed = ParseHevcSps(*stream, reader);
        break;
    case kNalPps:
        parsed = ParseHevcPps(*stream, reader);
        break;
    default:
        break;
    }
    return parsed ? static_cast<int32_t>(length) : -1;
}

bool IsHevcIdr(uint32_t nal_unit_type)
{
    return nal_unit_type == 19 || nal_unit_type == 20;
}

bool IsHevcIrap(uint32_t nal_unit_type)
{
    return nal_unit_type >= 16 && nal_unit_type <= 23;
}

bool IsHevcEndOfSequence(uint32_t nal_unit_type)
{
    return nal_unit_type == 36 || nal_unit_type == 37;
}

int32_t FindHevcPictureType(const uint8_t* data, size_t size)
{
    const uint8_t* end = data + size;
    uint32_t startCodeLength = 0;
    // Parameter sets and the like come first; the walk stops at the first
    // slice's header byte, so the slice data is never scanned.
    for (const uint8_t* nal = FindStartCode(data, end, startCodeLength); nal < end;
         nal = FindStartCode(nal, end, startCodeLength)) {
        const uint32_t type = (nal[0] >> 1) & 0x3F;
        if (type < 32)
            return static_cast<int32_t>(type);
    }
    return -1;
}
