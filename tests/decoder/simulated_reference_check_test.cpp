#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bitstream/bit_writer.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_video_device.h"
#include "support/log_capture.h"

// H.264 submissions built by hand for the simulated device: 64x48 frames,
// MaxFrameNum 16, order counts of type 2 (twice frame_num, minus 1 for a
// non-reference picture), one slice per picture.
using namespace platform;

namespace {

// A structure as the bytes of its buffer.
template <typename T>
std::vector<uint8_t> Bytes(const T& value)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    return {bytes, bytes + sizeof(T)};
}

template <typename T>
struct Held {
    T* p = nullptr;
    ~Held() { if (p) p->Release(); }
    T* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
};

// The simulated device with one H.264 decoder and eight surfaces.
class H264Device {
public:
    H264Device(const GUID& profile, bool longSlices)
    {
        EXPECT_EQ(platform.CreateDXGIFactory1(IID_IDXGIFactory2, factory.Out()), kResultOk);
        EXPECT_EQ(factory->EnumAdapters1(0, &adapter.p), kResultOk);
        EXPECT_EQ(platform.D3D11CreateDevice(adapter.p, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_VIDEO_SUPPORT, nullptr, 0,
                                             kD3D11SdkVersion, &device.p, nullptr, &context.p), kResultOk);
        EXPECT_EQ(device->QueryInterface(IID_ID3D11VideoDevice, video.Out()), kResultOk);
        EXPECT_EQ(context->QueryInterface(IID_ID3D11VideoContext, videoContext.Out()), kResultOk);
        D3D11_VIDEO_DECODER_DESC description = {profile, 64, 48, DXGI_FORMAT_NV12};
        // The device offers short entries first, long ones second.
        D3D11_VIDEO_DECODER_CONFIG config = {};
        EXPECT_EQ(video->GetVideoDecoderConfig(&description, longSlices ? 1 : 0, &config), kResultOk);
        EXPECT_EQ(video->CreateVideoDecoder(&description, &config, &decoder.p), kResultOk);
        D3D11_TEXTURE2D_DESC texture = {64, 48, 1, 8, DXGI_FORMAT_NV12, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_DECODER, 0, 0};
        EXPECT_EQ(device->CreateTexture2D(&texture, nullptr, &surfaces.p), kResultOk);
        for (UINT slice = 0; slice < 8; ++slice) {
            D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC view = {profile, D3D11_VDOV_DIMENSION_TEXTURE2D, {slice}};
            EXPECT_EQ(video->CreateVideoDecoderOutputView(surfaces.p, &view, &views[slice].p), kResultOk);
        }
    }

    HRESULT Submit(uint8_t surface, const DXVA_PicParams_H264& picture, const std::vector<uint8_t>& slices,
                   const std::vector<uint8_t>& bitstream)
    {
        DXVA_Qmatrix_H264 flat;
        std::memset(&flat, 16, sizeof(flat));
        const std::pair<D3D11_VIDEO_DECODER_BUFFER_TYPE, std::vector<uint8_t>> buffers[] = {
            {D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS, Bytes(picture)},
            {D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX, Bytes(flat)},
            {D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL, slices},
            {D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, bitstream},
        };
        EXPECT_EQ(videoContext->DecoderBeginFrame(decoder.p, views[surface].p, 0, nullptr), kResultOk);
        std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> descriptions;
        for (const auto& [type, data] : buffers) {
            UINT size = 0;
            void* memory = nullptr;
            EXPECT_EQ(videoContext->GetDecoderBuffer(decoder.p, type, &size, &memory), kResultOk);
            EXPECT_GE(size, data.size());
            std::memcpy(memory, data.data(), data.size());
            EXPECT_EQ(videoContext->ReleaseDecoderBuffer(decoder.p, type), kResultOk);
            D3D11_VIDEO_DECODER_BUFFER_DESC description = {};
            description.BufferType = type;
            description.DataSize = static_cast<UINT>(data.size());
            descriptions.push_back(description);
        }
        HRESULT result = videoContext->SubmitDecoderBuffers(decoder.p, static_cast<UINT>(descriptions.size()), descriptions.data());
        EXPECT_EQ(videoContext->DecoderEndFrame(decoder.p), kResultOk);
        return result;
    }

private:
    SimulatedVideoPlatform platform;
    Held<IDXGIFactory2> factory;
    Held<IDXGIAdapter1> adapter;
    Held<ID3D11Device> device;
    Held<ID3D11DeviceContext> context;
    Held<ID3D11VideoDevice> video;
    Held<ID3D11VideoContext> videoContext;
    Held<ID3D11Texture2D> surfaces;
    Held<ID3D11VideoDecoderOutputView> views[8];
    // Released first: it holds the device.
    Held<ID3D11VideoDecoder> decoder;
};

// One RefFrameList entry as the decoder would give it.
struct Listed {
    uint8_t surface;
    uint16_t frameNum;  // LongTermFrameIdx for a long-term frame
    int32_t top, bottom;
    bool longTerm = false;
};

enum Kind : uint32_t { kP = 0, kB = 1, kI = 2 };

struct Picture {
    uint8_t surface;
    uint32_t frameNum;
    std::vector<Listed> refs;
    int32_t top, bottom;           // CurrFieldOrderCnt
    std::vector<uint32_t> marking = {};  // the operations with their values, without the closing 0
    uint8_t nalRefIdc = 1;
    bool idr = false;
    Kind kind = kP;
    std::vector<uint8_t> listEntries = {0};  // long slices: RefPicList[0], the active ones
};

// The IDR every stream opens with, into surface 0.
const Picture kIdr = {.surface = 0, .frameNum = 0, .refs = {}, .top = 0, .bottom = 0, .idr = true, .kind = kI};

struct Stream {
    uint8_t numRefFrames = 2;
    GUID profile = D3D11_DECODER_PROFILE_H264_VLD_NOFGT;
    bool longSlices = false;
};

DXVA_PicParams_H264 Parameters(const Stream& stream, const Picture& p, uint32_t feedback)
{
    DXVA_PicParams_H264 pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.wFrameWidthInMbsMinus1 = 3;
    pp.wFrameHeightInMbsMinus1 = 2;
    pp.CurrPic.bPicEntry = p.surface;
    pp.num_ref_frames = stream.numRefFrames;
    pp.chroma_format_idc = 1;
    pp.RefPicFlag = p.nalRefIdc != 0;
    pp.frame_mbs_only_flag = 1;
    pp.IntraPicFlag = p.kind == kI;
    pp.MbsConsecutiveFlag = 1;
    pp.Reserved16Bits = stream.profile == kH264VendorProfileB ? 0x34C : 3;
    pp.StatusReportFeedbackNumber = feedback;
    std::memset(pp.RefFrameList, 0xFF, sizeof(pp.RefFrameList));
    for (size_t i = 0; i < p.refs.size(); ++i) {
        const Listed& r = p.refs[i];
        pp.RefFrameList[i].Index7Bits = r.surface;
        pp.RefFrameList[i].AssociatedFlag = r.longTerm;
        pp.FieldOrderCntList[i][0] = r.top;
        pp.FieldOrderCntList[i][1] = r.bottom;
        pp.FrameNumList[i] = r.frameNum;
        pp.UsedForReferenceFlags |= 3u << (2 * i);
    }
    pp.CurrFieldOrderCnt[0] = p.top;
    pp.CurrFieldOrderCnt[1] = p.bottom;
    pp.frame_num = static_cast<uint16_t>(p.frameNum);
    pp.pic_order_cnt_type = 2;
    pp.deblocking_filter_control_present_flag = 1;
    return pp;
}

std::vector<uint8_t> SliceNal(const Picture& p)
{
    BitWriter w;
    w.ue(0);  // first_mb_in_slice
    w.ue(p.kind);
    w.ue(0);  // pic_parameter_set_id
    w.u(4, p.frameNum);
    if (p.idr)
        w.ue(0);  // idr_pic_id
    if (p.kind == kB)
        w.u(1, 1);  // direct_spatial_mv_pred_flag
    if (p.kind != kI)  // num_ref_idx_active_override_flag and the list modification flags
        w.u(p.kind == kB ? 3 : 2, 0);
    if (p.nalRefIdc != 0 && p.idr) {
        w.u(2, 0);  // no_output_of_prior_pics_flag, long_term_reference_flag
    } else if (p.nalRefIdc != 0) {
        w.u(1, !p.marking.empty());
        for (uint32_t value : p.marking)
            w.ue(value);
        if (!p.marking.empty())
            w.ue(0);  // end of the operations
    }
    w.se(0);  // slice_qp_delta
    w.u(8, 0xA5).trailing();  // a little slice data
    return w.nal({0, 0, 1, static_cast<uint8_t>(p.nalRefIdc << 5 | (p.idr ? 5 : 1))});
}

// Submits the pictures in order; every one but the last must be accepted.
// The last one's refusal reason, or "" when it is accepted too.
std::string RunStream(const Stream& stream, const std::vector<Picture>& pictures)
{
    LogCapture log;
    H264Device device(stream.profile, stream.longSlices);
    uint32_t feedback = 0;
    for (const Picture& p : pictures) {
        std::vector<uint8_t> bitstream = SliceNal(p);
        const uint32_t nalBytes = static_cast<uint32_t>(bitstream.size());
        bitstream.resize((nalBytes + 127) / 128 * 128);  // whole 128-byte units, as the decoder pads
        std::vector<uint8_t> slices = Bytes(DXVA_Slice_H264_Short{0, nalBytes, 0});  // one entry
        if (stream.longSlices) {
            DXVA_Slice_H264_Long entry;
            std::memset(&entry, 0, sizeof(entry));
            entry.SliceBytesInBuffer = nalBytes;
            entry.NumMbsForSlice = 12;
            entry.slice_type = static_cast<uint8_t>(p.kind);
            entry.num_ref_idx_l0_active_minus1 = static_cast<uint8_t>(p.listEntries.size() - 1);
            std::memset(entry.RefPicList, 0xFF, sizeof(entry.RefPicList));
            for (size_t k = 0; k < p.listEntries.size() && p.kind != kI; ++k)
                entry.RefPicList[0][k].bPicEntry = p.listEntries[k];
            slices = Bytes(entry);
        }
        HRESULT result = device.Submit(p.surface, Parameters(stream, p, ++feedback), slices, bitstream);
        if (&p == &pictures.back())
            break;
        EXPECT_EQ(result, kResultOk) << "picture " << feedback << ": " << ::testing::PrintToString(log.messages());
        if (result != kResultOk)
            return "an earlier picture was refused";
    }
    if (log.messages().empty())
        return "";
    const std::string line = log.messages().back();
    const std::string kMarker = "SubmitDecoderBuffers: ";
    return line.find(kMarker) == line.npos ? line : line.substr(line.find(kMarker) + kMarker.size());
}

// IDR into surface 0, then reference P frames 1 and 2 into surfaces 1 and 2.
std::vector<Picture> ThreeFrames()
{
    return {kIdr, {1, 1, {{0, 0, 0, 0}}, 2, 2}, {2, 2, {{0, 0, 0, 0}, {1, 1, 2, 2}}, 4, 4}};
}

// Reference P frame 1 into surface 1 after the IDR, with these marking operations.
Picture Marked(std::vector<uint32_t> marking)
{
    return {1, 1, {{0, 0, 0, 0}}, 2, 2, std::move(marking)};
}

// Fifty operations 4 (24 bits each), then operation 1 with difference_of_pic_nums_minus1 4.
std::vector<uint32_t> LongMarking()
{
    std::vector<uint32_t> marking;
    for (int i = 0; i < 50; ++i)
        marking.insert(marking.end(), {4, 1000});
    marking.insert(marking.end(), {1, 4});
    return marking;
}

template <typename Edit>
std::vector<Picture> With(std::vector<Picture> pictures, Edit edit)
{
    edit(pictures);
    return pictures;
}

}  // namespace

// Each listed frame must be the one the device wrote into that surface, with
// its order counts, the current picture must not overwrite one, every frame
// the marking still holds must be listed, long slice entries must name listed
// frames, and the marking read from the slice header must hold.
TEST(SimulatedReferenceCheck, RefusesReferencesTheStreamDoesNotHold)
{
    // A non-reference B frame (order count 3) into surface 2 after frame 1.
    const Picture b{.surface = 2, .frameNum = 2, .refs = {{0, 0, 0, 0}, {1, 1, 2, 2}}, .top = 3, .bottom = 3, .nalRefIdc = 0, .kind = kB};
    struct Case { const char* name; Stream stream; std::vector<Picture> pictures; const char* reason; };
    const Case cases[] = {
        {"zero order counts of a reference", {}, With(ThreeFrames(), [](auto& p) { p[2].refs[1].top = p[2].refs[1].bottom = 0; }),
         "FieldOrderCntList[1] is (0, 0), the frame (surface 1) has order counts (2, 2)"},
        // The window of two has dropped frame 0, the oldest, once frame 2 is decoded.
        {"held frame left out", {}, With(ThreeFrames(), [](auto& p) { p.push_back({3, 3, {{2, 2, 4, 4}}, 6, 6}); }),
         "frame (frame_num 1, surface 1) is still held as reference but missing from RefFrameList"},
        {"current written over a reference", {}, With(ThreeFrames(), [](auto& p) { p[2].surface = 1; }),
         "RefFrameList[1] names surface 1, the one being written"},
        {"surface never written", {}, With(ThreeFrames(), [](auto& p) { p[2].refs[1].surface = 5; }),
         "RefFrameList[1] names surface 5, which holds no picture"},
        {"surface listed twice", {}, With(ThreeFrames(), [](auto& p) { p[2].refs.push_back(p[2].refs[1]); }),
         "RefFrameList[2] names surface 1 again"},
        {"non-reference frame listed", {}, {kIdr, Marked({}), b, {3, 2, {{0, 0, 0, 0}, {1, 1, 2, 2}, {2, 2, 3, 3}}, 4, 4}},
         "RefFrameList[2] names surface 2, whose frame (frame_num 2) is no longer used for reference"},
        // Long slice entries: each active RefPicList entry indexes a RefFrameList
        // entry in use, or with the vendor's profile names the surface of one.
        {"list entry index", {.longSlices = true}, With(ThreeFrames(), [](auto& p) { p[2].listEntries = {0, 2}; }),
         "slice entry 0 RefPicList[0][1] is 2, not an entry of RefFrameList"},
        {"list entry surface", {.profile = kH264VendorProfileB, .longSlices = true}, With(ThreeFrames(), [](auto& p) { p[2].listEntries = {1, 2}; }),
         "slice entry 0 RefPicList[0][1] is 2, not the surface of a RefFrameList entry"},
        // Operation 1 behind 150 bytes of others: the device reads the header past its first piece.
        {"operation far into the header", {.numRefFrames = 3}, {kIdr, Marked(LongMarking())},
         "slice entry 0: memory_management_control_operation 1 names picture number -4, which no short-term reference has"},
        // Operations 4 (one long-term index) and 6 make frame 1 long-term index 0.
        {"more than num_ref_frames", {}, {kIdr, Marked({4, 1, 6, 0}), {2, 2, {{0, 0, 0, 0}, {1, 0, 2, 2, true}}, 4, 4, {4, 2}}},
         "slice entry 0: the picture would be reference frame 3 of at most 2 (num_ref_frames)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunStream(c.stream, c.pictures), c.reason);
    }
}
