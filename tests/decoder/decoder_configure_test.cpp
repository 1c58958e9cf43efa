#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

constexpr GUID kOtherEncryption = {0xdeadbeef, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

struct ConfigureFixture : ::testing::Test {
    void SetUp() override { platform.adapters = {fake::CapableAdapter()}; }

    std::unique_ptr<DXVA2VideoDecoder> Initialised()
    {
        auto decoder = std::make_unique<DXVA2VideoDecoder>(
            [this](size_t width, size_t height, float aspect, float fps) {
                changes.push_back({width, height, aspect, fps});
            },
            [this](int code) { errors.push_back(code); }, platform);
        EXPECT_EQ(decoder->Init(), 1);
        return decoder;
    }

    // Configures through Decode, as the benchmark does; returns Decode's result.
    int64_t Announce(DXVA2VideoDecoder& decoder, uint8_t codec, size_t width, size_t height)
    {
        std::unique_ptr<VideoFrame> frame = SizedFrame(codec, width, height, {});
        return decoder.Decode(frame);
    }

    struct Change {
        size_t width, height;
        float aspect, fps;
    };

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::vector<int> errors;
    std::vector<Change> changes;
};

bool SameConfig(const D3D11_VIDEO_DECODER_CONFIG& left, const D3D11_VIDEO_DECODER_CONFIG& right)
{
    return std::memcmp(&left, &right, sizeof(left)) == 0;
}

// Unencrypted beats the slice format; short beats long among equals; the
// lowest index wins a tie; unreadable and unknown configurations are skipped.
TEST_F(ConfigureFixture, ScoringPicksTheExpectedConfiguration)
{
    struct Case {
        const char* name;
        std::vector<D3D11_VIDEO_DECODER_CONFIG> configs;
        std::vector<UINT> failing;
        int chosen;   // -1: none eligible
    };
    D3D11_VIDEO_DECODER_CONFIG shortClear = fake::Config(2);
    shortClear.ConfigDecoderSpecific = 7;   // tells two equal-scoring configurations apart
    const Case cases[] = {
        {"17 beats 2", {fake::Config(2, kOtherEncryption), fake::Config(1)}, {}, 1},
        {"18 beats 17", {fake::Config(1), fake::Config(2)}, {}, 1},
        {"2 beats 1", {fake::Config(1, kOtherEncryption), fake::Config(2, kOtherEncryption)}, {}, 1},
        {"lowest index among equals", {fake::Config(2), shortClear}, {}, 0},
        {"unreadable skipped", {fake::Config(2), fake::Config(1)}, {0}, 1},
        {"raw 0 only", {fake::Config(0), fake::Config(3)}, {}, -1},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        platform.adapters[0].configs = testCase.configs;
        platform.adapters[0].failingConfigIndices = {testCase.failing.begin(), testCase.failing.end()};
        platform.decoderConfigs.clear();
        log.clear();
        auto decoder = Initialised();
        HRESULT result = decoder->ConfigureDecoder(kCodecH264);
        if (testCase.chosen < 0) {
            EXPECT_EQ(result, kResultAbort);
            EXPECT_EQ(log.count("no suitable decoder found..."), 1u);
            EXPECT_TRUE(platform.decoderConfigs.empty());
            continue;
        }
        EXPECT_EQ(result, kResultOk);
        ASSERT_EQ(platform.decoderConfigs.size(), 1u);
        EXPECT_TRUE(SameConfig(platform.decoderConfigs[0], testCase.configs[testCase.chosen]));
        bool longSlices = testCase.configs[testCase.chosen].ConfigBitstreamRaw == 1;
        EXPECT_EQ(decoder->ShortSliceFormat(), !longSlices);
        EXPECT_EQ(log.count("video: decoder: this decoder is using long slice"), longSlices ? 1u : 0u);
        for (UINT index : testCase.failing)
            EXPECT_EQ(log.count("GetVideoDecoderConfig failed for id: " + std::to_string(index)), 1u);
    }
}

TEST_F(ConfigureFixture, HevcAlwaysUsesShortSlices)
{
    platform.adapters[0].configs = {fake::Config(1)};
    auto decoder = Initialised();
    Announce(*decoder, kCodecH265, 64, 48);
    EXPECT_TRUE(decoder->ShortSliceFormat());
    EXPECT_FALSE(log.contains("long slice"));
    ASSERT_EQ(platform.decoderDescriptions.size(), 1u);
    EXPECT_TRUE(platform.decoderDescriptions[0].Guid == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN);
}

// The decoder, texture and views use the coded size exactly; the texture is
// a two-slice NV12 array, one view per slice.
TEST_F(ConfigureFixture, SurfacesUseTheCodedSize)
{
    for (UINT support : {D3D11_FORMAT_SUPPORT_SHADER_SAMPLE, 0u}) {
        SCOPED_TRACE(support);
        platform.adapters[0].formatSupport = support;
        platform.textureDescriptions.clear();
        platform.viewDescriptions.clear();
        auto decoder = Initialised();
        std::unique_ptr<VideoFrame> frame = SizedFrame(kCodecH264, 1920, 1080, {});
        frame->codedHeight = 1088;
        decoder->Decode(frame);

        const D3D11_VIDEO_DECODER_DESC& description = platform.decoderDescriptions.back();
        EXPECT_EQ(description.SampleWidth, 1920u);
        EXPECT_EQ(description.SampleHeight, 1088u);
        EXPECT_EQ(description.OutputFormat, DXGI_FORMAT_NV12);
        ASSERT_EQ(platform.textureDescriptions.size(), 1u);
        const D3D11_TEXTURE2D_DESC& texture = platform.textureDescriptions[0];
        EXPECT_EQ(texture.Width, 1920u);
        EXPECT_EQ(texture.Height, 1088u);
        EXPECT_EQ(texture.ArraySize, 2u);
        EXPECT_EQ(texture.MipLevels, 1u);
        EXPECT_EQ(texture.Format, DXGI_FORMAT_NV12);
        EXPECT_EQ(texture.BindFlags, support ? 0x208u : 0x200u);
        ASSERT_EQ(platform.viewDescriptions.size(), 2u);
        for (UINT slice = 0; slice < 2; ++slice) {
            EXPECT_EQ(platform.viewDescriptions[slice].Texture2D.ArraySlice, slice);
            EXPECT_EQ(platform.viewDescriptions[slice].ViewDimension, D3D11_VDOV_DIMENSION_TEXTURE2D);
            EXPECT_TRUE(platform.viewDescriptions[slice].DecodeProfile == D3D11_DECODER_PROFILE_H264_VLD_NOFGT);
        }
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back().width, 1920u);
        EXPECT_EQ(changes.back().height, 1080u);
        EXPECT_EQ(changes.back().aspect, 1.0f);
        EXPECT_EQ(changes.back().fps, 30.0f);
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
    std::vector<std::string> expectedStart = {"destroy view(1)", "destroy view(0)", "destroy texture", "destroy decoder",
                                              "GetVideoDecoderConfigCount", "CreateVideoDecoder"};
    ASSERT_GE(platform.calls.size(), expectedStart.size());
    EXPECT_EQ(std::vector<std::string>(platform.calls.begin(), platform.calls.begin() + expectedStart.size()),
              expectedStart);

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
    struct Case {
        const char* name;
        void (*spoil)(fake::AdapterScript&);
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"no configuration", [](fake::AdapterScript& a) { a.configs.clear(); },
         {"GetVideoDecoderConfigCount failed, error: 0x0 (count: 0) for: [0x0]"}},
        {"count call", [](fake::AdapterScript& a) { a.configCount = kResultFail; },
         {"GetVideoDecoderConfigCount failed, error: 0x80004005 (count: 1) for: [0x0]"}},
        {"decoder creation", [](fake::AdapterScript& a) { a.createDecoder = kResultOutOfMemory; },
         {"CreateVideoDecoder failed: 0x8007000e (for: [0x0])"}},
        {"format support", [](fake::AdapterScript& a) { a.checkFormatSupport = kResultFail; },
         {"failed to query format support: -2147467259", "Failed to create texture 2D"}},
        {"texture", [](fake::AdapterScript& a) { a.createTexture = kResultOutOfMemory; },
         {"failed to create texture 2D: hr = 0x8007000e", "Failed to create texture 2D"}},
        {"second view", [](fake::AdapterScript& a) { a.failingViewSlice = 1; },
         {"Could not create the decoder output view 1", "Failed to create texture 2D"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        platform.adapters = {fake::CapableAdapter()};
        testCase.spoil(platform.adapters[0]);
        errors.clear();
        changes.clear();
        auto decoder = Initialised();
        log.clear();
        EXPECT_EQ(Announce(*decoder, kCodecH264, 64, 48), -6);
        EXPECT_EQ(log.messages(), testCase.lines);
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
