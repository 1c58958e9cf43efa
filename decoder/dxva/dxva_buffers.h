#pragma once

// Builders of the DXVA parameter buffers from the parser state after an
// access unit has been walked. Each writes one published structure into a
// buffer the driver handed out and returns the number of bytes written.
//
// A negative result means nothing was written: the buffer is missing or
// smaller than the structure, or the stream has no current parameter set
// for the picture. The cause is logged at error level.

#include <cstddef>
#include <cstdint>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/pictures/h264_picture_buffer.h"
#include "decoder/pictures/hevc_picture_buffer.h"

struct H264Stream;
struct HevcStream;

// statusReportCounter: the decoder's StatusReportFeedbackNumber source,
// shared by both codecs; it is advanced only when the buffer was filled.
// `references`: the picture's surface, order counts and reference frames, as
// the decoded picture buffer worked them out for the picture.
// `intelVendorMode`: Intel's vendor profile, whose RefPicList names surfaces
// instead of RefFrameList entries and whose Reserved16Bits takes that
// mode's value.
int32_t FillPictureParametersH264(const H264Stream& stream, const H264PictureReferences& references, bool intelVendorMode,
                                  uint32_t& statusReportCounter, void* buffer, size_t bufferSize);
int32_t FillQuantizationMatrixH264(const H264Stream& stream, void* buffer, size_t bufferSize);
// One long-format entry for the slice just parsed, with its reference lists
// `lists`; `location` and `size` describe the slice's bytes in the bitstream
// buffer. NumMbsForSlice is left 0 for the caller, which knows where the
// next slice starts.
int32_t FillSliceControlH264(const H264Stream& stream, const H264PictureReferences& references, const H264SliceLists& lists,
                             bool intelVendorMode, void* entry, size_t entrySpace, uint32_t location, uint32_t size);

// `references`: the picture's surface, order counts and reference sets, as
// the decoded picture buffer worked them out for the picture.
int32_t FillPictureParametersHevc(const HevcStream& stream, const HevcPictureReferences& references,
                                  uint32_t& statusReportCounter, void* buffer, size_t bufferSize);
int32_t FillQuantizationMatrixHevc(const HevcStream& stream, void* buffer, size_t bufferSize);

// The next StatusReportFeedbackNumber. Drivers read 0 as "no number", so
// numbering starts at 1 and skips 0 when the counter wraps.
inline uint32_t TakeStatusReportFeedbackNumber(uint32_t& counter)
{
    if (counter == 0)
        counter = 1;
    return counter++;
}

// A picture entry naming a surface; the flag bit stays clear.
inline uint8_t DxvaPicEntry(uint32_t surfaceIndex)
{
    return static_cast<uint8_t>(surfaceIndex & 0x7F);
}
