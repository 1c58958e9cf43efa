#include "bench/video_frame.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva2_video_decoder.h"

using namespace platform;

int32_t DXVA2VideoDecoder::FillParameterBuffer(D3D11_VIDEO_DECODER_BUFFER_TYPE type, uint8_t codec, void* buffer,
                                               size_t size)
{
    DxvaSurfaceIndices surfaces = {m_CurrentOutputIndex, m_ReferenceOutputIndex};
    bool pictureParameters = type == D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS;
    if (codec == kCodecH264) {
        return pictureParameters
                   ? FillPictureParametersH264(*m_H264Stream, surfaces, H264Reference(), m_StatusReportCounter, buffer,
                                               size)
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

int32_t DXVA2VideoDecoder::FillH264SliceEntry(uint8_t* entry, size_t space, uint32_t location, uint32_t size)
{
    DxvaSurfaceIndices surfaces = {m_CurrentOutputIndex, m_ReferenceOutputIndex};
    return FillSliceControlH264(*m_H264Stream, surfaces, H264Reference(), entry, space, location, size);
}

DxvaH264Reference DXVA2VideoDecoder::H264Reference() const
{
    return {m_H264ReferenceFrameNum, m_H264Profile == kH264VendorProfileB};
}
