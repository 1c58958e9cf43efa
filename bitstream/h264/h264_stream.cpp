#include <cstdio>
#include <cstring>
#include <new>

#include "bitstream/h264/h264_parser.h"
#include "bitstream/h264/h264_syntax.h"
#include "logging/spdlog_logger.h"

H264Stream* CreateH264Stream()
{
    // Zero-filled tables: a slice or PPS naming a set never received reads zeros.
    auto* stream = new (std::nothrow) H264Stream();
    if (!stream)
        return nullptr;
    // Only the RBSP buffer's first rbspSize bytes are ever read; its front is
    // zeroed so that its pages are in place before a timed decode.
    stream->nal = new (std::nothrow) H264NalUnit;
    if (stream->nal) {
        stream->nal->forbidden_zero_bit = 0;
        stream->nal->nal_ref_idc = 0;
        stream->nal->nal_unit_type = 0;
        stream->nal->parsed = nullptr;
        stream->nal->parsedSize = 0;
        stream->nal->rbspSize = 0;
        std::memset(stream->nal->rbsp, 0, kRbspPreparedBytes);
    }
    stream->aud = new (std::nothrow) uint32_t(0);
    stream->sh = new (std::nothrow) H264SliceHeader();
    stream->loc = new (std::nothrow) SliceDataLocation();
    return stream;
}

void DestroyH264Stream(H264Stream* stream)
{
    if (!stream)
        return;
    delete stream->loc;
    delete stream->sh;
    delete stream->aud;
    delete stream->nal;
    delete stream;
}

namespace {

void UpdateSliceLocation(H264Stream& stream, BitReader& reader)
{
    SliceDataLocation& loc = *stream.loc;
    // Bytes after the one holding the next unread bit; none once the header
    // has used up the data (as when only a slice's leading bytes are given).
    loc.remainingBytes = reader.cursor < reader.end ? static_cast<uint32_t>(reader.end - reader.cursor - 1) : 0;
    loc.headerBits = static_cast<uint32_t>(BitPosition(reader));
    uint32_t type = stream.nal->nal_unit_type;
    loc.slice_id = (type >= 2 && type <= 4) ? ReadUe(reader) : 0;
}

} // namespace

int32_t ParseH264Nal(H264Stream* stream, const uint8_t* data, size_t length)
{
    if (!stream || !stream->nal || !stream->sh || !stream->aud) {
        g_Logger.Log(LogLevel::error, "parser: h264 stream is not set up");
        return -1;
    }
    H264NalUnit& nal = *stream->nal;
    BitReader header = MakeBitReader(data, length < 1 ? length : 1);
    nal.forbidden_zero_bit = ReadBit(header);
    nal.nal_ref_idc = ReadBits(header, 2);
    nal.nal_unit_type = ReadBits(header, 5);
    nal.parsed = nullptr;
    nal.parsedSize = 0;

    if (length > kRbspCapacity) {
        std::printf("parser: rbsp buffer is too small ...\n");
        return -1;
    }
    size_t rbspSize = 0;
    NalToRbsp(data, length, 1, nal.rbsp, rbspSize);
    nal.rbspSize = rbspSize;
    BitReader reader = MakeBitReader(nal.rbsp, rbspSize);

    const uint32_t type = nal.nal_unit_type;
    if (type == 14 || type == 20 || type == 21)
        ReadBit(reader);  // svc/avc_3d extension flag; the extension itself is not parsed

    bool ok = true;
    switch (type) {
    case 1: case 2: case 3: case 4: case 5:
        ok = ParseH264SliceHeader(*stream, reader);
        if (ok && stream->loc)
            UpdateSliceLocation(*stream, reader);
        nal.parsed = stream->sh;
        nal.parsedSize = sizeof(H264SliceHeader);
        break;
    case 7:
        ok = ParseH264Sps(*stream, reader);
        if (ok) {
            nal.parsed = stream->sps;
            nal.parsedSize = sizeof(H264Sps);
        }
        break;
    case 8:
        ok = ParseH264Pps(*stream, reader);
        if (ok) {
            nal.parsed = stream->pps;
            nal.parsedSize = sizeof(H264Pps);
        }
        break;
    case 9: case 19:
        *stream->aud = ReadBits(reader, 3);  // primary_pic_type
        SkipTrailingBits(reader);
        nal.parsed = stream->aud;
        nal.parsedSize = sizeof(uint32_t);
        break;
    default:
        break;
    }
    if (!ok)
        return -1;
    if (HasOverrun(reader)) {
        std::printf("overrun detected: nal type: %d\n", static_cast<int>(type));
        // What a unit cut short filled in is not its own (a parameter set was
        // not even stored): hand out nothing.
        nal.parsed = nullptr;
        nal.parsedSize = 0;
        return -1;
    }
    return static_cast<int32_t>(length);
}
