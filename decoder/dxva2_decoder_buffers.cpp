#include "bench/video_frame.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva2_video_decoder.h"

using namespace platform;

int32_t DXVA2VideoDecoder::FillParameterBuffer(D3D11_VIDEO_DECODER_BUFFER_TYPE type, uint8_t codec, void* buffer,
                                               size_t size)
{
    bool pictureParameters = type == D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS;
    if (codec == kCodecH264) {
        return pictureParameters ? FillPictureParametersH264(*m_H264Stream, m_H264Pictures.Current(), H264VendorMode(),
                                                             m_StatusReportCounter, buffer, size)
                                 : FillQuantizationMatrixH264(*m_H264Stream, buffer, size);
    }
    if (codec == kCodecH265) {
        return pictureParameters
                   ? FillPictureParametersHevc(*m_HevcStream, m_HevcPictures.Current(), m_StatusReportCounter, buffer, size)
                   : FillQuantizationMatrixHevc(*m_HevcStream, buffer, size);
    }
    // Another codec has no parameter structures: the buffer goes out empty.
    return 0;
}

// The slice's lists come from the frames its picture started with.
int32_t DXVA2VideoDecoder::FillH264SliceEntry(uint8_t* entry, size_t space, uint32_t location, uint32_t size)
{
    H264SliceLists lists;
    if (!m_H264Pictures.BuildSliceLists(*m_H264Stream, lists))
        return -1;
    return FillSliceControlH264(*m_H264Stream, m_H264Pictures.Current(), lists, H264VendorMode(), entry, space, location,
                                size);
}

bool DXVA2VideoDecoder::H264VendorMode() const
{
    return m_H264Profile == kH264VendorProfileB;
}
