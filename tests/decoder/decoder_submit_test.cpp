#include <gtest/gtest.h>

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
constexpr UINT kPictureParameters = D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS;
constexpr UINT kMatrices = D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX;

// 64x48 H.264: an IDR access unit and two P access units, each of two slices
// (first_mb_in_slice 0 and 8 of 12 macroblocks, per the encoder's trace).
const char kH264Stream[] = "h264_64x48_two_slices.h264";
const char kHevcStream[] = "hevc_64x48.h265";

// Offsets of the 00 00 01 that precedes each slice NAL unit, found by a plain
// byte scan independent of the decoder's NAL walk.
std::vector<size_t> SliceStartCodes(const std::vector<uint8_t>& payload, uint8_t codec)
{
    std::vector<size_t> offsets;
    for (size_t index = 0; index + 3 < payload.size(); ++index) {
        if (payload[index] != 0 || payload[index + 1] != 0 || payload[index + 2] != 1)
            continue;
        uint8_t header = payload[index + 3];
        uint32_t type = codec == kCodecH264 ? header & 0x1F : (header >> 1) & 0x3F;
        bool slice = codec == kCodecH264 ? (type == 1 || type == 5) : (type <= 9 || (type >= 16 && type <= 21));
        if (slice)
            offsets.push_back(index);
    }
    return offsets;
}

// A slice-control entry copied out of its packed layout.
struct SliceEntry {
    uint32_t location;
    uint32_t size;
    uint16_t badSliceChopping;
    uint16_t firstMb = 0;
    uint16_t macroblocks = 0;
};

template <typename Entry>
std::vector<SliceEntry> Entries(const fake::Submission& submission)
{
    const std::vector<uint8_t>& bytes = submission.buffers.at(kSliceControl);
    std::vector<SliceEntry> entries;
    for (size_t offset = 0; offset + sizeof(Entry) <= bytes.size(); offset += sizeof(Entry)) {
        Entry entry;
        std::memcpy(&entry, bytes.data() + offset, sizeof(entry));
        SliceEntry unpacked = {entry.BSNALunitDataLocation, entry.SliceBytesInBuffer, entry.wBadSliceChopping};
        if constexpr (sizeof(Entry) == sizeof(DXVA_Slice_H264_Long)) {
            unpacked.firstMb = entry.first_mb_in_slice;
            unpacked.macroblocks = entry.NumMbsForSlice;
        }
        entries.push_back(unpacked);
    }
    return entries;
}

std::vector<uint8_t> WithFourByteStartCodes(const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> rebuilt;
    for (size_t index = 0; index < payload.size(); ++index) {
        bool startCode = index + 2 < payload.size() && payload[index] == 0 && payload[index + 1] == 0 &&
                         payload[index + 2] == 1 && (index == 0 || payload[index - 1] != 0);
        if (startCode)
            rebuilt.push_back(0);
        rebuilt.push_back(payload[index]);
    }
    return rebuilt;
}

struct SubmitFixture : ::testing::Test {
    void SetUp() override
    {
        platform.adapters = {fake::CapableAdapter()};
        h264 = FixtureAccessUnits(kH264Stream, kCodecH264);
        ASSERT_EQ(h264.size(), 3u);
    }

    void MakeDecoder()
    {
        decoder = std::make_unique<DXVA2VideoDecoder>([this](size_t, size_t, float, float) { ++outputChanges; },
                                                      [this](int code) { errors.push_back(code); }, platform);
        ASSERT_EQ(decoder->Init(), 1);
    }

    int64_t Decode(std::unique_ptr<VideoFrame> frame) { return decoder->Decode(frame); }
    int64_t DecodeH264(size_t index, std::vector<uint8_t> payload = {})
    {
        if (payload.empty())
            payload = h264[index];
        return Decode(index == 0 ? SizedFrame(kCodecH264, 64, 48, payload) : UnsizedFrame(kCodecH264, payload));
    }

    LogCapture log;
    fake::FakeVideoPlatform platform;
    std::unique_ptr<DXVA2VideoDecoder> decoder;
    std::vector<std::vector<uint8_t>> h264;
    std::vector<int> errors;
    int outputChanges = 0;
};

// Short slices: one entry per slice, each covering a three-byte start code
// and its NAL unit; the bitstream padded to 128 bytes, the pad added to the
// last slice; surfaces alternate and the feedback number counts pictures.
TEST_F(SubmitFixture, ShortSliceEntriesDescribeEachSlice)
{
    MakeDecoder();
    for (size_t index = 0; index < h264.size(); ++index) {
        SCOPED_TRACE(index);
        const std::vector<uint8_t>& payload = h264[index];
        EXPECT_GT(DecodeH264(index), 0);
        ASSERT_EQ(platform.submissions.size(), index + 1);
        const fake::Submission& submission = platform.submissions.back();

        std::vector<UINT> types;
        for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions)
            types.push_back(description.BufferType);
        ASSERT_EQ(types, (std::vector<UINT>{kSliceControl, kBitstream, kPictureParameters, kMatrices}));
        EXPECT_EQ(submission.descriptions[2].DataSize, 1040u);
        EXPECT_EQ(submission.descriptions[3].DataSize, 224u);
        EXPECT_EQ(submission.descriptions[1].NumMBsInBuffer, 12u);

        size_t padded = (payload.size() / 128 + 1) * 128;
        EXPECT_EQ(submission.descriptions[1].DataSize, padded);
        const std::vector<uint8_t>& bits = submission.buffers.at(kBitstream);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), bits.begin()));
        EXPECT_TRUE(std::all_of(bits.begin() + payload.size(), bits.end(), [](uint8_t b) { return b == 0; }));

        std::vector<size_t> starts = SliceStartCodes(payload, kCodecH264);
        ASSERT_EQ(starts.size(), 2u);
        auto entries = Entries<DXVA_Slice_H264_Short>(submission);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(submission.descriptions[0].DataSize, 20u);
        EXPECT_EQ(entries[0].location, starts[0]);
        EXPECT_EQ(entries[0].size, starts[1] - starts[0]);
        EXPECT_EQ(entries[1].location, starts[1]);
        EXPECT_EQ(entries[1].size, padded - starts[1]);
        EXPECT_EQ(entries[0].badSliceChopping, 0);

        EXPECT_EQ(submission.targetSlice, index % 2);
        EXPECT_EQ(decoder->StatusReportCounter(), index + 1);
    }
    EXPECT_EQ(outputChanges, 1);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(platform.CallCount("DecoderBeginFrame"), 3u);
    EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 3u);
}

// Long slices: each entry counts the macroblocks up to the next slice, the
// last one up to the end of the picture.
TEST_F(SubmitFixture, LongSliceEntriesCountMacroblocks)
{
    platform.adapters[0].configs = {fake::Config(1)};
    MakeDecoder();
    EXPECT_GT(DecodeH264(0), 0);
    EXPECT_GT(DecodeH264(1), 0);
    for (const fake::Submission& submission : platform.submissions) {
        auto entries = Entries<DXVA_Slice_H264_Long>(submission);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(submission.descriptions[0].DataSize, 2 * 864u);
        EXPECT_EQ(entries[0].firstMb, 0);
        EXPECT_EQ(entries[0].macroblocks, 8);
        EXPECT_EQ(entries[1].firstMb, 8);
        EXPECT_EQ(entries[1].macroblocks, 4);
        EXPECT_EQ(entries[1].location + entries[1].size,
                  submission.descriptions[1].DataSize);
    }
}

TEST_F(SubmitFixture, FourByteStartCodesAreDescribedFromTheirLastThreeBytes)
{
    MakeDecoder();
    ASSERT_GT(DecodeH264(0), 0);
    std::vector<uint8_t> payload = WithFourByteStartCodes(h264[1]);
    ASSERT_GT(DecodeH264(1, payload), 0);
    auto entries = Entries<DXVA_Slice_H264_Short>(platform.submissions.back());
    std::vector<size_t> starts = SliceStartCodes(payload, kCodecH264);
    ASSERT_EQ(entries.size(), starts.size());
    for (size_t index = 0; index < starts.size(); ++index) {
        EXPECT_EQ(entries[index].location, starts[index]);
        EXPECT_EQ(payload[starts[index] - 1], 0);   // the leading zero stays outside
    }
    // The first slice's NAL unit ends before the next start code's extra zero.
    EXPECT_EQ(entries[0].size, starts[1] - 1 - starts[0]);
}

// Pad to the next multiple of 128 (a whole 128 when already aligned), or as
// far as the buffer goes.
TEST_F(SubmitFixture, AlignmentFill)
{
    struct Case {
        size_t payloadSize;
        UINT capacity;
        UINT expectedSize;
    };
    const Case cases[] = {{1000, 1 << 20, 1024}, {1024, 1 << 20, 1152}, {1024, 1030, 1030}, {1024, 1024, 1024}};
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.payloadSize);
        SCOPED_TRACE(testCase.capacity);
        platform.bufferSizes[kBitstream] = 1 << 20;
        platform.submissions.clear();
        MakeDecoder();
        ASSERT_GT(DecodeH264(0), 0);
        platform.bufferSizes[kBitstream] = testCase.capacity;
        std::vector<uint8_t> payload = h264[1];
        payload.resize(testCase.payloadSize, 0);   // trailing zeros belong to the last NAL unit
        ASSERT_GT(DecodeH264(1, payload), 0);
        const fake::Submission& submission = platform.submissions.back();
        EXPECT_EQ(submission.descriptions[1].DataSize, testCase.expectedSize);
        auto entries = Entries<DXVA_Slice_H264_Short>(submission);
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().location + entries.back().size, testCase.expectedSize);
    }
}

TEST_F(SubmitFixture, PpsWithTwoReferencesIsRefused)
{
    MakeDecoder();
    std::vector<std::vector<uint8_t>> units = FixtureAccessUnits("h264_64x48_two_refs.h264", kCodecH264);
    EXPECT_EQ(Decode(SizedFrame(kCodecH264, 64, 48, units[0])), -3);
    EXPECT_EQ(errors, std::vector<int>{-3});
    EXPECT_EQ(log.count("P-frame with more than one ref frame: num_ref_idx_l0_active_minus1 == 1"), 1u);
    EXPECT_EQ(platform.CallCount("SubmitDecoderBuffers(4)"), 0u);
    EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 1u);
    EXPECT_EQ(decoder->CurrentOutputIndex(), 0u);
}

TEST_F(SubmitFixture, BusyTwiceThenFreeWaitsAndDecodes)
{
    MakeDecoder();
    platform.pendingBeginFrames = 2;
    EXPECT_GT(DecodeH264(0), 0);
    EXPECT_EQ(platform.beginFrameCalls, 3);
    EXPECT_EQ(errors, std::vector<int>{-9});
    std::vector<std::string> messages = log.messages();
    size_t waits = std::count_if(messages.begin(), messages.end(), [](const std::string& line) {
        return line.rfind("decoder: had to wait for DecoderBeginFrame 2 times (~", 0) == 0 &&
               line.size() > 4 && line.compare(line.size() - 4, 4, " us)") == 0;
    });
    EXPECT_EQ(waits, 1u);
    EXPECT_EQ(decoder->CurrentOutputIndex(), 1u);
}

// A surface that never frees up fails the frame after about 100 ms of
// waiting in total, without ending a frame that never began.
TEST_F(SubmitFixture, BusyForeverFailsAfterTheWholeWait)
{
    MakeDecoder();
    platform.pendingBeginFrames = -1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecodeH264(0), -3);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_GE(platform.beginFrameCalls, 10);   // about one attempt per 500 us
    EXPECT_EQ(errors, std::vector<int>{-3});
    EXPECT_EQ(log.count("decoder: failed to start decoding frame. hr = 0x8000000a"), 1u);
    EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 0u);
}

// A failure after begin still ends the frame, keeps the surfaces and gives -3
// once, whatever step failed.
TEST_F(SubmitFixture, FailuresAfterBeginEndTheFrame)
{
    struct Case {
        std::string name;
        std::function<void(fake::FakeVideoPlatform&)> spoil;
        std::string line = {};   // empty: nothing particular is logged
        std::vector<uint8_t> payload = {};   // empty: the next P access unit
    };
    std::vector<Case> cases;
    const std::pair<UINT, const char*> kBuffers[] = {{kBitstream, "BITSTREAM"},
                                                     {kSliceControl, "SLICE_CONTROL"},
                                                     {kPictureParameters, "PICTURE_PARAMETERS"},
                                                     {kMatrices, "INVERSE_QUANTIZATION_MATRIX"}};
    for (const auto& [bufferType, bufferName] : kBuffers) {
        for (bool get : {true, false}) {
            std::string line = std::string("decoder: failed ") + (get ? "Get" : "Release") +
                               "DecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_" + bufferName + " hr = 0x80004005";
            cases.push_back({line, [get, type = bufferType](fake::FakeVideoPlatform& p) {
                                 (get ? p.getBufferFailures : p.releaseBufferFailures)[type] = kResultFail;
                             }, line});
        }
    }
    cases.insert(cases.end(), {
        {"submit", [](fake::FakeVideoPlatform& p) { p.submit = kResultInvalidArgument; },
         "decoder: failed SubmitDecoderBuffers. hr = 0x80070057"},
        {"end", [](fake::FakeVideoPlatform& p) { p.endFrame = kResultFail; }, "decoder: failed DecoderEndFrame. hr = 0x80004005"},
        {"slice control full", [](fake::FakeVideoPlatform& p) { p.bufferSizes[kSliceControl] = 15; },
         "no more space in bitstream buffer"},
        {"parameter buffer too small", [](fake::FakeVideoPlatform& p) { p.bufferSizes[kPictureParameters] = 1000; }},
        {"slice header cut short", [](fake::FakeVideoPlatform&) {},
         "could not read the nal header (error: -1) for type: 1", {0, 0, 1, 0x41, 0x9A}},
    });
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        platform = fake::FakeVideoPlatform();
        platform.adapters = {fake::CapableAdapter()};
        errors.clear();
        MakeDecoder();
        ASSERT_GT(DecodeH264(0), 0);
        testCase.spoil(platform);
        log.clear();
        platform.calls.clear();
        EXPECT_EQ(DecodeH264(1, testCase.payload), -3);
        if (!testCase.line.empty()) {
            EXPECT_EQ(log.count(testCase.line), 1u);
        }
        EXPECT_EQ(errors, std::vector<int>{-3});
        EXPECT_EQ(platform.CallCount("DecoderEndFrame"), 1u);
        EXPECT_EQ(decoder->CurrentOutputIndex(), 1u);
        EXPECT_EQ(decoder->ReferenceOutputIndex(), 0u);
        decoder.reset();
        EXPECT_EQ(platform.liveObjects, 0);
    }
}

// H.265 parameter sets, the delimiter and SEI get no entries but stay in the
// bitstream; every slice segment gets a short entry.
TEST_F(SubmitFixture, HevcDescribesSliceSegmentsOnly)
{
    std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(kHevcStream, kCodecH265);
    ASSERT_EQ(units.size(), 3u);
    MakeDecoder();
    for (size_t index = 0; index < units.size(); ++index) {
        SCOPED_TRACE(index);
        std::unique_ptr<VideoFrame> frame =
            index == 0 ? SizedFrame(kCodecH265, 64, 48, units[0]) : UnsizedFrame(kCodecH265, units[index]);
        EXPECT_GT(decoder->Decode(frame), 0);
        const fake::Submission& submission = platform.submissions.back();
        EXPECT_EQ(submission.descriptions[2].DataSize, 232u);
        EXPECT_EQ(submission.descriptions[3].DataSize, 1000u);
        EXPECT_EQ(submission.descriptions[1].NumMBsInBuffer, 0u);
        const std::vector<uint8_t>& bits = submission.buffers.at(kBitstream);
        EXPECT_TRUE(std::equal(units[index].begin(), units[index].end(), bits.begin()));
        std::vector<size_t> starts = SliceStartCodes(units[index], kCodecH265);
        auto entries = Entries<DXVA_Slice_HEVC_Short>(submission);
        ASSERT_EQ(entries.size(), starts.size());
        for (size_t slice = 0; slice < starts.size(); ++slice)
            EXPECT_EQ(entries[slice].location, starts[slice]);
        // Unlike H.264, the pad is not added to the last slice.
        EXPECT_EQ(entries.back().location + entries.back().size, units[index].size());
    }
    EXPECT_TRUE(errors.empty());
}

}  // namespace
