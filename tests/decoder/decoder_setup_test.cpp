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

// A failed Init logs its line, reports its code once and leaves nothing
// alive; Decode then fails at begin (-3) without reaching the platform.
TEST(DecoderInit, InitFailuresReportTheirCode)
{
    struct Case { std::string failing; int code; const char* line; };
    const Case cases[] = {
        {"", -4, "decoder: no decoder were found on this computer..."},  // no adapter
        {"CreateDXGIFactory1", -8, "decoder : failed to CreateDXGIFactory : error 0x80004005"},
        {"Multithread(0)", -4, "decoder: failed to query the multithread interface"},
        {"frequency", -4, "decoder: QueryPerformanceFrequency failed!"},
    };
    for (const Case& c : cases) {
        fake::FakeVideoPlatform local;
        if (c.failing.empty())
            local.adapters.clear();
        local.failures[c.failing] = kResultFail;
        local.frequencyAvailable = c.failing != "frequency";
        std::vector<int> codes;
        LogCapture lines;
        {
            DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [&](int code) { codes.push_back(code); }, local);
            EXPECT_EQ(decoder.Init(), c.code) << c.line;
            EXPECT_FALSE(decoder.IsInitialized());
            const size_t calls = local.calls.size();
            std::unique_ptr<VideoFrame> frames[] = {SizedFrame(kCodecH264, 64, 48, {0, 0, 1, 0x65}), nullptr};
            for (std::unique_ptr<VideoFrame>& frame : frames)
                EXPECT_EQ(decoder.Decode(frame), -3);
            EXPECT_EQ(local.calls.size(), calls);
        }
        EXPECT_EQ(lines.count(c.line), 1u) << c.line;
        EXPECT_EQ(codes, (std::vector<int>{c.code, -3, -3})) << c.line;
        EXPECT_EQ(local.liveObjects, 0) << c.line;
    }
}

// Each way the first adapter can fail its checks: the adapter is logged, the
// failure is logged once, its interfaces are released and the second adapter
// is chosen.
TEST(DecoderInit, RejectedFirstAdapterFallsThroughToTheSecond)
{
    struct Case { const char* failing; HRESULT result; void (*spoil)(fake::AdapterScript&); const char* line; };
    const Case cases[] = {
        {"D3D11CreateDevice(0)", kResultFail, nullptr, "D3D11CreateDevice failed on adapter 0: hr = 0x80004005"},
        {"VideoDevice(0)", kResultNoInterface, nullptr, "could not query ID3D11VideoDevice interface: hr = 0x80004002"},
        {"VideoContext(0)", kResultNoInterface, nullptr, "could not query ID3D11VideoContext interface: hr = 0x80004002"},
        {nullptr, kResultOk, [](fake::AdapterScript& a) { a.nullVideoContext = true; }, "no video context found on this computer"},
        {nullptr, kResultOk, [](fake::AdapterScript& a) { a.profiles = {{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}}}; },
         "could not find suitable decoder profile for h264"},
        {"CheckVideoDecoderFormat(0,h264)", kResultInvalidArgument, nullptr, "failed to check decoder format: hr = 0x80070057"},
        {nullptr, kResultOk, [](fake::AdapterScript& a) { a.nv12Supported = false; }, "failed to create decoder format: 103 is not supported for H264"},
        {nullptr, kResultOk, [](fake::AdapterScript& a) { a.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN}; a.nv12Supported = false; },
         "failed to create decoder format: 103 is not supported for H265"},
    };
    for (const Case& c : cases) {
        fake::FakeVideoPlatform local;
        local.adapters = {{.name = u"Software adapter"}, {.name = u"GPU \u00e9"}};
        if (c.failing)
            local.failures[c.failing] = c.result;
        if (c.spoil)
            c.spoil(local.adapters[0]);
        LogCapture lines;
        {
            DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, local);
            EXPECT_EQ(decoder.Init(), 1);
            EXPECT_EQ(lines.lines(), (std::vector<std::string>{"info: decoder : adapter 0 -> Software adapter [0x1234//0x5678]",
                                                               std::string("error: decoder: ") + c.line,
                                                               "info: decoder : adapter 1 -> GPU \u00e9 [0x1234//0x5678]"}));
            EXPECT_EQ(local.CallCount("destroy device(0)"), c.result == kResultFail ? 0u : 1u) << c.line;
            EXPECT_TRUE(local.multithreadProtected);
        }
        EXPECT_EQ(local.liveObjects, 0) << c.line;
    }
}

// The first accepted profile in the device's order wins, whatever the order
// of our own list; an unreadable profile is logged and skipped. A rejected
// adapter's H.264 profile must not leak into an adapter that only decodes
// H.265: an H.264 frame then cannot be configured.
TEST_F(ConfigureFixture, ProfilesComeFromTheChosenAdapterInItsOrder)
{
    platform.adapters[0].profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, kH264VendorProfileB, D3D11_DECODER_PROFILE_H264_VLD_NOFGT,
                                     D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    platform.failures["GetVideoDecoderProfile(0)"] = kResultFail;
    auto decoder = Initialised();
    EXPECT_TRUE(decoder->H264Profile() == kH264VendorProfileB);
    EXPECT_TRUE(decoder->HevcProfile() == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN);
    EXPECT_EQ(log.count("decoder: could not retrieve decoder profile for id: 0"), 1u);
    EXPECT_EQ(platform.createDeviceFlags, std::vector<UINT>{0x820});  // video support and BGRA

    decoder.reset();
    platform = fake::FakeVideoPlatform();
    platform.adapters = {{.profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT}, .nv12Supported = false},
                         {.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN}}};
    auto hevcOnly = Initialised();
    EXPECT_TRUE(hevcOnly->H264Profile() == kGuidNull);
    EXPECT_EQ(Announce(*hevcOnly, kCodecH264, 64, 48), -6);
    EXPECT_EQ(errors, std::vector<int>{-6});
    EXPECT_EQ(platform.CallCount("DecoderBeginFrame"), 0u);
}

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
        platform.calls.clear();
        auto decoder = Initialised();
        Announce(*decoder, kCodecH264, 1920, 1080, 1088);
        const D3D11_VIDEO_DECODER_DESC& description = platform.decoderDescriptions.back();
        EXPECT_EQ(std::vector<UINT>({description.SampleWidth, description.SampleHeight, description.OutputFormat}),
                  std::vector<UINT>({1920, 1088, DXGI_FORMAT_NV12}));
        ASSERT_EQ(platform.textureDescriptions.size(), 1u);
        const D3D11_TEXTURE2D_DESC& texture = platform.textureDescriptions[0];
        EXPECT_EQ(std::vector<UINT>({texture.Width, texture.Height, texture.ArraySize, texture.MipLevels, texture.Format, texture.BindFlags}),
                  std::vector<UINT>({1920, 1088, 2, 1, DXGI_FORMAT_NV12, support ? 0x208u : 0x200u}));
        EXPECT_EQ(platform.CallCount("CreateVideoDecoderOutputView(0)") + platform.CallCount("CreateVideoDecoderOutputView(1)"), 2u);
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
