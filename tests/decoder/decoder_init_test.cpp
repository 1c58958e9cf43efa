#include <gtest/gtest.h>

#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

struct InitFixture : ::testing::Test {
    DXVA2VideoDecoder MakeDecoder()
    {
        return DXVA2VideoDecoder([this](size_t, size_t, float, float) { ++outputChanges; }, [this](int code) { errors.push_back(code); },
                                 platform);
    }

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::vector<int> errors;
    int outputChanges = 0;
};

// A failed Init logs its line, reports its code once and leaves nothing alive.
TEST_F(InitFixture, InitFailuresReportTheirCode)
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
        }
        EXPECT_EQ(lines.count(c.line), 1u) << c.line;
        EXPECT_EQ(codes, std::vector<int>{c.code}) << c.line;
        EXPECT_EQ(local.liveObjects, 0) << c.line;
    }
}

// Each way the first adapter can fail its checks: the adapter is logged, the
// failure is logged once, its interfaces are released and the second adapter
// is chosen.
TEST_F(InitFixture, RejectedFirstAdapterFallsThroughToTheSecond)
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
TEST_F(InitFixture, ProfilesComeFromTheChosenAdapterInItsOrder)
{
    platform.adapters[0].profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, kH264VendorProfileB, D3D11_DECODER_PROFILE_H264_VLD_NOFGT,
                                     D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    platform.failures["GetVideoDecoderProfile(0)"] = kResultFail;
    DXVA2VideoDecoder decoder = MakeDecoder();
    ASSERT_EQ(decoder.Init(), 1);
    EXPECT_TRUE(decoder.H264Profile() == kH264VendorProfileB);
    EXPECT_TRUE(decoder.HevcProfile() == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN);
    EXPECT_EQ(log.count("decoder: could not retrieve decoder profile for id: 0"), 1u);
    EXPECT_EQ(platform.createDeviceFlags, std::vector<UINT>{0x820});  // video support and BGRA

    fake::FakeVideoPlatform local;
    local.adapters = {{.profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT}, .nv12Supported = false},
                      {.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN}}};
    DXVA2VideoDecoder hevcOnly([](size_t, size_t, float, float) {}, [this](int code) { errors.push_back(code); }, local);
    ASSERT_EQ(hevcOnly.Init(), 1);
    EXPECT_TRUE(hevcOnly.H264Profile() == kGuidNull);
    std::unique_ptr<VideoFrame> frame = SizedFrame(kCodecH264, 64, 48, {0, 0, 1, 0x65, 0x88});
    EXPECT_EQ(hevcOnly.Decode(frame), -6);
    EXPECT_EQ(errors, std::vector<int>{-6});
    EXPECT_EQ(local.CallCount("DecoderBeginFrame"), 0u);
}

// Decode after a failed Init reaches no platform call: it fails at begin.
TEST_F(InitFixture, DecodeWithoutInitFailsThroughBegin)
{
    platform.adapters.clear();
    DXVA2VideoDecoder decoder = MakeDecoder();
    EXPECT_EQ(decoder.Init(), -4);
    errors.clear();
    platform.calls.clear();
    std::unique_ptr<VideoFrame> frames[] = {SizedFrame(kCodecH264, 64, 48, {0, 0, 1, 0x65}), UnsizedFrame(kCodecH264, {0, 0, 1, 0x65}), nullptr};
    for (std::unique_ptr<VideoFrame>& frame : frames)
        EXPECT_EQ(decoder.Decode(frame), -3);
    EXPECT_EQ(errors, (std::vector<int>{-3, -3, -3}));
    EXPECT_EQ(log.count("decoder: failed to start decoding frame. hr = 0x80004003"), 2u);
    EXPECT_TRUE(platform.calls.empty());
    EXPECT_EQ(outputChanges, 0);
}

}  // namespace
