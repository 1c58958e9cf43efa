#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoder/adapter_selection.h"
#include "decoder/pictures/h264_picture_buffer.h"
#include "decoder/pictures/hevc_picture_buffer.h"
#include "decoder/platform/video_platform.h"
#include "decoder/stream_support.h"
#include "decoder/video_decoder.h"

class DxvaDumpWriter;
struct H264Stream;
struct HevcStream;

// The DXVA decoder on Direct3D 11: picks the adapter and decoder profile,
// configures a decoder and its output surfaces for the picture size (a
// decoded picture buffer's worth and one more for the picture being decoded),
// and submits one access unit per Decode call.
class DXVA2VideoDecoder : public WindowsVideoDecoder {
public:
    using OutputChangedCallback = std::function<void(size_t width, size_t height, float, float)>;
    using ErrorCallback = std::function<void(int code)>;

    // No codec configured yet: differs from every frame's codec.
    static constexpr uint8_t kNoCodec = 0xFF;

    DXVA2VideoDecoder(OutputChangedCallback outputChanged, ErrorCallback error,
                      platform::VideoPlatform& videoPlatform = platform::DefaultVideoPlatform());
    ~DXVA2VideoDecoder() override;
    DXVA2VideoDecoder(const DXVA2VideoDecoder&) = delete;
    DXVA2VideoDecoder& operator=(const DXVA2VideoDecoder&) = delete;

    bool IsInitialized() override;
    // Init takes this adapter (index in enumeration order) and no other;
    // without one, the first that passes every check.
    void RequireAdapter(std::optional<platform::UINT> index) { m_RequiredAdapter = index; }
    int32_t Init() override;
    int64_t Decode(std::unique_ptr<VideoFrame>& frame) override;
    // Reconfigures when the frame's size or codec, or the profile and output
    // format its stream needs, differ from the current set-up. A stream no
    // offered profile carries is refused with one error line naming the
    // property, and nothing is submitted until a stream that can be set up.
    int64_t Prepare(VideoFrame& frame) override;
    // Returns once the hardware has finished every picture submitted so far:
    // 0, or -3 after one error line when the device cannot tell or never does.
    int64_t WaitUntilDecoded() override;
    void StartOver() override;

    // Creates the decoder and its output surfaces for m_CodedWidth x
    // m_CodedHeight; 0 or a negative HRESULT.
    platform::HRESULT ConfigureDecoder(uint8_t codec);
    platform::HRESULT CreateOutputSurfaces(uint8_t codec);

    // Read-only views for callers that need to know how the decoder is set up.
    uint32_t CurrentOutputIndex() const { return m_CurrentOutputIndex; }
    uint32_t ReferenceOutputIndex() const { return m_ReferenceOutputIndex; }
    uint32_t StatusReportCounter() const { return m_StatusReportCounter; }
    bool ShortSliceFormat() const { return m_ShortSliceFormat; }
    const platform::GUID& H264Profile() const { return m_H264Profile; }
    const platform::GUID& HevcProfile() const { return m_HevcProfile; }
    // The profile and output format of the current configuration.
    const DecoderSetup& Setup() const { return m_Setup; }
    const H264Stream* H264State() const { return m_H264Stream; }
    const HevcStream* HevcState() const { return m_HevcStream; }
    const H264PictureBuffer& H264Pictures() const { return m_H264Pictures; }
    const HevcPictureBuffer& HevcPictures() const { return m_HevcPictures; }
    // Empty until an Init has found an adapter.
    const std::optional<AdapterIdentity>& Adapter() const { return m_Adapter; }

private:
    struct SubmitState;

    int32_t FailInit(int32_t code);
    void ReleaseAdapterInterfaces();
    bool ChooseAdapter();
    // The format and the surfaces of the sequence whose SPS a frame holds; none without one.
    struct SequenceNeeds {
        std::optional<StreamFormat> format;
        std::optional<uint32_t> surfaces;
    };
    SequenceNeeds ReadSequence(VideoFrame& frame);
    std::optional<DecoderSetup> SetupFor(uint8_t codec, const std::optional<StreamFormat>& format);
    void RefuseStream(const std::string& refusal);
    bool OpenAdapter(platform::IDXGIAdapter1* adapter, platform::UINT index);
    bool ScanProfiles();
    bool CheckProfileFormats();
    void ReleaseConfiguration();

    platform::HRESULT BeginFrame();
    platform::HRESULT GetBuffer(SubmitState& state, platform::D3D11_VIDEO_DECODER_BUFFER_TYPE type, platform::UINT* size,
                                void** buffer);
    platform::HRESULT ReleaseBuffer(SubmitState& state, platform::D3D11_VIDEO_DECODER_BUFFER_TYPE type);
    int64_t SubmitFrame(VideoFrame& frame);
    bool SkipsHevcPicture(VideoFrame& frame);
    bool FillBitstream(SubmitState& state, VideoFrame& frame);
    bool WalkNalUnits(SubmitState& state);
    bool WalkH264Nal(SubmitState& state, const uint8_t* nal, uint32_t length);
    bool WalkHevcNal(SubmitState& state, const uint8_t* nal, uint32_t length);
    bool WriteH264SliceEntry(SubmitState& state, uint32_t location, uint32_t size);
    void FinishH264Slices(SubmitState& state);
    void FillAlignment(SubmitState& state);
    bool ReleaseSliceAndBitstream(SubmitState& state);
    bool SubmitParameterBuffers(SubmitState& state);
    int64_t ElapsedMicroseconds(int64_t start);
    // The codec's parameter-buffer builders: bytes written, negative (and
    // logged) when the buffer is too small or a parameter set is missing.
    int32_t FillParameterBuffer(platform::D3D11_VIDEO_DECODER_BUFFER_TYPE type, uint8_t codec, void* buffer,
                                size_t size);
    int32_t FillH264SliceEntry(uint8_t* entry, size_t space, uint32_t location, uint32_t size);
    bool H264VendorMode() const;

    OutputChangedCallback m_OutputChangedCallback;
    ErrorCallback m_ErrorCallback;
    H264Stream* m_H264Stream = nullptr;
    HevcStream* m_HevcStream = nullptr;
    size_t m_Width = 0;
    size_t m_Height = 0;
    size_t m_CodedWidth = 0;
    size_t m_CodedHeight = 0;
    uint8_t m_Codec = kNoCodec;
    platform::IDXGIFactory2* m_DxgiFactory = nullptr;
    platform::ID3D11Device* m_Device = nullptr;
    platform::ID3D11DeviceContext* m_DeviceContext = nullptr;
    platform::ID3D11Texture2D* m_OutputTexture = nullptr;
    uint32_t m_StatusReportCounter = 1;
    platform::ID3D11VideoDevice* m_VideoDevice = nullptr;
    platform::ID3D11VideoContext* m_VideoContext = nullptr;
    platform::ID3D11VideoDecoder* m_VideoDecoder = nullptr;
    std::vector<platform::ID3D11VideoDecoderOutputView*> m_OutputViews{nullptr, nullptr};
    bool m_ShortSliceFormat = false;
    uint32_t m_CurrentOutputIndex = 0;
    uint32_t m_ReferenceOutputIndex = 1;
    int64_t m_CounterFrequency = 0;
    bool m_Initialized = false;
    std::optional<AdapterIdentity> m_Adapter;
    std::optional<platform::UINT> m_RequiredAdapter;
    platform::GUID m_H264Profile = platform::kGuidNull;
    platform::GUID m_HevcProfile = platform::kGuidNull;
    platform::GUID m_HevcMain10Profile = platform::kGuidNull;
    // What the adapter decodes into what, in the order of preference.
    std::vector<DecoderSetup> m_OfferedSetups;
    DecoderSetup m_Setup;
    platform::VideoPlatform& m_Platform;
    // Host copy of a frame that does not hold its payload in memory, so the
    // NAL walk never reads back from the hardware's buffer.
    std::vector<uint8_t> m_HostPayload;
    // Offsets of the start codes the copy into the bitstream buffer found.
    std::vector<uint32_t> m_StartCodes;
    // H.264 reference frames and the surfaces they occupy.
    H264PictureBuffer m_H264Pictures;
    // Until an SPS says otherwise, as many as any H.264 stream may need.
    uint32_t m_H264SurfaceCount = H264PictureBuffer::kMaxSurfaces;
    // H.265 pictures kept for reference and the surfaces they occupy.
    HevcPictureBuffer m_HevcPictures;
    // Until an SPS says otherwise, as many as any H.265 stream may need.
    uint32_t m_HevcSurfaceCount = HevcPictureBuffer::kMaxSurfaces;
    // Set only when TARSEL_DXVA_DUMP names a folder.
    std::unique_ptr<DxvaDumpWriter> m_Dump;
};
