#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

struct ConfigureFixture : ::testing::Test {
    std::unique_ptr<DXVA2VideoDecoder> Initialised()
    {
        auto decoder = std::make_unique<DXVA2VideoDecoder>(
            [this](size_t width, size_t height, float aspect, float fps) { changes.push_back({width, height, aspect, fps}); },
            [this](int code) { errors.push_back(code); }, platform);
        EXPECT_EQ(decoder->Init(), 1);
        return decoder;
    }

    // Configures through Decode, as the benchmark does; returns Decode's result.
    int64_t Announce(DXVA2VideoDecoder& decoder, uint8_t codec, size_t width, size_t height, size_t codedHeight = 0)
    {
        std::unique_ptr<VideoFrame> frame = SizedFrame(codec, width, height, {});
        frame->codedHeight = codedHeight ? codedHeight : height;
        return decoder.Decode(frame);
    }

    struct Change { size_t width, height; float aspect, fps; };

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::vector<int> errors;
    std::vector<Change> changes;
};

// Unencrypted beats the slice format; short beats long among equals; the
// lowest index wins a tie; unreadable and unknown configurations are skipped.
// H.265 always uses short slices.
TEST_F(ConfigureFixture, ScoringPicksTheExpectedConfiguration)
{
    const GUID kOtherEncryption = {0xdeadbeef, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    D3D11_VIDEO_DECODER_CONFIG shortClear = fake::Config(2);
    shortClear.ConfigDecoderSpecific = 7;  // tells two equal-scoring configurations apart
    struct Case { const char* name; std::vector<D3D11_VIDEO_DECODER_CONFIG> configs; uint8_t codec; const char* failing; int chosen; };
    const Case cases[] = {
        {"17 beats 2", {fake::Config(2, kOtherEncryption), fake::Config(1)}, kCodecH264, nullptr, 1},
        {"18 beats 17", {fake::Config(1), fake::Config(2)}, kCodecH264, nullptr, 1},
        {"2 beats 1", {fake::Config(1, kOtherEncryption), fake::Config(2, kOtherEncryption)}, kCodecH264, nullptr, 1},
        {"lowest index among equals", {fake::Config(2), shortClear}, kCodecH264, nullptr, 0},
        {"unreadable skipped", {fake::Config(2), fake::Config(1)}, kCodecH264, "GetVideoDecoderConfig(0)", 1},
        {"raw 0 only", {fake::Config(0), fake::Config(3)}, kCodecH264, nullptr, -1},
        {"hevc", {fake::Config(1)}, kCodecH265, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.adapters[0].configs = c.configs;
        platform.failures = {{c.failing ? c.failing : "", kResultFail}};
        platform.decoderConfigs.clear();
        log.clear();
        auto decoder = Initialised();
        HRESULT result = decoder->ConfigureDecoder(c.codec);
        EXPECT_EQ(log.count("GetVideoDecoderConfig failed for id: 0"), c.failing ? 1u : 0u);
        if (c.chosen < 0) {
            EXPECT_EQ(result, kResultAbort);
            EXPECT_EQ(log.count("no suitable decoder found..."), 1u);
            EXPECT_TRUE(platform.decoderConfigs.empty());
            continue;
        }
        EXPECT_EQ(result, kResultOk);
        ASSERT_EQ(platform.decoderConfigs.size(), 1u);
        EXPECT_EQ(std::memcmp(&platform.decoderConfigs[0], &c.configs[c.chosen], sizeof(D3D11_VIDEO_DECODER_CONFIG)), 0);
        bool longSlices = c.codec == kCodecH264 && c.configs[c.chosen].ConfigBitstreamRaw == 1;
        EXPECT_EQ(decoder->ShortSliceFormat(), !longSlices);
        EXPECT_EQ(log.count("video: decoder: this decoder is using long slice"), longSlices ? 1u : 0u);
        EXPECT_TRUE(platform.decoderDescriptions.back().Guid ==
                    (c.codec == kCodecH264 ? D3D11_DECODER_PROFILE_H264_VLD_NOFGT : D3D11_DECODER_PROFILE_HEVC_VLD_MAIN));
    }
}

// The decoder, texture and views use the coded size exactly; the texture is
// a two-slice NV12 array, one view per slice; the display size is reported.
TEST_F(ConfigureFixture, SurfacesUseTheCodedSize)
{
    for (UINT support : {D3D11_FORMAT_SUPPORT_SHADER_SAMPLE, 0u}) {
        platform.adapters[0].formatSupport = support;
        platform.textureDescriptions.clear();
        platform.viewDescriptions.clear();
        auto decoder = Initialised();
        Announce(*decoder, kCodecH264, 1920, 1080, 1088);
        const D3D11_VIDEO_DECODER_DESC& description = platform.decoderDescriptions.back();
        EXPECT_EQ(std::vector<UINT>({description.SampleWidth, description.SampleHeight, description.OutputFormat}),
                  std::vector<UINT>({1920, 1088, DXGI_FORMAT_NV12}));
        ASSERT_EQ(platform.textureDescriptions.size(), 1u);
        const D3D11_TEXTURE2D_DESC& texture = platform.textureDescriptions[0];
        EXPECT_EQ(std::vector<UINT>({texture.Width, texture.Height, texture.ArraySize, texture.MipLevels, texture.Format, texture.BindFlags}),
                  std::vector<UINT>({1920, 1088, 2, 1, DXGI_FORMAT_NV12, support ? 0x208u : 0x200u}));
        ASSERT_EQ(platform.viewDescriptions.size(), 2u);
        for (UINT slice = 0; slice < 2; ++slice) {
            EXPECT_EQ(platform.viewDescriptions[slice].Texture2D.ArraySlice, slice);
            EXPECT_EQ(platform.viewDescriptions[slice].ViewDimension, D3D11_VDOV_DIMENSION_TEXTURE2D);
            EXPECT_TRUE(platform.viewDescriptions[slice].DecodeProfile == D3D11_DECODER_PROFILE_H264_VLD_NOFGT);
        }
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(std::vector<float>({float(changes.back().width), float(changes.back().height), changes.back().aspect, changes.back().fps}),
                  std::vector<float>({1920, 1080, 1, 30}));
    }
}

// A new size releases both views (from the back), the texture and the
// decoder before anything new is created; the same size and codec again
// does not reconfigure; the other codec does.
TEST_F(ConfigureFixture, ReconfigurationReleasesTheOldConfigurationFirst)
{
    auto decoder = Initialised();
    Announce(*decoder, kCodecH264, 64, 48);
    Announce(*decoder, kCodecH264, 64, 48);
    EXPECT_EQ(platform.CallCount("CreateVideoDecoder"), 1u);
    platform.calls.clear();
    Announce(*decoder, kCodecH264, 128, 96);
    const std::vector<std::string> expectedStart = {"destroy view(1)", "destroy view(0)", "destroy texture", "destroy decoder",
                                                    "GetVideoDecoderConfigCount", "GetVideoDecoderConfig(0)", "CreateVideoDecoder"};
    ASSERT_GE(platform.calls.size(), expectedStart.size());
    EXPECT_EQ(std::vector<std::string>(platform.calls.begin(), platform.calls.begin() + expectedStart.size()), expectedStart);
    Announce(*decoder, kCodecH265, 128, 96);
    EXPECT_EQ(platform.CallCount("CreateVideoDecoder"), 2u);
    EXPECT_EQ(changes.size(), 3u);
    decoder.reset();
    EXPECT_EQ(platform.liveObjects, 0);
}

// Each configuration failure is logged where it happens and turns into -6;
// the display size is not taken over, so the next frame of that size retries.
TEST_F(ConfigureFixture, FailuresGiveMinusSixAndAreRetried)
{
    struct Case { const char* failing; HRESULT result; std::vector<std::string> lines; };
    const Case cases[] = {
        {nullptr, kResultOk, {"GetVideoDecoderConfigCount failed, error: 0x0 (count: 0) for: [0x0]"}},  // no configuration
        {"GetVideoDecoderConfigCount", kResultFail, {"GetVideoDecoderConfigCount failed, error: 0x80004005 (count: 1) for: [0x0]"}},
        {"CreateVideoDecoder", kResultOutOfMemory, {"CreateVideoDecoder failed: 0x8007000e (for: [0x0])"}},
        {"CheckFormatSupport", kResultFail, {"failed to query format support: -2147467259", "Failed to create texture 2D"}},
        {"CreateTexture2D", kResultOutOfMemory, {"failed to create texture 2D: hr = 0x8007000e", "Failed to create texture 2D"}},
        {"CreateVideoDecoderOutputView(1)", kResultOutOfMemory, {"Could not create the decoder output view 1", "Failed to create texture 2D"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        platform.adapters = {{.configs = c.failing ? std::vector{fake::Config(2)} : std::vector<D3D11_VIDEO_DECODER_CONFIG>{}}};
        platform.failures = {{c.failing ? c.failing : "", c.result}};
        errors.clear();
        changes.clear();
        auto decoder = Initialised();
        log.clear();
        EXPECT_EQ(Announce(*decoder, kCodecH264, 64, 48), -6);
        EXPECT_EQ(log.messages(), c.lines);
        EXPECT_EQ(errors, std::vector<int>{-6});
        EXPECT_TRUE(changes.empty());
        size_t attempts = platform.CallCount("GetVideoDecoderConfigCount");
        Announce(*decoder, kCodecH264, 64, 48);
        EXPECT_EQ(platform.CallCount("GetVideoDecoderConfigCount"), attempts + 1);
        decoder.reset();
        EXPECT_EQ(platform.liveObjects, 0);
        platform.calls.clear();
    }
}

}  // namespace
