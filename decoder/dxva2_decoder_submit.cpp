#include <algorithm>
#include <cstring>
#include <iterator>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"
#include "bitstream/start_code_scan.h"
#include "decoder/dxva/dxva_dump_writer.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/dxva2_video_decoder.h"
#include "logging/spdlog_logger.h"

using namespace platform;

namespace {

constexpr int64_t kBusyWaitStepUs = 500;
constexpr int64_t kBusyWaitLimitUs = 100000;
// Enough of an H.264 slice for its header.
constexpr uint32_t kH264SliceHeaderBytes = 104;
constexpr size_t kBitstreamAlignment = 128;
constexpr size_t kShortSliceEntrySize = sizeof(DXVA_Slice_H264_Short);
constexpr size_t kLongSliceEntrySize = sizeof(DXVA_Slice_H264_Long);
// Slice-control locations and sizes cover a three-byte start code before the NAL unit.
constexpr uint32_t kStartCodeBytes = 3;

bool IsHevcSliceType(uint32_t type) { return type <= 9 || (type >= 16 && type <= 21); }

}  // namespace

// Everything one Decode call holds between begin and end of the frame.
struct DXVA2VideoDecoder::SubmitState {
    uint8_t codec = kNoCodec;
    int64_t result = 0;
    uint8_t* bitstream = nullptr;      // B
    size_t bitstreamCapacity = 0;      // K
    // The same bytes as [B, E) in host memory: the walk reads these, since
    // the hardware's buffer may be write-combined and slow to read.
    const uint8_t* source = nullptr;
    const uint8_t* sourceEnd = nullptr;
    uint8_t* position = nullptr;       // P, end of the bitstream handed to the hardware
    uint8_t* sliceControl = nullptr;   // S
    size_t sliceCapacity = 0;          // Z
    uint8_t* sliceCursor = nullptr;    // W
    uint8_t* lastSliceEntry = nullptr; // H.264 entry the alignment fill extends
    uint32_t macroblocks = 0;          // M
    bool hevcPictureStarted = false;   // the picture buffer knows the picture's references
    bool h264PictureStarted = false;   // likewise, from the picture's first slice
    bool hevcEndOfSequence = false;    // an end-of-sequence NAL unit came with the picture
    D3D11_VIDEO_DECODER_BUFFER_DESC descriptions[16] = {};
    // Buffers got and not yet given back, by type: the frame must not end
    // while the driver still lends one.
    bool held[D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN + 1] = {};
};

int64_t DXVA2VideoDecoder::Prepare(VideoFrame& video)
{
    // Without a device there is nothing to configure: the frame fails at begin.
    // Only a frame with a picture size (an SPS) can change the set-up.
    if (!m_Initialized || video.width == 0 || video.height == 0)
        return 0;
    const SequenceNeeds needs = ReadSequence(video);
    const std::optional<DecoderSetup> setup = SetupFor(video.codec, needs.format);
    if (!setup)
        return kReconfigureFailed;
    // A later sequence of the same size may keep more pictures than the surfaces hold.
    uint32_t& configured = video.codec == kCodecH265 ? m_HevcSurfaceCount : m_H264SurfaceCount;
    if (video.width != m_Width || video.height != m_Height || video.codec != m_Codec || *setup != m_Setup ||
        (needs.surfaces && *needs.surfaces > configured)) {
        m_Setup = *setup;
        m_CodedWidth = video.codedWidth;
        m_CodedHeight = video.codedHeight;
        // Without an SPS, as many as any stream of the codec may need.
        configured = needs.surfaces.value_or(video.codec == kCodecH265 ? HevcPictureBuffer::kMaxSurfaces
                                                                       : H264PictureBuffer::kMaxSurfaces);
        if (Failed(ConfigureDecoder(video.codec))) {
            if (m_ErrorCallback)
                m_ErrorCallback(static_cast<int>(kReconfigureFailed));
            return kReconfigureFailed;
        }
        m_Width = video.width;
        m_Height = video.height;
        m_Codec = video.codec;
        if (m_OutputChangedCallback)
            m_OutputChangedCallback(video.width, video.height, 1.0f, video.fps);
    }
    return 0;
}

int64_t DXVA2VideoDecoder::Decode(std::unique_ptr<VideoFrame>& frame)
{
    if (!frame) {
        g_Logger.Log(LogLevel::error, "decoder: no frame to decode");
        if (m_ErrorCallback)
            m_ErrorCallback(static_cast<int>(kDecodeSubmitFailed));
        return kDecodeSubmitFailed;
    }

    VideoFrame& video = *frame;
    int64_t prepared = Prepare(video);
    if (prepared < 0)
        return prepared;
    return SubmitFrame(video);
}

int64_t DXVA2VideoDecoder::ElapsedMicroseconds(int64_t start)
{
    int64_t now = 0;
    m_Platform.QueryPerformanceCounter(&now);
    return (now - start) * 1000000 / m_CounterFrequency;
}

// Starts the frame on the current surface, waiting while the hardware still
// holds it. The limit covers the whole wait, so a surface that never frees up
// fails the frame instead of hanging the benchmark.
platform::HRESULT DXVA2VideoDecoder::BeginFrame()
{
    // Without a successful Init and a configured decoder there is nothing to begin on.
    if (!m_Initialized || !m_VideoContext || !m_VideoDecoder || m_CounterFrequency <= 0 ||
        m_CurrentOutputIndex >= m_OutputViews.size() || !m_OutputViews[m_CurrentOutputIndex]) {
        return kResultPointer;
    }

    ID3D11VideoDecoderOutputView* view = m_OutputViews[m_CurrentOutputIndex];
    int retries = 0;
    int64_t waitStart = 0;
    int64_t elapsed = 0;
    platform::HRESULT result = kResultOk;
    for (;;) {
        result = m_VideoContext->DecoderBeginFrame(m_VideoDecoder, view, 0, nullptr);
        // Drivers report a surface still in use either way.
        if (result != kResultPending && result != kResultWasStillDrawing)
            break;
        ++retries;
        int64_t stepStart = 0;
        m_Platform.QueryPerformanceCounter(&stepStart);
        if (retries == 1)
            waitStart = stepStart;
        // Spin rather than sleep: a sleep's granularity dwarfs the step.
        while (ElapsedMicroseconds(stepStart) < kBusyWaitStepUs) {
        }
        elapsed = ElapsedMicroseconds(waitStart);
        if (elapsed >= kBusyWaitLimitUs)
            break;
    }
    if (!Failed(result) && retries > 0) {
        g_Logger.Log(LogLevel::info, "decoder: had to wait for DecoderBeginFrame %d times (~%d us)", retries, elapsed);
        if (m_ErrorCallback)
            m_ErrorCallback(static_cast<int>(kDecoderWasBusy));
    }
    return result;
}

int64_t DXVA2VideoDecoder::SubmitFrame(VideoFrame& frame)
{
    // A leading picture whose references came before the stream began is
    // not decoded, as the standard has a decoder do; that is no failure.
    if (m_Codec == kCodecH265 && SkipsHevcPicture(frame))
        return 0;
    // A picture goes into a surface no kept picture holds.
    const bool noSurface = m_VideoDecoder && ((m_Codec == kCodecH265 && !m_HevcPictures.FindFreeSurface(m_CurrentOutputIndex)) ||
                                              (m_Codec == kCodecH264 && !m_H264Pictures.FindFreeSurface(m_CurrentOutputIndex)));
    if (noSurface) {
        g_Logger.Log(LogLevel::error, "decoder: no free surface for the next %s picture (%d surfaces)",
                     m_Codec == kCodecH265 ? "hevc" : "h264",
                     m_Codec == kCodecH265 ? m_HevcPictures.SurfaceCount() : m_H264Pictures.SurfaceCount());
        if (m_ErrorCallback)
            m_ErrorCallback(static_cast<int>(kDecodeSubmitFailed));
        return kDecodeSubmitFailed;
    }
    platform::HRESULT begin = BeginFrame();
    if (Failed(begin)) {
        g_Logger.Log(LogLevel::error, "decoder: failed to start decoding frame. hr = 0x%x", HresultBits(begin));
        if (m_ErrorCallback)
            m_ErrorCallback(static_cast<int>(kDecodeSubmitFailed));
        return kDecodeSubmitFailed;
    }

    // From here on every exit ends the frame.
    SubmitState state;
    state.codec = m_Codec;
    bool submitted = FillBitstream(state, frame) && WalkNalUnits(state);
    // Without its first slice segment the picture has no reference set, and
    // the picture parameters would describe the previous picture instead.
    if (submitted && state.codec == kCodecH265 && !state.hevcPictureStarted) {
        g_Logger.Log(LogLevel::error, "decoder: hevc access unit without the first slice segment of a picture");
        submitted = false;
    }
    if (submitted && state.codec == kCodecH264 && !state.h264PictureStarted) {
        g_Logger.Log(LogLevel::error, "decoder: h264 access unit without a slice");
        submitted = false;
    }
    if (submitted) {
        FinishH264Slices(state);
        FillAlignment(state);
        submitted = ReleaseSliceAndBitstream(state) && SubmitParameterBuffers(state);
    }
    int64_t result = submitted ? state.result : kDecodeSubmitFailed;

    // A failed step may leave buffers out; the failure is already logged.
    for (UINT type = 0; type < std::size(state.held); ++type) {
        if (state.held[type])
            ReleaseBuffer(state, static_cast<D3D11_VIDEO_DECODER_BUFFER_TYPE>(type));
    }
    platform::HRESULT end = m_VideoContext->DecoderEndFrame(m_VideoDecoder);
    if (Failed(end)) {
        g_Logger.Log(LogLevel::error, "decoder: failed DecoderEndFrame. hr = 0x%x", HresultBits(end));
        result = kDecodeSubmitFailed;
    }

    if (result > 0) {
        if (state.hevcPictureStarted)
            m_HevcPictures.FinishPicture();
        if (state.h264PictureStarted)
            m_H264Pictures.FinishPicture();
        // The next picture's surface is chosen when it comes.
        m_ReferenceOutputIndex = m_CurrentOutputIndex;
    }
    // Whatever became of the picture, what follows starts a new sequence.
    if (state.hevcEndOfSequence)
        m_HevcPictures.EndSequence();
    if (result < 0 && m_ErrorCallback)
        m_ErrorCallback(static_cast<int>(result));
    return result;
}

platform::HRESULT DXVA2VideoDecoder::GetBuffer(SubmitState& state, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* size,
                                               void** buffer)
{
    platform::HRESULT result = m_VideoContext->GetDecoderBuffer(m_VideoDecoder, type, size, buffer);
    // A driver that succeeds without memory still lends the buffer.
    state.held[type] = !Failed(result);
    return result;
}

// One attempt per buffer: a driver that refuses the release once is not asked again.
platform::HRESULT DXVA2VideoDecoder::ReleaseBuffer(SubmitState& state, D3D11_VIDEO_DECODER_BUFFER_TYPE type)
{
    state.held[type] = false;
    return m_VideoContext->ReleaseDecoderBuffer(m_VideoDecoder, type);
}

// Copies the access unit straight into the hardware bitstream buffer and
// takes the slice-control buffer the NAL walk writes into.
bool DXVA2VideoDecoder::FillBitstream(SubmitState& state, VideoFrame& frame)
{
    UINT size = 0;
    void* buffer = nullptr;
    platform::HRESULT result = GetBuffer(state, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, &size, &buffer);
    if (Failed(result) || !buffer) {
        g_Logger.Log(LogLevel::error, "decoder: failed GetDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_BITSTREAM hr = 0x%x",
                     HresultBits(Failed(result) ? result : kResultPointer));
        return false;
    }
    state.bitstream = static_cast<uint8_t*>(buffer);
    state.bitstreamCapacity = size;

    if (frame.DataSize() > state.bitstreamCapacity)
        g_Logger.Log(LogLevel::error, "decoder: could not write full iframe into buffer");
    // The copy finds the start codes on its way, so the NAL walk reads
    // neither the hardware's buffer nor the frame a second time.
    const uint8_t* source = frame.Payload();
    int64_t copied = 0;
    if (source) {
        copied = static_cast<int64_t>(std::min(frame.DataSize(), state.bitstreamCapacity));
    } else {
        if (m_HostPayload.size() < state.bitstreamCapacity)
            m_HostPayload.resize(state.bitstreamCapacity);
        copied = frame.CopyData(m_HostPayload.data(), state.bitstreamCapacity);
        source = m_HostPayload.data();
    }
    if (copied < 0 || static_cast<uint64_t>(copied) > state.bitstreamCapacity) {
        g_Logger.Log(LogLevel::error, "decoder: error while writing frame to buffer");
        return false;
    }
    m_StartCodes.clear();
    CopyFindingStartCodes(state.bitstream, source, static_cast<size_t>(copied), m_StartCodes);
    state.result = copied;
    state.source = source;
    state.sourceEnd = source + copied;
    state.position = state.bitstream;

    size = 0;
    buffer = nullptr;
    result = GetBuffer(state, D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL, &size, &buffer);
    if (Failed(result) || !buffer) {
        g_Logger.Log(LogLevel::error,
                     "decoder: failed GetDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL hr = 0x%x",
                     HresultBits(Failed(result) ? result : kResultPointer));
        return false;
    }
    state.sliceControl = static_cast<uint8_t*>(buffer);
    state.sliceCapacity = size;
    state.sliceCursor = state.sliceControl;
    return true;
}

bool DXVA2VideoDecoder::WalkNalUnits(SubmitState& state)
{
    if (state.codec != kCodecH264 && state.codec != kCodecH265)
        return true;
    if ((state.codec == kCodecH264 && !m_H264Stream) || (state.codec == kCodecH265 && !m_HevcStream)) {
        g_Logger.Log(LogLevel::error, "decoder: no parser state for codec %d", state.codec);
        return false;
    }
    size_t size = static_cast<size_t>(state.sourceEnd - state.source);
    size_t walked = 0;
    size_t nextStartCode = 0;
    for (;;) {
        uint32_t nalStart = 0;
        uint32_t nalEnd = 0;
        uint32_t startCodeLength = 0;
        if (FindNalUnitInIndex(state.source, size, walked, m_StartCodes, nextStartCode, nalStart, nalEnd,
                               startCodeLength) < 1)
            return true;
        const uint8_t* nal = state.source + nalStart;
        uint32_t length = nalEnd - nalStart;
        bool handled = state.codec == kCodecH264 ? WalkH264Nal(state, nal, length) : WalkHevcNal(state, nal, length);
        if (!handled)
            return false;
        walked = nalEnd;
        state.position = state.bitstream + walked;
    }
}

bool DXVA2VideoDecoder::WalkH264Nal(SubmitState& state, const uint8_t* nal, uint32_t length)
{
    uint32_t type = nal[0] & 0x1F;
    if (type == 1 || type == 5) {
        int32_t parsed = ParseH264Nal(m_H264Stream, nal, std::min(length - 1, kH264SliceHeaderBytes));
        if (parsed < 0) {
            g_Logger.Log(LogLevel::error, "could not read the nal header (error: %d) for type: %d", parsed,
                         m_H264Stream->nal->nal_unit_type);
            return false;
        }
        state.result = parsed;
        // The first slice starts the picture in the buffer: order counts,
        // references and marking come from its header.
        if (!state.h264PictureStarted) {
            if (!m_H264Pictures.StartPicture(*m_H264Stream, m_CurrentOutputIndex))
                return false;
            state.h264PictureStarted = true;
        }
        uint32_t location = static_cast<uint32_t>(nal - state.source) - kStartCodeBytes;
        return WriteH264SliceEntry(state, location, length + kStartCodeBytes);
    }
    if (type == 7 || type == 8) {
        int32_t parsed = ParseH264Nal(m_H264Stream, nal, length);
        if (parsed < 0) {
            g_Logger.Log(LogLevel::error,
                         type == 7 ? "decoder: could not read the nal header (error: %d) for type: %d"
                                   : "could not read the nal header (error: %d) for type: %d",
                         parsed, m_H264Stream->nal->nal_unit_type);
            return false;
        }
        state.result = parsed;
    }
    return true;
}

bool DXVA2VideoDecoder::WriteH264SliceEntry(SubmitState& state, uint32_t location, uint32_t size)
{
    size_t remaining = static_cast<size_t>(state.sliceControl + state.sliceCapacity - state.sliceCursor);
    bool fits = m_ShortSliceFormat ? remaining > kShortSliceEntrySize : remaining >= kLongSliceEntrySize;
    if (!fits) {
        g_Logger.Log(LogLevel::error, "no more space in bitstream buffer");
        return false;
    }
    if (m_ShortSliceFormat) {
        DXVA_Slice_H264_Short entry = {};
        entry.BSNALunitDataLocation = location;
        entry.SliceBytesInBuffer = size;
        std::memcpy(state.sliceCursor, &entry, sizeof(entry));
        state.lastSliceEntry = state.sliceCursor;
        state.sliceCursor += kShortSliceEntrySize;
        return true;
    }
    // The previous slice runs up to this one's first macroblock.
    if (state.lastSliceEntry) {
        auto* previous = reinterpret_cast<DXVA_Slice_H264_Long*>(state.lastSliceEntry);
        previous->NumMbsForSlice = static_cast<uint16_t>(m_H264Stream->sh->first_mb_in_slice - previous->first_mb_in_slice);
    }
    if (FillH264SliceEntry(state.sliceCursor, remaining, location, size) < 0)
        return false;
    state.lastSliceEntry = state.sliceCursor;
    state.sliceCursor += kLongSliceEntrySize;
    return true;
}

bool DXVA2VideoDecoder::WalkHevcNal(SubmitState& state, const uint8_t* nal, uint32_t length)
{
    uint32_t type = (nal[0] >> 1) & 0x3F;
    bool slice = IsHevcSliceType(type);
    if (IsHevcEndOfSequence(type)) {
        // Before the picture's first slice it already ends the previous sequence.
        if (state.hevcPictureStarted)
            state.hevcEndOfSequence = true;
        else
            m_HevcPictures.EndSequence();
    }
    if (!slice && type != 32 && type != 33 && type != 34)
        return true;
    int32_t parsed = ParseHevcNal(m_HevcStream, nal, slice ? length - 1 : length);
    if (parsed < 0) {
        g_Logger.Log(LogLevel::error, "could not read the nal header (error: %d) for type: %d", parsed,
                     m_HevcStream->nal->nal_unit_type);
        return false;
    }
    state.result = parsed;
    if (!slice)
        return true;
    // The first slice segment carries the picture's reference set: the
    // buffer marks from it before the picture is decoded.
    if (m_HevcStream->sh->first_slice_segment_in_pic_flag && !state.hevcPictureStarted) {
        if (!m_HevcPictures.StartPicture(*m_HevcStream, m_CurrentOutputIndex))
            return false;
        state.hevcPictureStarted = true;
    }
    if (state.hevcPictureStarted)
        m_HevcPictures.NoteSlice(*m_HevcStream->sh);
    size_t remaining = static_cast<size_t>(state.sliceControl + state.sliceCapacity - state.sliceCursor);
    if (remaining <= sizeof(DXVA_Slice_HEVC_Short)) {
        g_Logger.Log(LogLevel::error, "no more space in bitstream buffer");
        return false;
    }
    DXVA_Slice_HEVC_Short entry = {};
    entry.BSNALunitDataLocation = static_cast<uint32_t>(nal - state.source) - kStartCodeBytes;
    entry.SliceBytesInBuffer = length + kStartCodeBytes;
    std::memcpy(state.sliceCursor, &entry, sizeof(entry));
    state.sliceCursor += sizeof(entry);
    return true;
}

void DXVA2VideoDecoder::FinishH264Slices(SubmitState& state)
{
    if (state.codec != kCodecH264 || !m_H264Stream->sps)
        return;
    const H264Sps& sps = *m_H264Stream->sps;
    state.macroblocks = (sps.pic_width_in_mbs_minus1 + 1) * (sps.pic_height_in_map_units_minus1 + 1);
    if (!m_ShortSliceFormat && state.lastSliceEntry) {
        auto* last = reinterpret_cast<DXVA_Slice_H264_Long*>(state.lastSliceEntry);
        last->NumMbsForSlice = static_cast<uint16_t>(state.macroblocks - last->first_mb_in_slice);
    }
}

// The hardware reads the bitstream in 128-byte units: pad with zeros up to the
// next multiple, or as far as the buffer allows.
void DXVA2VideoDecoder::FillAlignment(SubmitState& state)
{
    size_t used = static_cast<size_t>(state.position - state.bitstream);
    size_t fill = kBitstreamAlignment - used % kBitstreamAlignment;
    fill = used > state.bitstreamCapacity ? 0 : std::min(fill, state.bitstreamCapacity - used);
    if (fill == 0)
        return;
    std::memset(state.position, 0, fill);
    if (state.codec == kCodecH264 && state.lastSliceEntry) {
        // Both H.264 entry formats start with the location and the byte count.
        auto* entry = reinterpret_cast<DXVA_Slice_H264_Short*>(state.lastSliceEntry);
        entry->SliceBytesInBuffer += static_cast<uint32_t>(fill);
    }
    state.position += fill;
}

bool DXVA2VideoDecoder::ReleaseSliceAndBitstream(SubmitState& state)
{
    D3D11_VIDEO_DECODER_BUFFER_DESC& slices = state.descriptions[0];
    slices.BufferType = D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL;
    slices.DataSize = static_cast<UINT>(state.sliceCursor - state.sliceControl);
    if (m_Dump)
        m_Dump->KeepBuffer(slices.BufferType, state.sliceControl, slices.DataSize);
    platform::HRESULT result = ReleaseBuffer(state, D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL);
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error,
                     "decoder: failed ReleaseDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL hr = 0x%x",
                     HresultBits(result));
        return false;
    }

    D3D11_VIDEO_DECODER_BUFFER_DESC& bits = state.descriptions[1];
    bits.BufferType = D3D11_VIDEO_DECODER_BUFFER_BITSTREAM;
    bits.DataSize = static_cast<UINT>(state.position - state.bitstream);
    bits.NumMBsInBuffer = state.macroblocks;
    result = ReleaseBuffer(state, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM);
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error,
                     "decoder: failed ReleaseDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_BITSTREAM hr = 0x%x",
                     HresultBits(result));
        return false;
    }
    return true;
}

bool DXVA2VideoDecoder::SubmitParameterBuffers(SubmitState& state)
{
    struct ParameterBuffer {
        D3D11_VIDEO_DECODER_BUFFER_TYPE type;
        const char* getFailure;
        const char* releaseFailure;
    };
    const ParameterBuffer buffers[] = {
        {D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS,
         "decoder: failed GetDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS hr = 0x%x",
         "decoder: failed ReleaseDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS hr = 0x%x"},
        {D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX,
         "decoder: failed GetDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX hr = 0x%x",
         "decoder: failed ReleaseDecoderBuffer. D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX hr = 0x%x"},
    };
    // H.265 takes no quantisation matrices unless its scaling lists are on.
    const bool hevcWithoutLists = state.codec == kCodecH265 && m_HevcStream->sps && !m_HevcStream->sps->scaling_list_enabled_flag;
    const UINT submitted = hevcWithoutLists ? 3 : 4;
    for (size_t index = 0; index + 2 < submitted; ++index) {
        const ParameterBuffer& parameters = buffers[index];
        UINT size = 0;
        void* buffer = nullptr;
        platform::HRESULT result = GetBuffer(state, parameters.type, &size, &buffer);
        if (Failed(result) || !buffer) {
            g_Logger.Log(LogLevel::error, parameters.getFailure, HresultBits(Failed(result) ? result : kResultPointer));
            return false;
        }
        // The builders refuse (and log) a buffer smaller than their structure.
        int32_t filled = FillParameterBuffer(parameters.type, state.codec, buffer, size);
        if (filled < 0)
            return false;
        D3D11_VIDEO_DECODER_BUFFER_DESC& description = state.descriptions[2 + index];
        description.BufferType = parameters.type;
        description.DataSize = static_cast<UINT>(filled);
        if (m_Dump)
            m_Dump->KeepBuffer(parameters.type, buffer, description.DataSize);
        result = ReleaseBuffer(state, parameters.type);
        if (Failed(result)) {
            g_Logger.Log(LogLevel::error, parameters.releaseFailure, HresultBits(result));
            return false;
        }
    }

    platform::HRESULT result = m_VideoContext->SubmitDecoderBuffers(m_VideoDecoder, submitted, state.descriptions);
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error, "decoder: failed SubmitDecoderBuffers. hr = 0x%x", HresultBits(result));
        return false;
    }
    if (m_Dump)
        m_Dump->Frame(state.codec, m_CurrentOutputIndex, m_ShortSliceFormat, state.descriptions, submitted);
    return true;
}
