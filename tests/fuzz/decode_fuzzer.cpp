// Decodes arbitrary access units on the simulated device. The first byte
// picks the codec, a fallback picture size and the H.264 slice-control
// format; the rest is the payload. One decoder per format serves every
// input, as one serves a whole benchmark run, so state left by one frame
// (parameter sets, configuration, surfaces) meets the next.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench/video_frame.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated/simulated_video_device.h"

namespace {

struct FuzzFrame : VideoFrame {
    FuzzFrame(const uint8_t* data, size_t size) : payload(data, data + size) {}
    int64_t CopyData(uint8_t* destination, size_t capacity) const override
    {
        return std::copy_n(payload.begin(), std::min(capacity, payload.size()), destination) - destination;
    }
    size_t DataSize() const override { return payload.size(); }
    bool QueryFlag() const override { return false; }
    std::vector<uint8_t> payload;
};

// Used when the payload carries no SPS the probe can read, so that frames of
// bare slices still reach the submission path. Zero keeps the current set-up.
constexpr size_t kFallbackSizes[][2] = {{0, 0}, {64, 48}, {1280, 720}, {1920, 1080}};

// A device that offers only long slice control makes the decoder fill the
// long entries, which carry reference lists from the slice header.
DXVA2VideoDecoder& Decoder(bool longSlices)
{
    static platform::SimulatedVideoPlatform s_ShortPlatform({true, true});
    static platform::SimulatedVideoPlatform s_LongPlatform({false, true});
    static DXVA2VideoDecoder s_Short([](size_t, size_t, float, float) {}, [](int) {}, s_ShortPlatform);
    static DXVA2VideoDecoder s_Long([](size_t, size_t, float, float) {}, [](int) {}, s_LongPlatform);
    static const bool s_Ready = s_Short.Init() == 1 && s_Long.Init() == 1;
    if (!s_Ready)
        __builtin_trap();
    return longSlices ? s_Long : s_Short;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    DXVA2VideoDecoder& decoder = Decoder((selector & 0x08) != 0);
    std::unique_ptr<VideoFrame> frame = std::make_unique<FuzzFrame>(data + 1, size - 1);
    frame->codec = (selector & 1) ? kCodecH265 : kCodecH264;
    // The benchmark's records learn their size from the probe; do the same.
    frame->ReadStreamInfo(data + 1, size - 1);
    if (frame->width == 0 || frame->height == 0) {
        const size_t* fallback = kFallbackSizes[(selector >> 1) & 3];
        frame->width = frame->codedWidth = fallback[0];
        frame->height = frame->codedHeight = fallback[1];
    }
    decoder.Decode(frame);
    return 0;
}
