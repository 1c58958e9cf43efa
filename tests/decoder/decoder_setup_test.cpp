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
            [this](size_t width, size_t height, float aspect, float fps) { changes.push_back({float(width), float(height), aspect, fps}); },
            [this](int code) { errors.push_back(code); }, platform);
        EXPECT_EQ(decoder->Init(), 1);
        return decoder;
    }

    // Configures through Decode, as the benchmark does; returns Decode's result.
    int64_t Announce(DXVA2VideoDecoder& decoder, uint8_t codec, size_t width, size_t height)
    {
        std::unique_ptr<VideoFrame> frame = Frame(codec, {}, width, height);
        return decoder.Decode(frame);
    }

    LogCapture log;
    fake::ScriptedPlatform platform;
    std::vector<int> errors;
    std::vector<std::vector<float>> changes;  // width, height, aspect, fps
};

// A failure of the whole platform gives its code once, leaves nothing alive,
// and Decode then fails at begin (-3) without reaching the platform. A first
// adapter failing its checks is logged, released at once, and the second
// adapter (named in UTF-16) is chosen.
TEST(DecoderInit, FailuresAndRejectedAdapters)
{
    using Platform = fake::ScriptedPlatform;
    struct Case { std::string failing; HRESULT result; void (*spoil)(Platform&); int code; const char* line; };
    const Case cases[] = {
        {"", kResultOk, [](Platform& p) { p.adapters.clear(); }, -4, "decoder: no decoder were found on this computer..."},
        {"CreateDXGIFactory1", kResultFail, nullptr, -8, "decoder : failed to CreateDXGIFactory : error 0x80004005"},
        {"Multithread(0)", kResultFail, nullptr, -4, "decoder: failed to query the multithread interface"},
        {"", kResultOk, [](Platform& p) { p.frequencyAvailable = false; }, -4, "decoder: QueryPerformanceFrequency failed!"},
        {"D3D11CreateDevice(0)", kResultFail, nullptr, 1, "decoder: D3D11CreateDevice failed on adapter 0: hr = 0x80004005"},
        {"VideoDevice(0)", kResultNoInterface, nullptr, 1, "decoder: could not query ID3D11VideoDevice interface: hr = 0x80004002"},
        {"VideoContext(0)", kResultNoInterface, nullptr, 1, "decoder: could not query ID3D11VideoContext interface: hr = 0x80004002"},
        {"", kResultOk, [](Platform& p) { p.adapters[0].nullVideoContext = true; }, 1, "decoder: no video context found on this computer"},
        {"", kResultOk, [](Platform& p) { p.adapters[0].profiles = {DXVA_NoEncrypt}; }, 1, "decoder: could not find suitable decoder profile for h264"},
        {"CheckVideoDecoderFormat(0)", kResultInvalidArgument, nullptr, 1, "decoder: failed to check decoder format: hr = 0x80070057"},
        {"", kResultOk, [](Platform& p) { p.adapters[0].nv12Supported = false; }, 1, "failed to create decoder format: 103 is not supported for H264"},
        {"", kResultOk, [](Platform& p) { p.adapters[0] = {.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN}, .nv12Supported = false}; }, 1,
         "failed to create decoder format: 103 is not supported for H265"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Platform local;
        local.adapters = {{.name = u"Software adapter"}, {.name = u"GPU \u00e9"}};
        local.failures[c.failing] = c.result;
        if (c.spoil)
            c.spoil(local);
        std::vector<int> codes;
        LogCapture lines;
        {
            DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [&](int code) { codes.push_back(code); }, local);
            EXPECT_EQ(decoder.Init(), c.code);
            EXPECT_EQ(decoder.IsInitialized(), c.code == 1);
            EXPECT_EQ(lines.count(c.line), 1u);
            if (c.code == 1) {
                EXPECT_TRUE(lines.contains("decoder : adapter 1 -> GPU \u00e9 [0x0//0x0]")) << ::testing::PrintToString(lines.lines());
                EXPECT_EQ(local.CallCount("destroy device(0)"), c.failing == "D3D11CreateDevice(0)" ? 0u : 1u);
            } else {
                const size_t calls = local.calls.size();
                std::unique_ptr<VideoFrame> frames[] = {Frame(kCodecH264, {0, 0, 1, 0x65}, 64, 48), nullptr};
                for (std::unique_ptr<VideoFrame>& frame : frames)
                    EXPECT_EQ(decoder.Decode(frame), -3);
                EXPECT_EQ(local.calls.size(), calls);
            }
        }
        EXPECT_EQ(codes, (c.code == 1 ? std::vector<int>{} : std::vector<int>{c.code, -3, -3}));
        EXPECT_EQ(local.liveObjects, 0);
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

    decoder.reset();
    platform = fake::ScriptedPlatform();
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
        const char* fixture = c.codec == kCodecH264 ? "h264_64x48_two_slices.h264" : "hevc_64x48.h265";
        std::unique_ptr<VideoFrame> frame = Frame(c.codec, FixtureAccessUnits(fixture, c.codec)[0], 64, 48);
        const int64_t result = decoder->Decode(frame);
        EXPECT_TRUE(c.chosen < 0 ? result == -6 : result > 0) << result;
        EXPECT_EQ(log.count("GetVideoDecoderConfig failed for id: 0"), c.failing ? 1u : 0u);
        if (c.chosen < 0) {
            EXPECT_EQ(log.count("no suitable decoder found..."), 1u);
            EXPECT_TRUE(platform.decoderConfigs.empty());
            continue;
        }
        ASSERT_EQ(platform.decoderConfigs.size(), 1u);
        EXPECT_EQ(std::memcmp(&platform.decoderConfigs[0], &c.configs[c.chosen], sizeof(D3D11_VIDEO_DECODER_CONFIG)), 0);
        bool longSlices = c.codec == kCodecH264 && c.configs[c.chosen].ConfigBitstreamRaw == 1;
        EXPECT_EQ(decoder->ShortSliceFormat(), !longSlices);
        EXPECT_EQ(log.count("video: decoder: this decoder is using long slice"), longSlices ? 1u : 0u);
        EXPECT_TRUE(platform.decoderDescriptions.back().Guid ==
                    (c.codec == kCodecH264 ? D3D11_DECODER_PROFILE_H264_VLD_NOFGT : D3D11_DECODER_PROFILE_HEVC_VLD_MAIN));
    }
}

// The decoder is made for the coded size and the display size is reported;
// the same size and codec again does not reconfigure, another size or the
// other codec does, and nothing is left alive at the end.
TEST_F(ConfigureFixture, ReconfiguresOnChangeOnly)
{
    auto decoder = Initialised();
    std::unique_ptr<VideoFrame> frame = Frame(kCodecH264, {}, 1920, 1080);
    frame->codedHeight = 1088;
    decoder->Decode(frame);
    const D3D11_VIDEO_DECODER_DESC& description = platform.decoderDescriptions.back();
    EXPECT_EQ(std::vector<UINT>({description.SampleWidth, description.SampleHeight}), std::vector<UINT>({1920, 1088}));
    EXPECT_EQ(changes, (std::vector<std::vector<float>>{{1920, 1080, 1, 30}}));
    for (auto [codec, width] : {std::pair<uint8_t, size_t>{kCodecH264, 64}, {kCodecH264, 64}, {kCodecH264, 128}, {kCodecH265, 128}})
        Announce(*decoder, codec, width, 48);
    EXPECT_EQ(platform.CallCount("CreateVideoDecoder"), 4u);
    EXPECT_EQ(changes.size(), 4u);
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
