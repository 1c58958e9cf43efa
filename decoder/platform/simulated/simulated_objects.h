#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bitstream/hevc/hevc_records.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/reference_counted.h"
#include "decoder/platform/simulated/simulated_surface_record.h"
#include "decoder/platform/simulated/simulated_video_device.h"
#include "decoder/platform/video_platform.h"

// The objects behind the simulated platform. Only the simulated device's own
// sources include this.
namespace platform {

constexpr uint8_t kSimulatedCodecH264 = 0;
constexpr uint8_t kSimulatedCodecHevc = 1;
constexpr uint8_t kSimulatedCodecNone = 0xFF;

uint8_t SimulatedCodecOf(const GUID& profile);
void LogSimulatedRefusal(const char* operation, const std::string& reason);

// Hands out `object` under one of its interfaces, with the reference the receiver releases.
template <typename Interface, typename Object>
HRESULT HandOut(Object* object, void** out)
{
    object->AddRef();
    *out = static_cast<Interface*>(object);
    return kResultOk;
}

class SimulatedAdapter : public ReferenceCounted<IDXGIAdapter1> {
public:
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;
    HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) override;
    HRESULT CheckInterfaceSupport(const GUID& interfaceName, int64_t* version) override;

    // The simulated driver's own version, 1.0.0.0: it is no vendor's.
    static constexpr int64_t kDriverVersion = int64_t{1} << 48;
};

class SimulatedFactory : public ReferenceCounted<IDXGIFactory2> {
public:
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override;
};

class SimulatedTexture : public ReferenceCounted<ID3D11Texture2D> {
public:
    explicit SimulatedTexture(const D3D11_TEXTURE2D_DESC& description);
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;
    void GetDesc(D3D11_TEXTURE2D_DESC* description) override;

    D3D11_TEXTURE2D_DESC m_Description;
    // Per array slice: the number of the picture decoded into it, 0 while
    // empty, and for H.265 that picture's order count.
    std::vector<uint64_t> m_PictureNumbers;
    std::vector<int32_t> m_PicOrderCnts;
    uint64_t m_PicturesDecoded = 0;
};

class SimulatedOutputView : public ReferenceCounted<ID3D11VideoDecoderOutputView> {
public:
    SimulatedOutputView(SimulatedTexture* texture, const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC& description);
    ~SimulatedOutputView() override;
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;
    void GetDesc(D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description) override;

    SimulatedTexture* m_Texture;
    D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC m_Description;
};

// Memory of one decoder buffer: handed out without zero fill, as a driver's
// is, in a block that may be larger than the size the buffer offers.
class SimulatedMemory {
public:
    SimulatedMemory() = default;
    SimulatedMemory(SimulatedMemory&& other) noexcept { *this = std::move(other); }
    SimulatedMemory& operator=(SimulatedMemory&& other) noexcept
    {
        m_Block = std::move(other.m_Block);
        m_Capacity = std::exchange(other.m_Capacity, 0);
        m_Size = std::exchange(other.m_Size, 0);
        return *this;
    }

    uint8_t* data() { return m_Block.get(); }
    const uint8_t* data() const { return m_Block.get(); }
    size_t size() const { return m_Size; }
    bool empty() const { return m_Size == 0; }
    size_t capacity() const { return m_Capacity; }

    // Offers `size` bytes, keeping the block when it is large enough.
    void Resize(size_t size);

private:
    std::unique_ptr<uint8_t[]> m_Block;
    size_t m_Capacity = 0;
    size_t m_Size = 0;
};

using SimulatedClock = std::chrono::steady_clock;

// An event query: done once the pictures ended before its End are decoded,
// at once unless the device was given a decode time.
class SimulatedQuery : public ReferenceCounted<ID3D11Query> {
public:
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;

    bool m_Ended = false;
    SimulatedClock::time_point m_DoneAt{};
};

class SimulatedDevice;

// One decoder with its buffers and the state of the frame in progress.
class SimulatedVideoDecoder : public ReferenceCounted<ID3D11VideoDecoder> {
public:
    static constexpr UINT kBufferTypes = D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN + 1;

    struct Buffer {
        SimulatedMemory memory;
        bool held = false;       // obtained and not yet released
        bool used = false;       // obtained and released during this frame
    };

    // Takes its buffers' memory from the device and gives it back when destroyed.
    SimulatedVideoDecoder(SimulatedDevice& device, const D3D11_VIDEO_DECODER_DESC& description,
                          const D3D11_VIDEO_DECODER_CONFIG& config);
    ~SimulatedVideoDecoder() override;
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;
    HRESULT GetCreationParameters(D3D11_VIDEO_DECODER_DESC* description, D3D11_VIDEO_DECODER_CONFIG* config) override;

    uint8_t Codec() const { return SimulatedCodecOf(m_Description.Guid); }
    // H.265 has only short entries; H.264 uses long ones on a raw-1 configuration.
    bool LongSliceFormat() const { return Codec() == kSimulatedCodecH264 && m_Config.ConfigBitstreamRaw == 1; }
    void CloseFrame();

    // What the device reads of the H.265 headers itself, to check the
    // references it is handed against the slices they come with.
    struct HevcHeaders {
        HevcStream* stream = nullptr;  // the device's
        int32_t prevTid0PicOrderCnt = 0;
        bool sequenceStart = true;
        // The picture of the frame submitted and not yet ended.
        int32_t picOrderCnt = 0;
        bool tid0Anchor = false;
        bool endsSequence = false;
    };

    D3D11_VIDEO_DECODER_DESC m_Description;
    D3D11_VIDEO_DECODER_CONFIG m_Config;
    Buffer m_Buffers[kBufferTypes];
    bool m_FrameOpen = false;
    bool m_Submitted = false;
    SimulatedOutputView* m_Target = nullptr;   // referenced while a frame is open
    SimulatedDevice& m_Device;                  // referenced for the decoder's life
    HevcHeaders m_Hevc;
    // What the device wrote into each surface and which of those pictures
    // the stream still holds as reference, kept apart from the decoder's word.
    SimulatedReferenceRecord m_References;
};

// Device and video device are one object, as are the two contexts, so that
// QueryInterface hands out the same object under another interface.
class SimulatedDevice : public ReferenceCounted<ID3D11Device, ID3D11VideoDevice, ID3D10Multithread> {
public:
    explicit SimulatedDevice(const SimulatedDeviceOptions& options);
    ~SimulatedDevice() override;
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;

    HRESULT CheckFormatSupport(DXGI_FORMAT format, UINT* support) override;
    HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void* initialData,
                            ID3D11Texture2D** texture) override;
    HRESULT CreateQuery(const D3D11_QUERY_DESC* description, ID3D11Query** query) override;
    BOOL SetMultithreadProtected(BOOL protect) override;

    UINT GetVideoDecoderProfileCount() override;
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override;
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override;
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) override;
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                  D3D11_VIDEO_DECODER_CONFIG* config) override;
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override;
    HRESULT CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                         const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                         ID3D11VideoDecoderOutputView** view) override;

    // The memory of the last decoder's buffers, kept so that a reconfiguration
    // neither allocates nor faults in its megabytes again.
    SimulatedMemory TakeBufferMemory(UINT type);
    void KeepBufferMemory(UINT type, SimulatedMemory memory);
    // The parser state H.265 decoders read the headers into: made with the
    // device, so that no decoder allocates and faults in its tables while a
    // benchmark case is timed. Null when out of memory.
    HevcStream* HevcHeaderStream() { return m_HevcHeaderStream; }

private:
    std::string CheckDecoderDescription(const D3D11_VIDEO_DECODER_DESC* description) const;
    bool IsOutsideDecodableSize(const D3D11_VIDEO_DECODER_DESC* description) const;

    SimulatedMemory m_SpareMemory[SimulatedVideoDecoder::kBufferTypes];
    HevcStream* m_HevcHeaderStream = nullptr;

    std::vector<D3D11_VIDEO_DECODER_CONFIG> m_Configs;
    BOOL m_MultithreadProtected = 0;
};

class SimulatedContext : public ReferenceCounted<ID3D11DeviceContext, ID3D11VideoContext> {
public:
    explicit SimulatedContext(int64_t decodeMicroseconds = 0) : m_DecodeTime(decodeMicroseconds) {}
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;

    void End(ID3D11Asynchronous* async) override;
    void Flush() override {}
    HRESULT GetData(ID3D11Asynchronous* async, void* data, UINT dataSize, UINT flags) override;

    HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view, UINT contentKeySize,
                              const void* contentKey) override;
    HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* bufferSize,
                             void** buffer) override;
    HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type) override;
    HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT bufferCount,
                                 const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override;
    HRESULT DecoderEndFrame(ID3D11VideoDecoder* decoder) override;

private:
    // The one decode engine: each ended picture starts once the engine is
    // free and holds it for m_DecodeTime.
    std::chrono::microseconds m_DecodeTime;
    SimulatedClock::time_point m_EngineFreeAt{};
};

// What a strict driver checks in one submission; empty when the frame is
// acceptable, else the reason.
// An H.265 submission also updates the device's reading of the headers.
std::string CheckSubmission(SimulatedVideoDecoder& decoder, UINT bufferCount,
                            const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions);
// The sampling and depth the picture parameters give against the decoder's
// profile and output format, and the surface's format against the latter;
// for a submission whose buffers were found sound.
std::string CheckSampleFormat(const SimulatedVideoDecoder& decoder);

}  // namespace platform
