#include <algorithm>
#include <iterator>
#include <cstring>
#include <string>

#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_objects.h"
#include "decoder/platform/simulated/simulated_reference_checks.h"

// The checks a strict driver makes on one submission, each failing with a
// reason that names what is wrong.
namespace platform {

namespace {

using std::to_string;

constexpr uint8_t kEmptyPicEntry = 0xFF;
constexpr size_t kBitstreamAlignment = 128;

const D3D11_VIDEO_DECODER_BUFFER_TYPE kRequiredTypes[] = {
    D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL,
    D3D11_VIDEO_DECODER_BUFFER_BITSTREAM,
    D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS,
    D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX,
};

struct Submission {
    const SimulatedVideoDecoder& decoder;
    const D3D11_VIDEO_DECODER_BUFFER_DESC* byType[SimulatedVideoDecoder::kBufferTypes] = {};

    const uint8_t* Data(D3D11_VIDEO_DECODER_BUFFER_TYPE type) const { return decoder.m_Buffers[type].memory.data(); }
    bool Described(D3D11_VIDEO_DECODER_BUFFER_TYPE type) const { return byType[type] != nullptr; }
    UINT Size(D3D11_VIDEO_DECODER_BUFFER_TYPE type) const { return byType[type]->DataSize; }
};

template <typename Record>
Record ReadRecord(const uint8_t* data)
{
    Record record;
    std::memcpy(&record, data, sizeof(record));
    return record;
}

std::string CheckDescriptions(Submission& submission, UINT count, const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions)
{
    // H.265 leaves out the quantisation matrices when its scaling lists are
    // off; whether they are is checked against the SPS.
    bool hevc = submission.decoder.Codec() == kSimulatedCodecHevc;
    if (!descriptions || (count != std::size(kRequiredTypes) && !(hevc && count == std::size(kRequiredTypes) - 1)))
        return "expected 4 buffer descriptions, got " + to_string(count);
    for (UINT index = 0; index < count; ++index) {
        const D3D11_VIDEO_DECODER_BUFFER_DESC& description = descriptions[index];
        UINT type = description.BufferType;
        bool required = false;
        for (D3D11_VIDEO_DECODER_BUFFER_TYPE candidate : kRequiredTypes)
            required = required || candidate == type;
        if (!required)
            return "buffer type " + to_string(type) + " is not used by this decoder";
        if (submission.byType[type])
            return "buffer type " + to_string(type) + " described twice";
        submission.byType[type] = &description;
    }
    for (D3D11_VIDEO_DECODER_BUFFER_TYPE type : kRequiredTypes) {
        if (submission.decoder.m_Buffers[type].held)
            return "buffer type " + to_string(type) + " still held at submission";
    }
    for (D3D11_VIDEO_DECODER_BUFFER_TYPE type : kRequiredTypes) {
        const SimulatedVideoDecoder::Buffer& buffer = submission.decoder.m_Buffers[type];
        if (!submission.Described(type)) {
            if (type != D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX)
                return "buffer type " + to_string(type) + " not described";
            continue;
        }
        if (!buffer.used)
            return "buffer type " + to_string(type) + " was not obtained and released in this frame";
        if (submission.Size(type) > buffer.memory.size())
            return "buffer type " + to_string(type) + " DataSize " + to_string(submission.Size(type)) +
                   " beyond its buffer of " + to_string(buffer.memory.size()) + " bytes";
    }
    return {};
}

std::string CheckSizes(const Submission& submission)
{
    bool h264 = submission.decoder.Codec() == kSimulatedCodecH264;
    size_t pictureParameters = h264 ? sizeof(DXVA_PicParams_H264) : sizeof(DXVA_PicParams_HEVC);
    size_t matrices = h264 ? sizeof(DXVA_Qmatrix_H264) : sizeof(DXVA_Qmatrix_HEVC);
    if (submission.Size(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS) != pictureParameters)
        return "picture parameters of " + to_string(submission.Size(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS)) +
               " bytes, expected " + to_string(pictureParameters);
    if (submission.Described(D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX) &&
        submission.Size(D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX) != matrices)
        return "quantisation matrices of " +
               to_string(submission.Size(D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX)) +
               " bytes, expected " + to_string(matrices);

    size_t entrySize = submission.decoder.LongSliceFormat() ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
    UINT sliceBytes = submission.Size(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL);
    if (sliceBytes == 0)
        return "no slice-control entry";
    if (sliceBytes % entrySize != 0)
        return "slice control of " + to_string(sliceBytes) + " bytes is not a whole number of " +
               to_string(entrySize) + "-byte entries";
    UINT bitstreamBytes = submission.Size(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    if (bitstreamBytes == 0 || bitstreamBytes % kBitstreamAlignment != 0)
        return "bitstream size " + to_string(bitstreamBytes) + " is not a non-zero multiple of 128";
    return {};
}

bool IsSliceNal(uint8_t codec, uint8_t header)
{
    if (codec == kSimulatedCodecH264) {
        uint32_t type = header & 0x1F;
        return type >= 1 && type <= 5;
    }
    uint32_t type = (header >> 1) & 0x3F;
    return type <= 9 || (type >= 16 && type <= 21);
}

// Every entry must describe a start code and a slice NAL unit inside the
// bitstream; long H.264 entries must cover the picture's macroblocks.
std::string CheckSliceEntries(const Submission& submission, uint32_t pictureMacroblocks)
{
    const SimulatedVideoDecoder& decoder = submission.decoder;
    const uint8_t* entries = submission.Data(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL);
    const uint8_t* bitstream = submission.Data(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    UINT bitstreamBytes = submission.Size(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    bool longFormat = decoder.LongSliceFormat();
    size_t entrySize = longFormat ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
    size_t count = submission.Size(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL) / entrySize;
    uint32_t macroblocks = 0;
    for (size_t index = 0; index < count; ++index) {
        auto entry = ReadRecord<DXVA_Slice_H264_Short>(entries + index * entrySize);
        uint64_t end = uint64_t(entry.BSNALunitDataLocation) + entry.SliceBytesInBuffer;
        if (end > bitstreamBytes)
            return SliceEntryName(index) + " (" + to_string(entry.BSNALunitDataLocation) + ", " +
                   to_string(entry.SliceBytesInBuffer) + " bytes) reaches past the bitstream of " +
                   to_string(bitstreamBytes) + " bytes";
        if (entry.SliceBytesInBuffer < 4)
            return SliceEntryName(index) + " is too short for a start code and a NAL header";
        const uint8_t* start = bitstream + entry.BSNALunitDataLocation;
        if (start[0] != 0 || start[1] != 0 || start[2] != 1)
            return SliceEntryName(index) + " does not point at a 00 00 01 start code";
        if (!IsSliceNal(decoder.Codec(), start[3]))
            return SliceEntryName(index) + " points at a NAL unit that is not a slice of the configured codec";
        if (longFormat)
            macroblocks += ReadRecord<DXVA_Slice_H264_Long>(entries + index * entrySize).NumMbsForSlice;
    }
    if (longFormat && macroblocks != pictureMacroblocks)
        return "slices cover " + to_string(macroblocks) + " macroblocks, the picture has " +
               to_string(pictureMacroblocks);
    return {};
}

// The current picture goes to the view given to begin, which DXVA's seven
// bits can name.
std::string CheckCurrentSurface(const SimulatedVideoDecoder& decoder, uint8_t current)
{
    UINT targetSlice = decoder.m_Target->m_Description.Texture2D.ArraySlice;
    if (current != targetSlice)
        return "CurrPic names surface " + to_string(current) + " but the frame was begun on surface " +
               to_string(targetSlice);
    return {};
}

std::string SizeMismatch(uint64_t width, uint64_t height, const D3D11_VIDEO_DECODER_DESC& description)
{
    if (width == description.SampleWidth && height == description.SampleHeight)
        return {};
    return "picture parameters give " + to_string(width) + "x" + to_string(height) + ", the decoder is configured for " +
           to_string(description.SampleWidth) + "x" + to_string(description.SampleHeight);
}

std::string CheckH264Picture(const Submission& submission, SimulatedPendingPicture& pending)
{
    const SimulatedVideoDecoder& decoder = submission.decoder;
    auto picture = ReadRecord<DXVA_PicParams_H264>(submission.Data(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS));
    uint32_t widthInMbs = picture.wFrameWidthInMbsMinus1 + 1u;
    uint32_t heightInMapUnits = picture.wFrameHeightInMbsMinus1 + 1u;
    uint32_t frameHeightInMbs = heightInMapUnits * (2 - picture.frame_mbs_only_flag);
    std::string problem = SizeMismatch(uint64_t(widthInMbs) * 16, uint64_t(frameHeightInMbs) * 16, decoder.m_Description);
    if (problem.empty()) {
        uint32_t pictureMacroblocks = widthInMbs * frameHeightInMbs / (picture.field_pic_flag ? 2 : 1);
        problem = CheckSliceEntries(submission, pictureMacroblocks);
    }
    if (problem.empty())
        problem = CheckCurrentSurface(decoder, picture.CurrPic.Index7Bits);
    if (problem.empty()) {
        size_t entrySize = decoder.LongSliceFormat() ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
        problem = CheckH264References(decoder, picture, submission.Data(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL),
                                      submission.Size(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL) / entrySize,
                                      submission.Data(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM), pending);
    }
    return problem;
}

// The picture order count of the H.265 standard (clause 8.3.1): the low
// bits come with the slice, the high ones follow the previous picture of
// sub-layer 0 that is neither a leading nor a sub-layer non-reference picture.
int32_t HevcPicOrderCnt(const SimulatedVideoDecoder::HevcHeaders& hevc, const HevcStream& stream)
{
    const uint32_t type = stream.nal->nal_unit_type;
    const bool idr = type == 19 || type == 20;
    const int32_t lsb = idr ? 0 : static_cast<int32_t>(stream.sh->slice_pic_order_cnt_lsb);
    // IDR and BLA pictures, and a CRA that starts the sequence, have no high part.
    if (type >= 16 && type <= 23 && (type != 21 || hevc.sequenceStart))
        return lsb;
    const int32_t maxLsb = 1 << std::min(stream.sps->log2_max_pic_order_cnt_lsb_minus4 + 4, 16u);
    const int32_t prevLsb = hevc.prevTid0PicOrderCnt & (maxLsb - 1);
    int32_t msb = hevc.prevTid0PicOrderCnt - prevLsb;
    if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
        msb += maxLsb;
    else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
        msb -= maxLsb;
    return msb + lsb;
}

// Reads the parameter sets in front of the first slice and that slice's
// header into the device's own parser state; `endsBefore` tells whether an
// end of sequence came in front of it.
std::string ReadHevcHeaders(const Submission& submission, HevcStream& stream, bool& endsBefore)
{
    endsBefore = false;
    const uint8_t* bitstream = submission.Data(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    auto first = ReadRecord<DXVA_Slice_HEVC_Short>(submission.Data(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL));
    size_t offset = 0;
    uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
    while (offset < first.BSNALunitDataLocation &&
           FindNalUnit(bitstream + offset, first.BSNALunitDataLocation - offset, nalStart, nalEnd, startCodeLength) > 0) {
        const uint8_t* nal = bitstream + offset + nalStart;
        uint32_t type = (nal[0] >> 1) & 0x3F;
        if (type >= 32 && type <= 34 && ParseHevcNal(&stream, nal, nalEnd - nalStart) < 0)
            return "parameter set of type " + to_string(type) + " does not parse";
        endsBefore = endsBefore || IsHevcEndOfSequence(type);
        offset += nalEnd;
    }
    const uint32_t kStartCode = 3;
    if (ParseHevcNal(&stream, bitstream + first.BSNALunitDataLocation + kStartCode, first.SliceBytesInBuffer - kStartCode) < 0 ||
        !stream.sps || !stream.pps)
        return "the first slice header does not parse";
    if (!stream.sh->first_slice_segment_in_pic_flag)
        return "the first slice entry is not the picture's first slice segment";
    return {};
}

// A decoder may take any CRA as the start of a new bitstream (HandleCraAsBlaFlag,
// set from outside the stream, clause 8.1.3), as one does that starts a
// stream over: the CRA then comes with no references and an order count of
// its low bits alone.
bool OpensBitstream(const DXVA_PicParams_HEVC& picture, const HevcStream& stream)
{
    if (stream.nal->nal_unit_type != 21 || picture.CurrPicOrderCntVal != static_cast<int32_t>(stream.sh->slice_pic_order_cnt_lsb))
        return false;
    for (const auto& entry : picture.RefPicList) {
        if (entry.bPicEntry != kEmptyPicEntry)
            return false;
    }
    return true;
}

// Whether an end-of-sequence NAL unit follows the picture's last slice: the
// picture after it then opens a new sequence.
bool EndsSequence(const Submission& submission)
{
    const UINT entries = submission.Size(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL) / sizeof(DXVA_Slice_HEVC_Short);
    if (entries == 0)
        return false;
    auto last = ReadRecord<DXVA_Slice_HEVC_Short>(submission.Data(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL) +
                                                  (entries - 1) * sizeof(DXVA_Slice_HEVC_Short));
    const uint8_t* bitstream = submission.Data(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    const uint8_t* end = bitstream + submission.Size(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    const uint64_t after = uint64_t{last.BSNALunitDataLocation} + last.SliceBytesInBuffer;
    if (after >= static_cast<uint64_t>(end - bitstream))
        return false;
    uint32_t startCodeLength = 0;
    for (const uint8_t* nal = FindStartCode(bitstream + after, end, startCodeLength); nal < end;
         nal = FindStartCode(nal, end, startCodeLength)) {
        if (IsHevcEndOfSequence((nal[0] >> 1) & 0x3F))
            return true;
    }
    return false;
}

// Order counts, reference sets and surfaces against what the device read
// from the headers and what it wrote into each surface.
std::string CheckHevcReferences(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_HEVC& picture,
                                const HevcStream& stream, int32_t picOrderCnt)
{
    if (picture.CurrPicOrderCntVal != picOrderCnt)
        return "CurrPicOrderCntVal " + to_string(picture.CurrPicOrderCntVal) + ", the slice header gives " +
               to_string(picOrderCnt);
    const SimulatedTexture& texture = *decoder.m_Target->m_Texture;
    const UINT target = decoder.m_Target->m_Description.Texture2D.ArraySlice;
    for (uint32_t i = 0; i < 15; ++i) {
        uint8_t entry = picture.RefPicList[i].bPicEntry;
        if (entry == kEmptyPicEntry)
            continue;
        uint32_t surface = entry & 0x7F;
        auto name = [i] { return ListEntryName("RefPicList", i); };
        if (surface == target)
            return name() + " names surface " + to_string(surface) + ", the one being written";
        if (surface >= texture.m_PictureNumbers.size() || texture.m_PictureNumbers[surface] == 0)
            return name() + " names surface " + to_string(surface) + ", which holds no picture";
        if (texture.m_PicOrderCnts[surface] != picture.PicOrderCntValList[i])
            return name() + " names surface " + to_string(surface) + ", which holds picture " +
                   to_string(texture.m_PicOrderCnts[surface]) + ", not " + to_string(picture.PicOrderCntValList[i]);
    }

    const HevcSliceHeader& sh = *stream.sh;
    const HevcStRefPicSet& set = sh.stRefPicSet;
    int32_t before[32] = {}, after[32] = {};
    uint32_t beforeCount = 0, afterCount = 0;
    for (uint32_t i = 0; i < set.NumNegativePics; ++i) {
        if (set.UsedByCurrPicS0[i])
            before[beforeCount++] = picOrderCnt + set.DeltaPocS0[i];
    }
    for (uint32_t i = 0; i < set.NumPositivePics; ++i) {
        if (set.UsedByCurrPicS1[i])
            after[afterCount++] = picOrderCnt + set.DeltaPocS1[i];
    }
    auto check = [&picture](const char* name, const uint8_t* set, const int32_t* wanted, uint32_t count) {
        return CheckHevcSet(
            picture, name, set, std::min(count, 8u), [wanted](uint32_t i, int32_t poc) { return poc == wanted[i]; },
            [wanted](uint32_t i) { return "the slice header names picture " + to_string(wanted[i]); });
    };
    std::string problem = check("RefPicSetStCurrBefore", picture.RefPicSetStCurrBefore, before, beforeCount);
    if (problem.empty())
        problem = check("RefPicSetStCurrAfter", picture.RefPicSetStCurrAfter, after, afterCount);
    return problem;
}

// Hardware that parses the slice header itself skips the slice's own set by
// its length, and a predicted set needs the size of the set it refers to.
std::string CheckHevcSliceSetFields(const DXVA_PicParams_HEVC& picture, const HevcStream& stream)
{
    const HevcSliceHeader& sh = *stream.sh;
    const HevcSps& sps = *stream.sps;
    const uint32_t type = stream.nal->nal_unit_type;
    const bool ownSet = type != 19 && type != 20 && !sh.short_term_ref_pic_set_sps_flag;
    const uint64_t bits = ownSet ? sps.stRps.numBitsStRps : 0;
    if (picture.wNumBitsForShortTermRPSInSlice != bits)
        return "wNumBitsForShortTermRPSInSlice " + to_string(picture.wNumBitsForShortTermRPSInSlice) +
               ", the slice's own set takes " + to_string(bits) + " bits";
    uint32_t refDeltaPocs = 0;
    if (ownSet && sps.stRps.inter_ref_pic_set_prediction_flag) {
        uint32_t refRpsIdx = sps.num_short_term_ref_pic_sets - (sps.stRps.delta_idx_minus1 + 1);
        const HevcStRefPicSet& ref = sps.stRefPicSets[refRpsIdx % kHevcMaxShortTermRefPicSets];
        refDeltaPocs = ref.NumNegativePics + ref.NumPositivePics;
    }
    if (picture.ucNumDeltaPocsOfRefRpsIdx != refDeltaPocs)
        return "ucNumDeltaPocsOfRefRpsIdx " + to_string(picture.ucNumDeltaPocsOfRefRpsIdx) +
               ", the set the slice predicts from has " + to_string(refDeltaPocs) + " pictures";
    return {};
}

std::string CheckHevcPicture(const Submission& submission, SimulatedVideoDecoder::HevcHeaders& hevc,
                             SimulatedPendingPicture& pending)
{
    const SimulatedVideoDecoder& decoder = submission.decoder;
    auto picture = ReadRecord<DXVA_PicParams_HEVC>(submission.Data(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS));
    uint32_t minCodingBlock = 1u << ((picture.log2_min_luma_coding_block_size_minus3 + 3) & 31);
    std::string problem = SizeMismatch(uint64_t(picture.PicWidthInMinCbsY) * minCodingBlock,
                                       uint64_t(picture.PicHeightInMinCbsY) * minCodingBlock, decoder.m_Description);
    if (problem.empty())
        problem = CheckSliceEntries(submission, 0);
    if (problem.empty())
        problem = CheckCurrentSurface(decoder, picture.CurrPic.Index7Bits);
    if (!problem.empty())
        return problem;
    if (!hevc.stream)
        return "no memory for the device's header parser";
    HevcStream& stream = *hevc.stream;
    bool endsBefore = false;
    problem = ReadHevcHeaders(submission, stream, endsBefore);
    if (!problem.empty())
        return problem;
    if (endsBefore || OpensBitstream(picture, stream))
        hevc.sequenceStart = true;
    const bool matrices = submission.Described(D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX);
    if (matrices != (stream.sps->scaling_list_enabled_flag != 0))
        return matrices ? "quantisation matrices submitted while scaling_list_enabled_flag is 0"
                        : "no quantisation matrices while scaling_list_enabled_flag is 1";
    // slice_type 0 is B: a driver told there is no bi-prediction may skip it.
    if (picture.NoBiPredFlag && stream.sh->slice_type == 0)
        return "NoBiPredFlag 1 on a picture whose first slice is a B slice";
    const int32_t picOrderCnt = HevcPicOrderCnt(hevc, stream);
    problem = CheckHevcReferences(decoder, picture, stream, picOrderCnt);
    const uint32_t type = stream.nal->nal_unit_type;
    // IDR and BLA pictures, and a CRA that starts the sequence, let every reference go.
    const bool clearsReferences = type >= 16 && type <= 21 && (type != 21 || hevc.sequenceStart);
    if (problem.empty())
        problem = CheckHevcHeldReferences(decoder, picture, stream, picOrderCnt, clearsReferences, pending);
    if (problem.empty())
        problem = CheckHevcSliceSetFields(picture, stream);
    if (!problem.empty())
        return problem;
    // Kept for the end of the frame, which writes the picture into its surface.
    hevc.picOrderCnt = picOrderCnt;
    hevc.endsSequence = EndsSequence(submission);
    hevc.tid0Anchor = stream.nal->nuh_temporal_id_plus1 == 1 && !(type >= 6 && type <= 9) && !(type <= 14 && type % 2 == 0);
    return {};
}

}  // namespace

std::string CheckSubmission(SimulatedVideoDecoder& decoder, UINT bufferCount,
                            const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions)
{
    Submission submission{decoder};
    std::string problem = CheckDescriptions(submission, bufferCount, descriptions);
    if (problem.empty())
        problem = CheckSizes(submission);
    // Drivers match status reports to pictures by this number; 0 names none.
    if (problem.empty()) {
        const uint8_t* picture = submission.Data(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS);
        uint32_t feedback = decoder.Codec() == kSimulatedCodecH264
                                ? ReadRecord<DXVA_PicParams_H264>(picture).StatusReportFeedbackNumber
                                : ReadRecord<DXVA_PicParams_HEVC>(picture).StatusReportFeedbackNumber;
        if (feedback == 0)
            problem = "StatusReportFeedbackNumber 0";
    }
    // Frame end keeps an accepted submission whatever comes between, so the
    // device's record moves on here.
    SimulatedPendingPicture pending;
    if (problem.empty())
        problem = decoder.Codec() == kSimulatedCodecH264 ? CheckH264Picture(submission, pending)
                                                         : CheckHevcPicture(submission, decoder.m_Hevc, pending);
    if (problem.empty()) {
        decoder.m_References.surfaces[pending.surface] = pending.record;
        decoder.m_References.h264 = pending.h264;
        decoder.m_References.hevc = pending.hevc;
    }
    return problem;
}

}  // namespace platform
