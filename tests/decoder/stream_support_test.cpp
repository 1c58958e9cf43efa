#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/decoder_profiles.h"
#include "decoder/stream_support.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

const DecoderSetup kH264Nv12{D3D11_DECODER_PROFILE_H264_VLD_NOFGT, DXGI_FORMAT_NV12};
const DecoderSetup kMainNv12{D3D11_DECODER_PROFILE_HEVC_VLD_MAIN, DXGI_FORMAT_NV12};
const DecoderSetup kMain10Nv12{D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10, DXGI_FORMAT_NV12};
const DecoderSetup kMain10P010{D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10, DXGI_FORMAT_P010};

StreamFormat Stream(uint8_t codec, uint32_t chroma = 1, uint32_t luma = 0, uint32_t chromaDepth = 0, bool frames = true,
                    bool planes = false)
{
    return {codec, chroma, planes, luma, chromaDepth, frames};
}

// The first unit of a small stream of the codec, as the set-up sees it.
std::unique_ptr<VideoFrame> FirstFrame(uint8_t codec)
{
    const char* fixture = codec == kCodecH264 ? "h264_64x48_two_slices.h264" : "hevc_64x48.h265";
    return Frame(codec, FixtureAccessUnits(fixture, codec)[0], 64, 48);
}

// What no offered set-up carries is named (a refusal as the decoder meets it
// is below; the choice among set-ups that do is the Main 10 test's).
TEST(StreamSupport, RefusalNamesTheProperty)
{
    const std::vector<DecoderSetup> full = {kH264Nv12, kMainNv12, kMain10Nv12, kMain10P010};
    struct Case { const char* name; StreamFormat stream; std::vector<DecoderSetup> offered; const char* refusal; };
    const Case cases[] = {
        {"chroma the deeper", Stream(kCodecH265, 1, 0, 2), {kMainNv12},
         "H.265 stream with bit_depth_chroma_minus8 2 (10-bit) needs a profile and output format this adapter does not offer"},
        {"no such sampling", Stream(kCodecH264, 7), full,
         "H.264 stream with chroma_format_idc 7 (no such sampling) needs a profile this decoder does not support"},
        {"separate planes", Stream(kCodecH264, 3, 0, 0, true, true), full,
         "H.264 stream with separate_colour_plane_flag 1 (4:4:4 as three planes) needs a profile this decoder does not support"},
        {"no profile of the codec", Stream(kCodecH265), {kH264Nv12}, "H.265 stream needs a profile this adapter does not offer"},
        {"depth from a corrupt SPS", Stream(kCodecH265, 1, 0xFFFFFFFFu), full,
         "H.265 stream with bit_depth_luma_minus8 4294967295 (4294967303-bit) needs a profile this decoder does not support"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SetupChoice choice = ChooseDecoderSetup(c.stream, c.offered);
        EXPECT_EQ(choice.refusal, c.refusal);
        EXPECT_TRUE(choice.setup == DecoderSetup{});
    }
}

// A stream its adapter cannot carry fails at set-up with one error line
// naming the property, before anything reaches the device, also when a
// decoder is configured for the stream before it; the frames after it fail
// at begin. (The refusals of the properties the encoder-made streams carry
// are checked end to end; Main 10 without P010 is the one only set here.)
TEST(StreamSupport, RefusedStreamSubmitsNothing)
{
    fake::ScriptedPlatform platform;
    platform.unsupportedFormats = {DXGI_FORMAT_P010};
    std::vector<int> codes;
    DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [&](int code) { codes.push_back(code); }, platform);
    ASSERT_EQ(decoder.Init(), 1);
    std::unique_ptr<VideoFrame> before = FirstFrame(kCodecH265);
    ASSERT_GT(decoder.Decode(before), 0);
    const size_t submitted = platform.submissions.size();

    LogCapture log;
    const std::vector<std::vector<uint8_t>> units = FixtureAccessUnits("../../fixtures/hevc/main10.hevc", kCodecH265);
    std::unique_ptr<VideoFrame> first = Frame(kCodecH265, units.at(0), 64, 64);
    EXPECT_EQ(decoder.Prepare(*first), -6);
    std::vector<std::string> errors = log.lines();
    std::erase_if(errors, [](const std::string& line) { return !line.starts_with("error: "); });
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].starts_with("error: decoder: H.265 stream with bit_depth_luma_minus8 2 (10-bit) needs a profile and output "
                                      "format this adapter does not offer"))
        << errors[0];
    EXPECT_EQ(codes, std::vector<int>{-6});
    std::unique_ptr<VideoFrame> next = Frame(kCodecH265, units.at(1));
    EXPECT_EQ(decoder.Decode(next), -3);
    EXPECT_EQ(decoder.Decode(first), -6);
    EXPECT_EQ(platform.submissions.size(), submitted);
    EXPECT_TRUE(decoder.Setup() == DecoderSetup{});
}

// Main 10 decodes into P010 surfaces where the device offers both, and a
// later stream of the same size that needs another profile or format
// reconfigures; one that needs the same does not. Of the Main 10 fixture its
// I and P pictures: its B picture refers forward, which the decoder's picture
// buffer does not keep.
TEST(StreamSupport, Main10DecodesIntoP010AndProfileChangesReconfigure)
{
    fake::ScriptedPlatform platform;
    DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, platform);
    ASSERT_EQ(decoder.Init(), 1);
    struct Step { const char* fixture; size_t units; DecoderSetup setup; size_t decoders; };
    const Step steps[] = {
        {"scaling_default.hevc", 1, kMainNv12, 1}, {"main10.hevc", 2, kMain10P010, 2},
        {"main10.hevc", 1, kMain10P010, 2},        {"scaling_default.hevc", 1, kMainNv12, 3},
    };
    size_t submitted = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.fixture);
        const std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(std::string("../../fixtures/hevc/") + step.fixture, kCodecH265);
        for (size_t index = 0; index < step.units; ++index) {
            std::unique_ptr<VideoFrame> frame = Frame(kCodecH265, units[index], index == 0 ? 64 : 0, index == 0 ? 64 : 0);
            EXPECT_GT(decoder.Decode(frame), 0) << index;
        }
        submitted += step.units;
        EXPECT_EQ(platform.submissions.size(), submitted);
        EXPECT_TRUE(decoder.Setup() == step.setup);
        EXPECT_EQ(platform.CallCount("CreateVideoDecoder"), step.decoders);
    }
}

// The device holds the picture parameters to the decoder's profile and
// output format: a Main decoder takes no 10-bit picture, nor an NV12 one a
// 10-bit picture, nor any a sampling other than 4:2:0.
TEST(StreamSupport, SimulatedDeviceChecksSampleDepthAndSampling)
{
    struct Case { const char* name; uint8_t codec; std::vector<GUID> profiles; uint16_t luma; uint16_t chroma; const char* line; };
    const std::vector<GUID> main10Only = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10};
    const Case cases[] = {
        {"Main takes 8 bits", kCodecH265, {}, 2, 1, "bit_depth_luma_minus8 2 and bit_depth_chroma_minus8 0 beyond the profile's 8 bits"},
        {"NV12 holds 8 bits", kCodecH265, main10Only, 2, 1, "bit_depth_luma_minus8 2 and bit_depth_chroma_minus8 0 beyond the output format's 8 bits"},
        {"4:2:0 only", kCodecH265, {}, 0, 2, "chroma_format_idc 2 where the profile decodes 4:2:0 only"},
        {"H.264 takes 8 bits", kCodecH264, {}, 1, 1, "bit_depth_luma_minus8 1 and bit_depth_chroma_minus8 0 beyond the profile's 8 bits"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::ScriptedPlatform platform;
        platform.profiles = c.profiles;
        platform.unsupportedFormats = {DXGI_FORMAT_P010};
        // Both codecs' picture parameters name the fields alike.
        auto spoilt = [&](auto picture, uint8_t* parameters) {
            std::memcpy(&picture, parameters, sizeof(picture));
            picture.bit_depth_luma_minus8 = c.luma;
            picture.chroma_format_idc = c.chroma;
            std::memcpy(parameters, &picture, sizeof(picture));
        };
        platform.spoil = [&](std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC>&, fake::Memory& memory) {
            uint8_t* parameters = memory[D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS];
            c.codec == kCodecH264 ? spoilt(DXVA_PicParams_H264{}, parameters) : spoilt(DXVA_PicParams_HEVC{}, parameters);
        };
        LogCapture log;
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, platform);
        ASSERT_EQ(decoder.Init(), 1);
        std::unique_ptr<VideoFrame> frame = FirstFrame(c.codec);
        EXPECT_EQ(decoder.Decode(frame), -3);
        EXPECT_EQ(log.count(std::string("decoder: simulated device refused SubmitDecoderBuffers: ") + c.line), 1u);
    }
}

}  // namespace
