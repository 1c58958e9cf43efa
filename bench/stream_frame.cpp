#include "bench/stream_frame.h"

#include <cstring>

std::string StreamFrame::Describe() const
{
    return FileFrame::Describe() + VideoFrame::Describe();
}

std::unique_ptr<StreamFrame> MakeStreamFrame(uint8_t codec, uint32_t index, const AccessUnitView& unit)
{
    auto frame = std::make_unique<StreamFrame>();
    if (!frame->data.Resize(unit.size))
        return nullptr;
    if (unit.size > 0)
        std::memcpy(frame->data.data(), unit.data, unit.size);
    frame->fileSize = unit.size;
    frame->headerSize = 0;
    frame->codec = codec;
    frame->timestamp = index;
    if (unit.spsOffset < unit.size)
        frame->ReadStreamInfo(frame->data.data() + unit.spsOffset, unit.size - unit.spsOffset);
    return frame;
}
