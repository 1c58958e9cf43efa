#include <iterator>
#include <cstring>
#include <string>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_objects.h"

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
    if (!descriptions || count != std::size(kRequiredTypes))
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
    if (submission.Size(D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX) != matrices)
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
        std::string name = "slice entry " + to_string(index);
        uint64_t end = uint64_t(entry.BSNALunitDataLocation) + entry.SliceBytesInBuffer;
        if (end > bitstreamBytes)
            return name + " (" + to_string(entry.BSNALunitDataLocation) + ", " + to_string(entry.SliceBytesInBuffer) +
                   " bytes) reaches past the bitstream of " + to_string(bitstreamBytes) + " bytes";
        if (entry.SliceBytesInBuffer < 4)
            return name + " is too short for a start code and a NAL header";
        const uint8_t* start = bitstream + entry.BSNALunitDataLocation;
        if (start[0] != 0 || start[1] != 0 || start[2] != 1)
            return name + " does not point at a 00 00 01 start code";
        if (!IsSliceNal(decoder.Codec(), start[3]))
            return name + " points at a NAL unit that is not a slice of the configured codec";
        if (longFormat)
            macroblocks += ReadRecord<DXVA_Slice_H264_Long>(entries + index * entrySize).NumMbsForSlice;
    }
    if (longFormat && macroblocks != pictureMacroblocks)
        return "slices cover " + to_string(macroblocks) + " macroblocks, the picture has " +
               to_string(pictureMacroblocks);
    return {};
}

// The current picture goes to the view given to begin; a predicted picture
// refers to the other surface, which must already hold a picture.
std::string CheckSurfaces(const SimulatedVideoDecoder& decoder, uint8_t current, bool predicted, uint8_t reference)
{
    const SimulatedOutputView& target = *decoder.m_Target;
    UINT targetSlice = target.m_Description.Texture2D.ArraySlice;
    if (current != targetSlice)
        return "CurrPic names surface " + to_string(current) + " but the frame was begun on surface " +
               to_string(targetSlice);
    if (!predicted)
        return {};
    if (reference == kEmptyPicEntry)
        return "predicted picture without a reference";
    uint8_t index = reference & 0x7F;
    const SimulatedTexture& texture = *target.m_Texture;
    if (index == targetSlice || index >= texture.m_PictureNumbers.size())
        return "reference names surface " + to_string(index) + ", not the other surface";
    if (texture.m_PictureNumbers[index] == 0)
        return "reference surface " + to_string(index) + " holds no earlier picture";
    return {};
}

std::string SizeMismatch(uint64_t width, uint64_t height, const D3D11_VIDEO_DECODER_DESC& description)
{
    if (width == description.SampleWidth && height == description.SampleHeight)
        return {};
    return "picture parameters give " + to_string(width) + "x" + to_string(height) + ", the decoder is configured for " +
           to_string(description.SampleWidth) + "x" + to_string(description.SampleHeight);
}

std::string CheckH264Picture(const Submission& submission)
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
        problem = CheckSurfaces(decoder, picture.CurrPic.Index7Bits, !picture.IntraPicFlag,
                                picture.RefFrameList[0].bPicEntry);
    if (problem.empty()) {
        size_t entrySize = decoder.LongSliceFormat() ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
        problem = CheckH264References(decoder, picture, submission.Data(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL),
                                      submission.Size(D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL) / entrySize,
                                      submission.Data(D3D11_VIDEO_DECODER_BUFFER_BITSTREAM));
    }
    return problem;
}

std::string CheckHevcPicture(const Submission& submission)
{
    const SimulatedVideoDecoder& decoder = submission.decoder;
    auto picture = ReadRecord<DXVA_PicParams_HEVC>(submission.Data(D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS));
    uint32_t minCodingBlock = 1u << ((picture.log2_min_luma_coding_block_size_minus3 + 3) & 31);
    std::string problem = SizeMismatch(uint64_t(picture.PicWidthInMinCbsY) * minCodingBlock,
                                       uint64_t(picture.PicHeightInMinCbsY) * minCodingBlock, decoder.m_Description);
    if (problem.empty())
        problem = CheckSliceEntries(submission, 0);
    if (problem.empty())
        problem = CheckSurfaces(decoder, picture.CurrPic.Index7Bits, !picture.IntraPicFlag,
                                picture.RefPicList[0].bPicEntry);
    return problem;
}

}  // namespace

std::string CheckSubmission(const SimulatedVideoDecoder& decoder, UINT bufferCount,
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
    if (problem.empty())
        problem = decoder.Codec() == kSimulatedCodecH264 ? CheckH264Picture(submission) : CheckHevcPicture(submission);
    return problem;
}

}  // namespace platform
