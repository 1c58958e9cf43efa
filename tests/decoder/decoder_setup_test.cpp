#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

// A failure anywhere in Init gives its code once and leaks nothing; Decode
// then fails at begin (-3) without reaching the platform. The only
// adapter failing a check leaves no decoder to be found; a second adapter is
// then tried afresh, with nothing kept from the first (here its H.264 profile).
// (A device that cannot be made fails through the same check as the video
// context; its reason's text is the capability probe's test.)
TEST(DecoderInit, FailuresReportTheirCodeAndLeakNothing)
{
    struct Case { const char* failing; HRESULT result; int code; const char* line; const char* secondFailing = ""; };
    const Case cases[] = {
        {"CreateDXGIFactory1", kResultFail, -8, "decoder : failed to CreateDXGIFactory : error 0x80004005"},
        {"VideoContext", kResultNoInterface, -4, "decoder: could not query ID3D11VideoContext interface: hr = 0x80004002"},
        {"Multithread", kResultFail, -4, "decoder: failed to query the multithread interface"},
        {"VideoContext", kResultNoInterface, 1, "decoder: could not query ID3D11VideoContext interface: hr = 0x80004002"},
        {"CheckVideoDecoderFormat", kResultFail, 1, "decoder: failed to check decoder format: hr = 0x80004005", "GetVideoDecoderProfile(0)@1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fake::ScriptedPlatform local;
        local.failures = {{c.failing, c.result}, {c.secondFailing, kResultFail}};
        local.adapters = c.code == 1 ? 2 : 1;
        std::vector<int> codes;
        LogCapture lines;
        auto decoder = std::make_unique<DXVA2VideoDecoder>([](size_t, size_t, float, float) {}, [&](int code) { codes.push_back(code); }, local);
        EXPECT_EQ(decoder->Init(), c.code);
        EXPECT_EQ(decoder->IsInitialized(), c.code == 1);
        EXPECT_EQ(lines.count(c.line), 1u);
        EXPECT_EQ(lines.count("decoder : adapter 1 -> Simulated video decoder (no hardware) [0x0//0x0]"), local.adapters - 1);
        EXPECT_EQ(lines.count("decoder: no decoder were found on this computer..."), c.code == -4 && c.failing != std::string("Multithread") ? 1u : 0u);
        if (c.code == 1) {
            EXPECT_EQ(local.liveObjects, 2);  // the second adapter's device and context
            continue;
        }
        const size_t calls = local.calls.size();
        std::unique_ptr<VideoFrame> frames[] = {Frame(kCodecH264, {0, 0, 1, 0x65}, 64, 48), nullptr};
        for (std::unique_ptr<VideoFrame>& frame : frames)
            EXPECT_EQ(decoder->Decode(frame), -3);
        EXPECT_EQ(local.calls.size(), calls);
        decoder.reset();
        EXPECT_EQ(local.liveObjects, 0);
        EXPECT_EQ(codes, (std::vector<int>{c.code, -3, -3}));
    }
}

// Unencrypted beats the slice format; short beats long among equals; the
// lowest index wins a tie; unreadable and unknown configurations are skipped.
// (That H.265 takes raw 1 only is the capability probe's test.)
TEST(DecoderConfiguration, ScoringPicksTheExpectedConfiguration)
{
    const GUID kOtherEncryption = {0xdeadbeef, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    D3D11_VIDEO_DECODER_CONFIG shortClear = fake::Config(2);
    shortClear.ConfigDecoderSpecific = 7;  // tells two equal-scoring configurations apart
    struct Case { const char* name; std::vector<D3D11_VIDEO_DECODER_CONFIG> configs; const char* failing; int chosen; };
    const Case cases[] = {
        {"17 beats 2", {fake::Config(2, kOtherEncryption), fake::Config(1)}, nullptr, 1},
        {"18 beats 17", {fake::Config(1), fake::Config(2)}, nullptr, 1},
        {"lowest index among equals", {fake::Config(2), shortClear}, nullptr, 0},
        {"unreadable skipped", {fake::Config(2), fake::Config(1)}, "GetVideoDecoderConfig(0)", 1},
        {"raw 0 only", {fake::Config(0), fake::Config(3)}, nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::ScriptedPlatform platform;
        platform.configs = c.configs;
        platform.failures = {{c.failing ? c.failing : "", kResultFail}};
        LogCapture log;
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, platform);
        ASSERT_EQ(decoder.Init(), 1);
        std::unique_ptr<VideoFrame> frame = Frame(kCodecH264, FixtureAccessUnits("h264_64x48_two_slices.h264", kCodecH264)[0], 64, 48);
        const int64_t result = decoder.Decode(frame);
        EXPECT_TRUE(c.chosen < 0 ? result == -6 : result > 0) << result;
        EXPECT_EQ(log.count("GetVideoDecoderConfig failed for id: 0"), c.failing ? 1u : 0u);
        if (c.chosen < 0) {
            EXPECT_EQ(log.count("no suitable decoder found..."), 1u);
            EXPECT_TRUE(platform.decoderConfigs.empty());
            continue;
        }
        ASSERT_EQ(platform.decoderConfigs.size(), 1u);
        EXPECT_EQ(std::memcmp(&platform.decoderConfigs[0], &c.configs[c.chosen], sizeof(D3D11_VIDEO_DECODER_CONFIG)), 0);
        const bool longSlices = c.configs[c.chosen].ConfigBitstreamRaw == 1;
        EXPECT_EQ(decoder.ShortSliceFormat(), !longSlices);
        EXPECT_EQ(log.count("video: decoder: this decoder is using long slice"), longSlices ? 1u : 0u);
    }
}

}  // namespace
