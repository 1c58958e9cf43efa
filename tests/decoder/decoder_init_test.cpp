#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

constexpr GUID kUnknownProfile = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

struct InitFixture : ::testing::Test {
    DXVA2VideoDecoder MakeDecoder()
    {
        return DXVA2VideoDecoder([this](size_t, size_t, float, float) { ++outputChanges; },
                                 [this](int code) { errors.push_back(code); }, platform);
    }

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::vector<int> errors;
    int outputChanges = 0;
};

// A failed Init logs one line, reports its code once and leaves nothing alive.
TEST_F(InitFixture, InitFailuresReportTheirCode)
{
    struct Case {
        const char* name;
        void (*spoil)(fake::FakeVideoPlatform&);
        int code;
        const char* line;
    };
    const Case cases[] = {
        {"no adapter", [](fake::FakeVideoPlatform&) {}, -4, "decoder: no decoder were found on this computer..."},
        {"factory", [](fake::FakeVideoPlatform& p) { p.createFactory = kResultFail; }, -8,
         "decoder : failed to CreateDXGIFactory : error 0x80004005"},
        {"multithread",
         [](fake::FakeVideoPlatform& p) {
             p.adapters = {fake::CapableAdapter()};
             p.adapters[0].queryMultithread = kResultNoInterface;
         },
         -4, "decoder: failed to query the multithread interface"},
        {"counter",
         [](fake::FakeVideoPlatform& p) {
             p.adapters = {fake::CapableAdapter()};
             p.frequencyAvailable = false;
         },
         -4, "decoder: QueryPerformanceFrequency failed!"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fake::FakeVideoPlatform local;
        testCase.spoil(local);
        std::vector<int> codes;
        LogCapture lines;
        {
            DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [&](int code) { codes.push_back(code); },
                                      local);
            EXPECT_EQ(decoder.Init(), testCase.code);
            EXPECT_FALSE(decoder.IsInitialized());
        }
        EXPECT_EQ(lines.count(testCase.line), 1u);
        EXPECT_EQ(codes, std::vector<int>{testCase.code});
        if (local.adapters.empty()) {
            EXPECT_EQ(lines.lines().size(), 1u);
        }
        EXPECT_EQ(local.liveObjects, 0);
    }
}

// Each way the first adapter can fail its checks: the adapter is logged, the
// failure is logged once, its interfaces are released and the second adapter
// is chosen.
TEST_F(InitFixture, RejectedFirstAdapterFallsThroughToTheSecond)
{
    struct Case {
        const char* name;
        std::function<void(fake::AdapterScript&)> spoil;
        const char* line;
    };
    const Case cases[] = {
        {"device", [](fake::AdapterScript& a) { a.createDevice = kResultFail; },
         "decoder: D3D11CreateDevice failed on adapter 0: hr = 0x80004005"},
        {"video device", [](fake::AdapterScript& a) { a.queryVideoDevice = kResultNoInterface; },
         "decoder: could not query ID3D11VideoDevice interface: hr = 0x80004002"},
        {"video context", [](fake::AdapterScript& a) { a.queryVideoContext = kResultNoInterface; },
         "decoder: could not query ID3D11VideoContext interface: hr = 0x80004002"},
        {"null context", [](fake::AdapterScript& a) { a.nullVideoContext = true; },
         "decoder: no video context found on this computer"},
        {"no profiles", [](fake::AdapterScript& a) { a.profiles.clear(); },
         "decoder: could not find suitable decoder profile for h264"},
        {"foreign profiles", [](fake::AdapterScript& a) { a.profiles = {kUnknownProfile}; },
         "decoder: could not find suitable decoder profile for h264"},
        {"format call", [](fake::AdapterScript& a) { a.checkFormat = kResultInvalidArgument; },
         "decoder: failed to check decoder format: hr = 0x80070057"},
        {"no NV12 for H.264", [](fake::AdapterScript& a) { a.nv12Supported = false; },
         "decoder: failed to create decoder format: 103 is not supported for H264"},
        {"no NV12 for H.265",
         [](fake::AdapterScript& a) {
             a.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
             a.nv12Supported = false;
         },
         "decoder: failed to create decoder format: 103 is not supported for H265"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fake::FakeVideoPlatform local;
        local.adapters = {fake::CapableAdapter(), fake::CapableAdapter()};
        local.adapters[0].name = u"Software adapter";
        local.adapters[1].name = u"GPU \u00e9";
        testCase.spoil(local.adapters[0]);
        LogCapture lines;
        {
            DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, local);
            EXPECT_EQ(decoder.Init(), 1);
            EXPECT_TRUE(decoder.IsInitialized());
            std::vector<std::string> expected = {
                "info: decoder : adapter 0 -> Software adapter [0x1234//0x5678]",
                std::string("error: ") + testCase.line,
                "info: decoder : adapter 1 -> GPU \u00e9 [0x1234//0x5678]",
            };
            EXPECT_EQ(lines.lines(), expected);
            EXPECT_EQ(local.CallCount("destroy device(0)"), local.adapters[0].createDevice == kResultOk ? 1u : 0u);
            EXPECT_TRUE(local.multithreadProtected);
        }
        EXPECT_EQ(local.liveObjects, 0);
    }
}

// The first accepted profile in the device's order wins, whatever the order
// of our own list; an unreadable profile is logged and skipped.
TEST_F(InitFixture, ProfilesAreTakenInDeviceOrder)
{
    fake::AdapterScript adapter = fake::CapableAdapter();
    adapter.profiles = {kUnknownProfile, kH264VendorProfileB, D3D11_DECODER_PROFILE_H264_VLD_NOFGT,
                        D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    adapter.failingProfileIndices = {0};
    platform.adapters = {adapter};
    DXVA2VideoDecoder decoder = MakeDecoder();
    ASSERT_EQ(decoder.Init(), 1);
    EXPECT_TRUE(decoder.H264Profile() == kH264VendorProfileB);
    EXPECT_TRUE(decoder.HevcProfile() == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN);
    EXPECT_EQ(log.count("decoder: could not retrieve decoder profile for id: 0"), 1u);
    EXPECT_EQ(platform.createDeviceFlags, std::vector<UINT>{0x820});   // video support and BGRA
}

// A rejected adapter's H.264 profile must not leak into the next adapter,
// which only decodes H.265; an H.264 frame then cannot be configured.
TEST_F(InitFixture, HevcOnlyAdapterLeavesH264Unconfigurable)
{
    fake::AdapterScript rejected = fake::CapableAdapter();
    rejected.profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT};
    rejected.nv12Supported = false;
    fake::AdapterScript hevcOnly = fake::CapableAdapter();
    hevcOnly.profiles = {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    platform.adapters = {rejected, hevcOnly};

    DXVA2VideoDecoder decoder = MakeDecoder();
    ASSERT_EQ(decoder.Init(), 1);
    EXPECT_TRUE(decoder.H264Profile() == kGuidNull);
    EXPECT_EQ(platform.CallCount("CheckVideoDecoderFormat(h264)"), 1u);   // adapter 0 only
    EXPECT_EQ(platform.CallCount("CheckVideoDecoderFormat(hevc)"), 1u);

    std::unique_ptr<VideoFrame> frame = SizedFrame(kCodecH264, 64, 48, {0, 0, 1, 0x65, 0x88});
    EXPECT_EQ(decoder.Decode(frame), -6);
    EXPECT_EQ(errors, std::vector<int>{-6});
    EXPECT_EQ(outputChanges, 0);
    EXPECT_EQ(platform.CallCount("DecoderBeginFrame"), 0u);
}

// Decode after a failed Init reaches no platform call: it fails at begin.
TEST_F(InitFixture, DecodeWithoutInitFailsThroughBegin)
{
    DXVA2VideoDecoder decoder = MakeDecoder();
    EXPECT_EQ(decoder.Init(), -4);
    errors.clear();
    platform.calls.clear();
    for (bool sized : {false, true}) {
        std::vector<uint8_t> payload = {0, 0, 1, 0x65, 0x88};
        std::unique_ptr<VideoFrame> frame =
            sized ? SizedFrame(kCodecH264, 64, 48, payload) : UnsizedFrame(kCodecH264, payload);
        EXPECT_EQ(decoder.Decode(frame), -3);
    }
    EXPECT_EQ(errors, (std::vector<int>{-3, -3}));
    EXPECT_EQ(log.count("decoder: failed to start decoding frame. hr = 0x80004003"), 2u);
    EXPECT_TRUE(platform.calls.empty());
    EXPECT_EQ(outputChanges, 0);

    std::unique_ptr<VideoFrame> none;
    EXPECT_EQ(decoder.Decode(none), -3);
}

}  // namespace
