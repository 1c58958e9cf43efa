#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
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

// Offsets of the 00 00 01 that precedes each slice NAL unit, found by a plain
// byte scan independent of the decoder's NAL walk.
std::vector<size_t> SliceStartCodes(const std::vector<uint8_t>& payload, uint8_t codec)
{
    std::vector<size_t> offsets;
    for (size_t index = 0; index + 3 < payload.size(); ++index) {
        uint32_t type = codec == kCodecH264 ? payload[index + 3] & 0x1F : (payload[index + 3] >> 1) & 0x3F;
        bool slice = codec == kCodecH264 ? (type == 1 || type == 5) : (type <= 9 || (type >= 16 && type <= 21));
        if (payload[index] == 0 && payload[index + 1] == 0 && payload[index + 2] == 1 && slice)
            offsets.push_back(index);
    }
    return offsets;
}

// Slice-control entries as (location, size, first macroblock, macroblocks);
// short entries have no macroblock fields.
template <typename Entry>
std::vector<std::vector<uint32_t>> Entries(const fake::Submission& submission)
{
    const std::vector<uint8_t>& bytes = submission.buffers.at(kSliceControl);
    std::vector<std::vector<uint32_t>> entries;
    for (size_t offset = 0; offset + sizeof(Entry) <= bytes.size(); offset += sizeof(Entry)) {
        Entry entry;
        std::memcpy(&entry, bytes.data() + offset, sizeof(entry));
        entries.push_back({entry.BSNALunitDataLocation, entry.SliceBytesInBuffer, entry.wBadSliceChopping});
        if constexpr (sizeof(Entry) == sizeof(DXVA_Slice_H264_Long))
            entries.back().insert(entries.back().end(), {entry.first_mb_in_slice, entry.NumMbsForSlice});
    }
    return entries;
}

struct SubmitFixture : ::testing::Test {
    void MakeDecoder()
    {
        decoder = std::make_unique<DXVA2VideoDecoder>([](size_t, size_t, float, float) {}, [this](int code) { errors.push_back(code); }, platform);
        ASSERT_EQ(decoder->Init(), 1);
    }
    // 64x48 H.264: an IDR access unit and two P access units, each of two slices
    // (first_mb_in_slice 0 and 8 of 12 macroblocks, per the encoder's trace).
    int64_t DecodeH264(size_t index, std::vector<uint8_t> payload = {})
    {
        payload = payload.empty() ? h264[index] : payload;
        std::unique_ptr<VideoFrame> frame = index == 0 ? SizedFrame(kCodecH264, 64, 48, payload) : UnsizedFrame(kCodecH264, payload);
        return decoder->Decode(frame);
    }

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::unique_ptr<DXVA2VideoDecoder> decoder;
    const std::vector<std::vector<uint8_t>> h264 = FixtureAccessUnits("h264_64x48_two_slices.h264", kCodecH264);
    std::vector<int> errors;
};

// One entry per slice, each covering a three-byte start code and its NAL
// unit; the bitstream padded to 128 bytes, the pad added to the last H.264
// slice; long entries count the macroblocks up to the next slice, the last
// up to the end of the picture; surfaces alternate and the feedback number
// counts pictures.
TEST_F(SubmitFixture, SliceEntriesDescribeEachSlice)
{
    for (UINT raw : {2u, 1u}) {
        platform = fake::FakeVideoPlatform();
        platform.adapters[0].configs = {fake::Config(raw)};
        MakeDecoder();
        for (size_t index = 0; index < h264.size(); ++index) {
            SCOPED_TRACE(index);
            ASSERT_GT(DecodeH264(index), 0);
            const fake::Submission& submission = platform.submissions.at(index);
            std::vector<UINT> types, sizes;
            for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions) {
                types.push_back(description.BufferType);
                sizes.push_back(description.DataSize);
            }
            const size_t padded = (h264[index].size() / 128 + 1) * 128;
            EXPECT_EQ(types, (std::vector<UINT>{kSliceControl, kBitstream, 0, 4}));
            EXPECT_EQ(sizes, (std::vector<UINT>{raw == 2 ? 20u : 2 * 864u, static_cast<UINT>(padded), 1040, 224}));
            EXPECT_EQ(submission.descriptions[1].NumMBsInBuffer, 12u);
            const std::vector<uint8_t>& bits = submission.buffers.at(kBitstream);
            EXPECT_EQ(std::vector<uint8_t>(bits.begin(), bits.begin() + h264[index].size()), h264[index]);
            EXPECT_TRUE(std::all_of(bits.begin() + h264[index].size(), bits.end(), [](uint8_t b) { return b == 0; }));

            std::vector<size_t> starts = SliceStartCodes(h264[index], kCodecH264);
            ASSERT_EQ(starts.size(), 2u);
            std::vector<std::vector<uint32_t>> expected = {{uint32_t(starts[0]), uint32_t(starts[1] - starts[0]), 0, 0, 8},
                                                           {uint32_t(starts[1]), uint32_t(padded - starts[1]), 0, 8, 4}};
            for (auto& entry : expected)
                entry.resize(raw == 2 ? 3 : 5);
            EXPECT_EQ(raw == 2 ? Entries<DXVA_Slice_H264_Short>(submission) : Entries<DXVA_Slice_H264_Long>(submission), expected);
            EXPECT_EQ(submission.targetSlice, index % 2);
            EXPECT_EQ(decoder->StatusReportCounter(), index + 1);
        }
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 3u);
    }
}

// Pad to the next multiple of 128 (a whole 128 when already aligned), or as
// far as the buffer goes.
TEST_F(SubmitFixture, AlignmentFill)
{
    const std::tuple<size_t, UINT, UINT> cases[] = {{1000, 1 << 20, 1024}, {1024, 1 << 20, 1152}, {1024, 1030, 1030}, {1024, 1024, 1024}};
    for (auto [payloadSize, capacity, expectedSize] : cases) {
        SCOPED_TRACE(capacity);
        platform.bufferSizes[kBitstream] = 1 << 20;
        MakeDecoder();
        ASSERT_GT(DecodeH264(0), 0);
        platform.bufferSizes[kBitstream] = capacity;
        std::vector<uint8_t> payload = h264[1];
        payload.resize(payloadSize, 0);  // trailing zeros belong to the last NAL unit
        ASSERT_GT(DecodeH264(1, payload), 0);
        auto entries = Entries<DXVA_Slice_H264_Short>(platform.submissions.back());
        EXPECT_EQ(platform.submissions.back().descriptions[1].DataSize, expectedSize);
        EXPECT_EQ(entries.back()[0] + entries.back()[1], expectedSize);
    }
}

TEST_F(SubmitFixture, BeginFrameWaitsWhileBusyAndGivesUpAfterTheWholeWait)
{
    MakeDecoder();
    platform.pendingBeginFrames = 2;
    EXPECT_GT(DecodeH264(0), 0);
    EXPECT_EQ(platform.CallCount("DecoderBeginFrame"), 3u);
    EXPECT_EQ(errors, std::vector<int>{-9});
    std::vector<std::string> messages = log.messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(), [](const std::string& line) {
                  return line.rfind("decoder: had to wait for DecoderBeginFrame 2 times (~", 0) == 0 && line.ends_with(" us)");
              }), 1);
    EXPECT_EQ(decoder->CurrentOutputIndex(), 1u);

    // A surface that never frees up fails the frame after about 100 ms of
    // waiting in total, without ending a frame that never began.
    platform.pendingBeginFrames = -1;
    platform.calls.clear();
    errors.clear();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecodeH264(1), -3);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_GE(platform.CallCount("DecoderBeginFrame"), 10u);  // about one attempt per 500 us
    EXPECT_EQ(errors, std::vector<int>{-3});
    EXPECT_EQ(log.count("decoder: failed to start decoding frame. hr = 0x8000000a"), 1u);
    EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 0u);
}

// A failure after begin still ends the frame, keeps the surfaces and gives -3
// once, whatever step failed.
TEST_F(SubmitFixture, FailuresAfterBeginEndTheFrame)
{
    struct Case { std::string failing; HRESULT result; std::string line; std::function<void(fake::FakeVideoPlatform&)> spoil = {};
                  std::vector<uint8_t> payload = {}; };
    std::vector<Case> cases;
    for (const auto& [type, name] : {std::pair<UINT, const char*>{kBitstream, "BITSTREAM"}, {kSliceControl, "SLICE_CONTROL"}, {0, "PICTURE_PARAMETERS"},
                                     {4, "INVERSE_QUANTIZATION_MATRIX"}}) {
        for (const char* step : {"Get", "Release"})
            cases.push_back({std::string(step) + "DecoderBuffer(" + std::to_string(type) + ")", kResultFail,
                             std::string("decoder: failed ") + step + "DecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_" + name + " hr = 0x80004005"});
    }
    cases.push_back({"SubmitDecoderBuffers(4)", kResultInvalidArgument, "decoder: failed SubmitDecoderBuffers. hr = 0x80070057"});
    cases.push_back({"DecoderEndFrame", kResultFail, "decoder: failed DecoderEndFrame. hr = 0x80004005"});
    cases.push_back({"", kResultOk, "no more space in bitstream buffer", [](fake::FakeVideoPlatform& p) { p.bufferSizes[kSliceControl] = 15; }});
    cases.push_back({"", kResultOk, "h264 picture parameters buffer holds 1000 bytes", [](fake::FakeVideoPlatform& p) { p.bufferSizes[0] = 1000; }});
    cases.push_back({"", kResultOk, "could not read the nal header (error: -1) for type: 1", nullptr, {0, 0, 1, 0x41, 0x9A}});
    // A PPS naming two references needs more surfaces than the decoder keeps.
    cases.push_back({"", kResultOk, "P-frame with more than one ref frame: num_ref_idx_l0_active_minus1 == 1", nullptr,
                     FixtureAccessUnits("h264_64x48_two_refs.h264", kCodecH264)[0]});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        platform = fake::FakeVideoPlatform();
        errors.clear();
        MakeDecoder();
        ASSERT_GT(DecodeH264(0), 0);
        platform.failures[c.failing] = c.result;
        if (c.spoil)
            c.spoil(platform);
        log.clear();
        platform.calls.clear();
        EXPECT_EQ(DecodeH264(1, c.payload), -3);
        EXPECT_EQ(log.count(c.line), 1u);
        EXPECT_EQ(errors, std::vector<int>{-3});
        EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 1u);
        EXPECT_EQ(platform.submissions.size(), 1u + (c.failing == "DecoderEndFrame"));
        EXPECT_EQ(std::vector<size_t>({decoder->CurrentOutputIndex(), decoder->ReferenceOutputIndex()}), std::vector<size_t>({1, 0}));
        decoder.reset();
        EXPECT_EQ(platform.liveObjects, 0);
    }
}

}  // namespace
