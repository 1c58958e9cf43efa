#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

constexpr UINT kSliceControl = D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL;
constexpr UINT kBitstream = D3D11_VIDEO_DECODER_BUFFER_BITSTREAM;

// The decoder on the simulated device behind a scripted context, after the
// IDR of the 64x48 H.264 fixture. Its two P access units have two slices each
// (first_mb_in_slice 0 and 8 of 12 macroblocks, per the encoder's trace).
struct SubmitFixture : ::testing::Test {
    // A fresh decoder on a fresh platform; the old decoder goes first, as it
    // holds the old platform's objects.
    void Restart(bool longSlices, std::vector<GUID> profiles = {})
    {
        decoder.reset();
        platform = std::make_unique<fake::ScriptedPlatform>();
        platform->configs = {fake::Config(longSlices ? 1 : 2)};
        platform->profiles = std::move(profiles);
        decoder = std::make_unique<DXVA2VideoDecoder>([](size_t, size_t, float, float) {},
                                                      [this](int code) { errors.push_back(code); }, *platform);
        ASSERT_EQ(decoder->Init(), 1);
    }
    void StartWithIdr(bool longSlices = false, std::vector<GUID> profiles = {})
    {
        ASSERT_NO_FATAL_FAILURE(Restart(longSlices, std::move(profiles)));
        std::unique_ptr<VideoFrame> idr = Frame(kCodecH264, h264[0], 64, 48);
        ASSERT_GT(decoder->Decode(idr), 0);
        errors.clear();
        log.clear();
        platform->calls.clear();
    }
    int64_t Decode(std::vector<uint8_t> payload)
    {
        std::unique_ptr<VideoFrame> frame = Frame(kCodecH264, std::move(payload));
        return decoder->Decode(frame);
    }

    LogCapture log;
    std::unique_ptr<fake::ScriptedPlatform> platform;
    std::unique_ptr<DXVA2VideoDecoder> decoder;
    const std::vector<std::vector<uint8_t>> h264 = FixtureAccessUnits("h264_64x48_two_slices.h264", kCodecH264);
    // The 200x120 H.265 stream, with default scaling lists.
    const std::vector<std::vector<uint8_t>> hevc = FixtureAccessUnits("../../dxva/fixtures/hevc_200x120.h265", kCodecH265);
    std::vector<int> errors;
};

// The entries tile the bitstream: each covers a three-byte start code and its
// NAL unit, the last also the zero fill to the next multiple of 128 bytes (a
// whole 128 when already aligned) or as far as the buffer goes. Long entries
// count the macroblocks up to the next slice, the last up to the picture's end.
TEST_F(SubmitFixture, SliceEntriesTileTheBitstream)
{
    constexpr uint32_t kSliceStarts[] = {6, 16};  // of the 00 00 01 before each slice NAL unit
    struct Case { bool longSlices; size_t payloadSize; UINT capacity; UINT filled; };  // trailing zeros join the last NAL unit
    const Case cases[] = {{false, 1000, 0, 1024}, {true, 1000, 0, 1024}, {false, 1024, 0, 1152}, {false, 1024, 1030, 1030}, {false, 1024, 1024, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.payloadSize << " bytes in " << c.capacity);
        StartWithIdr(c.longSlices);
        platform->capacities[kBitstream] = c.capacity ? c.capacity : 1u << 20;
        std::vector<uint8_t> payload = h264[1];
        payload.resize(c.payloadSize, 0);
        EXPECT_EQ(Decode(payload) > 0, c.filled % 128 == 0);  // the device takes whole 128-byte units only
        const fake::Submission& submission = platform->submissions.back();
        payload.resize(c.filled, 0);
        EXPECT_EQ(submission.buffers.at(kBitstream), payload);
        EXPECT_EQ(submission.descriptions[1].NumMBsInBuffer, 12u);
        const std::vector<uint8_t>& bytes = submission.buffers.at(kSliceControl);
        const size_t size = c.longSlices ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
        std::vector<std::vector<uint32_t>> entries;
        for (size_t at = 0; at < bytes.size(); at += size) {
            DXVA_Slice_H264_Long entry = {};  // a short one widened with zeros
            std::memcpy(&entry, bytes.data() + at, size);
            entries.push_back({entry.BSNALunitDataLocation, entry.SliceBytesInBuffer, entry.first_mb_in_slice, entry.NumMbsForSlice});
        }
        const uint32_t mbs = c.longSlices ? 1 : 0;
        EXPECT_EQ(entries, (std::vector<std::vector<uint32_t>>{{kSliceStarts[0], kSliceStarts[1] - kSliceStarts[0], 0, 8 * mbs},
                                                                {kSliceStarts[1], c.filled - kSliceStarts[1], 8 * mbs, 4 * mbs}}));
    }
}

TEST_F(SubmitFixture, BeginFrameWaitsWhileBusyAndGivesUpAfterTheWholeWait)
{
    // Drivers say "busy" with E_PENDING or with D3DERR_WASSTILLDRAWING.
    for (uint32_t busy : {0x8000000Au, 0x8876021Cu}) {
        SCOPED_TRACE(busy);
        StartWithIdr();
        platform->busyResult = static_cast<HRESULT>(busy);
        platform->pendingBeginFrames = 2;
        EXPECT_GT(Decode(h264[1]), 0);
        EXPECT_EQ(platform->CallCount("DecoderBeginFrame"), 3u);
        EXPECT_EQ(errors, std::vector<int>{-9});
        EXPECT_EQ(log.count("decoder: had to wait for DecoderBeginFrame 2 times (~"), 1u);
    }

    // A surface still busy after about 100 ms of waiting in total (some 200
    // attempts, 500 us apart) fails the frame, without ending a frame that
    // never began; it would free up at the 400th.
    platform->busyResult = static_cast<HRESULT>(0x8000000Au);
    platform->pendingBeginFrames = 400;
    platform->calls.clear();
    errors.clear();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Decode(h264[2]), -3);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_EQ(errors, std::vector<int>{-3});
    EXPECT_EQ(log.count("decoder: failed to start decoding frame. hr = 0x8000000a"), 1u);
    EXPECT_EQ(platform->CallCount("DecoderEndFrame"), 0u);
}

// A failure after begin, the decoder's own or the device's refusal of the P
// picture's submission (on surface 1) spoilt after the decoder made it, still
// ends the frame, keeps the surfaces and gives -3 once, whatever step failed;
// the failure is logged with its reason.
TEST_F(SubmitFixture, FailuresAfterBeginEndTheFrame)
{
    auto picture = [](fake::Memory& m) { return reinterpret_cast<DXVA_PicParams_H264*>(m[0]); };
    auto slice = [](fake::Memory& m) { return reinterpret_cast<DXVA_Slice_H264_Short*>(m[kSliceControl]); };
    struct Case { std::string line; fake::Spoil spoil = {}; std::string failing = ""; HRESULT result = kResultFail;
                  std::map<UINT, UINT> capacities = {}; std::vector<uint8_t> payload = {}; bool longSlices = false; };
    const Case cases[] = {
        {"decoder: failed GetDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_BITSTREAM hr = 0x80004005", {},
         "GetDecoderBuffer(6)"},
        {"decoder: failed ReleaseDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX hr = 0x80004005",
         {}, "ReleaseDecoderBuffer(4)"},
        {"decoder: failed SubmitDecoderBuffers. hr = 0x80070057", {}, "SubmitDecoderBuffers(4)",
         kResultInvalidArgument},
        {"decoder: failed DecoderEndFrame. hr = 0x80004005", {}, "DecoderEndFrame"},
        {.line = "no more space in bitstream buffer", .capacities = {{kSliceControl, 15}}},
        {.line = "h264 picture parameters buffer holds 1000 bytes", .capacities = {{0, 1000}}},
        {.line = "could not read the nal header (error: -1) for type: 1", .payload = {0, 0, 1, 0x41, 0x9A}},
        {.line = "decoder: h264 access unit without a slice", .payload = {0, 0, 1, 0x09, 0x10}},
        {"picture parameters of 1000 bytes, expected 1040", [](auto& d, auto&) { d[2].DataSize = 1000; }},
        {"reaches past the bitstream", [&](auto&, auto& m) { slice(m)[1].SliceBytesInBuffer += 1; }},
        {"does not point at a 00 00 01 start code", [&](auto&, auto& m) { slice(m)[0].BSNALunitDataLocation += 1; }},
        {"CurrPic names surface 0 but the frame was begun on surface 1",
         [&](auto&, auto& m) { picture(m)->CurrPic.Index7Bits = 0; }},
        {"picture parameters give 128x48, the decoder is configured for 64x48",
         [&](auto&, auto& m) { picture(m)->wFrameWidthInMbsMinus1 = 7; }},
        {.line = "slices cover 8 macroblocks, the picture has 12",
         .spoil = [](auto& d, auto&) { d[0].DataSize = sizeof(DXVA_Slice_H264_Long); }, .longSlices = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StartWithIdr(c.longSlices);
        platform->failures[c.failing] = c.result;
        platform->capacities = c.capacities;
        platform->spoil = c.spoil;
        EXPECT_EQ(Decode(c.payload.empty() ? h264[1] : c.payload), -3);
        EXPECT_EQ(log.count(c.line), 1u) << ::testing::PrintToString(log.messages());
        EXPECT_EQ(errors, std::vector<int>{-3});
        EXPECT_EQ(platform->CallCount("DecoderEndFrame"), 1u);
        EXPECT_EQ(std::vector<size_t>({decoder->CurrentOutputIndex(), decoder->ReferenceOutputIndex()}), std::vector<size_t>({1, 0}));
        // Every buffer got was given back before the end, so the device
        // closed the frame; a release the script fails never reached it.
        // After a failed end the device holds the picture the decoder gave
        // up, and the same picture again is no longer the stream's.
        if (c.failing.rfind("ReleaseDecoderBuffer", 0) != 0 && c.failing != "DecoderEndFrame") {
            EXPECT_EQ(log.count("refused DecoderEndFrame"), 0u);
            platform->failures.clear();
            platform->capacities.clear();
            platform->spoil = {};
            EXPECT_GT(Decode(h264[1]), 0) << ::testing::PrintToString(log.messages());
        }
    }
}

// H.264 profile choice: the published profile whenever offered, else the
// first H.264 one the driver lists. What choosing Intel's {604F8E68-...}
// implies for a P picture in long slice format decoded into surface 0 after
// one in surface 1 (Intel's profile takes 0x34C in Reserved16Bits and the
// reference's surface in RefPicList, others the index of its RefFrameList
// entry and 3) the device checks.
TEST_F(SubmitFixture, H264ProfileChoiceAndItsReferenceLists)
{
    const GUID kNoFgt = {0x1b81be68, 0xa0c7, 0x11d3, {0xb9, 0x84, 0x00, 0xc0, 0x4f, 0x2e, 0x73, 0xc5}};
    const GUID kIntel = {0x604f8e68, 0x4951, 0x4c54, {0x88, 0xfe, 0xab, 0xd2, 0x5c, 0x15, 0xb3, 0xd6}};
    const GUID kVendor = {0x4245f676, 0x2bbc, 0x4166, {0xa0, 0xbb, 0x54, 0xe7, 0xb8, 0x49, 0xc3, 0x80}};
    const GUID kHevc = {0x5b11d51b, 0x2f4c, 0x4452, {0xbc, 0xc3, 0x09, 0xf2, 0xa1, 0x16, 0x0c, 0xc0}};
    const std::pair<std::vector<GUID>, GUID> cases[] = {{{kIntel, kVendor, kNoFgt, kHevc}, kNoFgt}, {{kHevc, kIntel}, kIntel}, {{kVendor, kIntel}, kVendor}};
    for (const auto& [profiles, chosen] : cases) {
        StartWithIdr(true, profiles);
        EXPECT_TRUE(decoder->H264Profile() == chosen);
        ASSERT_GT(Decode(h264[1]), 0);
        ASSERT_GT(Decode(h264[2]), 0) << ::testing::PrintToString(log.messages());
    }
}

// After the last frame the decoder waits on an event query until the device
// reports it done, polling without a busy spin; a query that cannot be made
// or read, or never finishes, fails with one error line.
TEST_F(SubmitFixture, WaitUntilDecodedEndsOnTheEventQuery)
{
    struct Case { const char* failing; int unfinished; int64_t result; const char* line; size_t polls; };
    const Case cases[] = {
        {"", 3, 0, nullptr, 4},
        {"CreateQuery", 0, -3, "decoder: failed CreateQuery. hr = 0x80004005", 0},
        {"GetData", 0, -3, "decoder: failed GetData on the event query. hr = 0x80004005", 1},
        {"", -1, -3, "decoder: decoding did not finish within ", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "done");
        StartWithIdr();
        ASSERT_GT(Decode(h264[1]), 0);
        platform->calls.clear();
        platform->failures[c.failing] = kResultFail;
        platform->unfinishedQueries = c.unfinished;
        EXPECT_EQ(decoder->WaitUntilDecoded(), c.result);
        EXPECT_EQ(log.count(c.line ? c.line : "decoder: "), c.line ? 1u : 0u);
        EXPECT_TRUE(errors.empty());
        if (c.failing[0] == 0) {
            EXPECT_EQ(std::vector<std::string>(platform->calls.begin(), platform->calls.begin() + 3),
                      (std::vector<std::string>{"CreateQuery", "End", "Flush"}));
        }
        // Seconds of polling with a sleep between polls make thousands of
        // calls; a spin would make millions.
        if (c.polls > 0) {
            EXPECT_EQ(platform->CallCount("GetData"), c.polls);
        } else if (c.unfinished < 0) {
            EXPECT_LT(platform->CallCount("GetData"), 100000u);
        }
        // The device's next frame is not disturbed.
        EXPECT_GT(Decode(h264[2]), 0);
    }
}

// Of the H.265 stream, the third picture (using pictures 1 and 0) spoilt: the
// device checks the surfaces against its own record of them. The second
// failed: it is not kept, so the third, which uses it, is refused before it
// reaches the device. (Order counts and sets against the slice header are
// compared with the corpus streams' dumps end to end.)
TEST_F(SubmitFixture, HevcReferenceSurfacesAreChecked)
{
    auto picture = [](fake::Memory& m) { return reinterpret_cast<DXVA_PicParams_HEVC*>(m[0]); };
    // Picture `at` fails `failing` or has its submission spoilt after the decoder made it.
    struct Case { size_t at; fake::Spoil spoil; const char* failing; std::vector<int64_t> results; const char* line; };
    const Case cases[] = {
        {2, [&](auto&, fake::Memory& m) { picture(m)->RefPicList[0] = picture(m)->CurrPic; }, "", {1, 1, -3},
         "the one being written"},
        {2, [&](auto&, fake::Memory& m) { picture(m)->PicOrderCntValList[0] += 4; }, "", {1, 1, -3},
         "which holds picture"},
        {1, {}, "SubmitDecoderBuffers(4)", {1, -3, -3},
         "decoder: hevc picture 2 refers to the earlier picture 1, which is not kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Restart(true);  // H.265 takes raw 1 only
        log.clear();
        std::vector<int64_t> results;  // at most 1
        for (size_t i = 0; i < 3; ++i) {
            platform->spoil = i == c.at ? c.spoil : fake::Spoil();
            platform->failures = {{i == c.at ? c.failing : "", kResultFail}};
            std::unique_ptr<VideoFrame> frame = Frame(kCodecH265, hevc[i], i == 0 ? 200 : 0, i == 0 ? 120 : 0);
            results.push_back(std::min<int64_t>(decoder->Decode(frame), 1));
        }
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(log.count(c.line), 1u) << ::testing::PrintToString(log.messages());
    }
}

}  // namespace
