#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "bench/bench_case.h"
#include "bench/video_file_frame.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated_video_device.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "test_frames.h"

using namespace platform;

namespace {

const char kH264Stream[] = "h264_64x48_two_slices.h264";

std::unique_ptr<DXVA2VideoDecoder> InitialisedDecoder(VideoPlatform& videoPlatform, std::vector<int>& errors)
{
    auto decoder = std::make_unique<DXVA2VideoDecoder>([](size_t, size_t, float, float) {}, [&errors](int code) { errors.push_back(code); },
                                                       videoPlatform);
    EXPECT_EQ(decoder->Init(), 1);
    return decoder;
}

// Every frame of the benchmark's data set is accepted, with short and with
// long H.264 slice control.
TEST(SimulatedDevice, AcceptsTheWholeDataSet)
{
    std::filesystem::path root(TARSEL_SOURCE_DIR);
    if (!std::filesystem::exists(root / "data" / "h264"))
        GTEST_SKIP() << "the data set is not in the tree";
    ScopedWorkingDirectory inRoot(root.string());
    for (bool longSlices : {false, true}) {
        SimulatedVideoPlatform simulated({!longSlices, true});
        std::vector<int> errors;
        LogCapture log;
        auto decoder = InitialisedDecoder(simulated, errors);
        size_t frames = 0;
        for (const BenchCase& benchCase : g_BenchCases) {
            for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index, ++frames) {
                std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
                ASSERT_GT(decoder->Decode(frame), 0) << FrameFileName(benchCase, index) << "\n" << ::testing::PrintToString(log.messages());
            }
        }
        EXPECT_EQ(frames, 240u);
        EXPECT_TRUE(errors.empty());
    }
}

// Frames the decoder passes on but a strict driver must refuse, after an
// accepted IDR: a picture whose size disagrees with the configuration, a
// predicted picture whose reference surface is empty (a switch to H.265 and
// back gives fresh surfaces), and long slices that miss macroblocks (the
// first slice lost leaves macroblocks 0 to 7 undescribed).
TEST(SimulatedDevice, RefusesBadFrames)
{
    std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(kH264Stream, kCodecH264);
    std::vector<uint8_t> lost = units[0];
    for (size_t index = 0; index + 3 < lost.size(); ++index) {
        if (lost[index] == 0 && lost[index + 1] == 0 && lost[index + 2] == 1 && (lost[index + 3] & 0x1F) == 5) {
            size_t next = index + 4;
            while (!(lost[next] == 0 && lost[next + 1] == 0 && lost[next + 2] == 1))
                ++next;
            lost.erase(lost.begin() + static_cast<long>(index), lost.begin() + static_cast<long>(next));
            break;
        }
    }
    struct Case { bool longSlices; std::function<std::unique_ptr<VideoFrame>(DXVA2VideoDecoder&)> prepare; const char* reason; };
    const Case cases[] = {
        {false, [&](DXVA2VideoDecoder&) { return SizedFrame(kCodecH264, 128, 96, units[1]); },
         "picture parameters give 64x48, the decoder is configured for 128x96"},
        {false, [&](DXVA2VideoDecoder& decoder) {
             std::unique_ptr<VideoFrame> other = SizedFrame(kCodecH265, 64, 48, FixtureAccessUnits("hevc_64x48.h265", kCodecH265)[0]);
             EXPECT_GT(decoder.Decode(other), 0);
             return SizedFrame(kCodecH264, 64, 48, units[1]);
         }, "reference surface 1 holds no earlier picture"},
        {true, [&](DXVA2VideoDecoder&) { return UnsizedFrame(kCodecH264, lost); }, "slices cover 4 macroblocks, the picture has 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        SimulatedVideoPlatform simulated({!c.longSlices, true});
        std::vector<int> errors;
        LogCapture log;
        auto decoder = InitialisedDecoder(simulated, errors);
        std::unique_ptr<VideoFrame> idr = SizedFrame(kCodecH264, 64, 48, units[0]);
        ASSERT_GT(decoder->Decode(idr), 0);
        std::unique_ptr<VideoFrame> bad = c.prepare(*decoder);
        EXPECT_EQ(decoder->Decode(bad), -3);
        EXPECT_EQ(errors, std::vector<int>{-3});
        EXPECT_TRUE(log.contains(std::string("decoder: simulated device refused SubmitDecoderBuffers: ") + c.reason)) << ::testing::PrintToString(log.messages());
        EXPECT_TRUE(log.contains("decoder: failed SubmitDecoderBuffers. hr = 0x80070057"));
    }
}

// Replays a submission captured from the decoder straight on the simulated
// device, with one thing spoiled at a time.
struct Replay : ::testing::Test {
    void SetUp() override
    {
        fake::FakeVideoPlatform recorder;
        std::vector<int> errors;
        std::unique_ptr<VideoFrame> idr = SizedFrame(kCodecH264, 64, 48, FixtureAccessUnits(kH264Stream, kCodecH264)[0]);
        ASSERT_GT(InitialisedDecoder(recorder, errors)->Decode(idr), 0);
        captured = recorder.submissions.at(0);

        void* factory = nullptr;
        void* pointer = nullptr;
        IDXGIAdapter1* adapter = nullptr;
        ID3D11DeviceContext* deviceContext = nullptr;
        ASSERT_EQ(simulated.CreateDXGIFactory1(IID_IDXGIFactory2, &factory), kResultOk);
        ASSERT_EQ(static_cast<IDXGIFactory2*>(factory)->EnumAdapters1(0, &adapter), kResultOk);
        ASSERT_EQ(simulated.D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0x820, nullptr, 0, kD3D11SdkVersion, &device, nullptr, &deviceContext),
                  kResultOk);
        adapter->Release();
        static_cast<IDXGIFactory2*>(factory)->Release();
        ASSERT_EQ(device->QueryInterface(IID_ID3D11VideoDevice, &pointer), kResultOk);
        videoDevice = static_cast<ID3D11VideoDevice*>(pointer);
        ASSERT_EQ(deviceContext->QueryInterface(IID_ID3D11VideoContext, &pointer), kResultOk);
        context = static_cast<ID3D11VideoContext*>(pointer);
        deviceContext->Release();

        D3D11_VIDEO_DECODER_DESC description = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, 64, 48, DXGI_FORMAT_NV12};
        D3D11_VIDEO_DECODER_CONFIG config = {};
        ASSERT_EQ(videoDevice->GetVideoDecoderConfig(&description, 0, &config), kResultOk);
        ASSERT_EQ(videoDevice->CreateVideoDecoder(&description, &config, &decoderObject), kResultOk);
        D3D11_TEXTURE2D_DESC textureDescription = {64, 48, 1, 2, DXGI_FORMAT_NV12, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_DECODER, 0, 0};
        ASSERT_EQ(device->CreateTexture2D(&textureDescription, nullptr, &texture), kResultOk);
        D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC viewDescription = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, D3D11_VDOV_DIMENSION_TEXTURE2D, {0}};
        ASSERT_EQ(videoDevice->CreateVideoDecoderOutputView(texture, &viewDescription, &view), kResultOk);
    }

    void TearDown() override
    {
        SafeRelease(view);
        SafeRelease(texture);
        SafeRelease(decoderObject);
        SafeRelease(context);
        SafeRelease(videoDevice);
        SafeRelease(device);
    }

    SimulatedVideoPlatform simulated;
    fake::Submission captured;
    ID3D11Device* device = nullptr;
    ID3D11VideoDevice* videoDevice = nullptr;
    ID3D11VideoContext* context = nullptr;
    ID3D11VideoDecoder* decoderObject = nullptr;
    ID3D11Texture2D* texture = nullptr;
    ID3D11VideoDecoderOutputView* view = nullptr;
};

TEST_F(Replay, EachSpoiledSubmissionIsRefusedWithItsReason)
{
    using Descriptions = std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC>;
    using Buffers = std::map<UINT, std::vector<uint8_t>>;
    auto slice = [](Buffers& b) { return reinterpret_cast<DXVA_Slice_H264_Short*>(b[5].data()); };
    auto picture = [](Buffers& b) { return reinterpret_cast<DXVA_PicParams_H264*>(b[0].data()); };
    const std::pair<std::function<void(Descriptions&, Buffers&)>, const char*> cases[] = {
        {[](Descriptions&, Buffers&) {}, nullptr},
        {[](Descriptions& d, Buffers&) { d.pop_back(); }, "expected 4 buffer descriptions, got 3"},
        {[](Descriptions& d, Buffers&) { d[3].BufferType = D3D11_VIDEO_DECODER_BUFFER_BITSTREAM; }, "buffer type 6 described twice"},
        {[](Descriptions&, Buffers& b) { b.erase(4); }, "buffer type 4 was not obtained and released in this frame"},
        {[](Descriptions& d, Buffers&) { d[2].DataSize = 1000; }, "picture parameters of 1000 bytes, expected 1040"},
        {[](Descriptions& d, Buffers&) { d[0].DataSize = 0; }, "no slice-control entry"},
        {[](Descriptions& d, Buffers&) { d[0].DataSize = 15; }, "not a whole number of 10-byte entries"},
        {[](Descriptions& d, Buffers&) { d[1].DataSize -= 1; }, "is not a non-zero multiple of 128"},
        {[](Descriptions& d, Buffers&) { d[1].DataSize = 1u << 30; }, "beyond its buffer"},
        {[&](Descriptions&, Buffers& b) { slice(b)[1].SliceBytesInBuffer += 1; }, "reaches past the bitstream"},
        {[&](Descriptions&, Buffers& b) { slice(b)[0].BSNALunitDataLocation += 1; }, "does not point at a 00 00 01 start code"},
        {[&](Descriptions&, Buffers& b) { picture(b)->CurrPic.Index7Bits = 1; }, "CurrPic names surface 1 but the frame was begun on surface 0"},
        {[&](Descriptions&, Buffers& b) { picture(b)->IntraPicFlag = 0; }, "predicted picture without a reference"},
    };
    for (const auto& [spoil, reason] : cases) {
        SCOPED_TRACE(reason ? reason : "as captured");
        Descriptions descriptions = captured.descriptions;
        Buffers buffers = captured.buffers;
        spoil(descriptions, buffers);
        LogCapture log;
        // Begins on surface 0, copies the buffers in and submits them.
        EXPECT_EQ(context->DecoderBeginFrame(decoderObject, view, 0, nullptr), kResultOk);
        for (auto& [type, bytes] : buffers) {
            UINT size = 0;
            void* memory = nullptr;
            EXPECT_EQ(context->GetDecoderBuffer(decoderObject, static_cast<D3D11_VIDEO_DECODER_BUFFER_TYPE>(type), &size, &memory), kResultOk);
            std::memcpy(memory, bytes.data(), std::min<size_t>(bytes.size(), size));
            EXPECT_EQ(context->ReleaseDecoderBuffer(decoderObject, static_cast<D3D11_VIDEO_DECODER_BUFFER_TYPE>(type)), kResultOk);
        }
        HRESULT result = context->SubmitDecoderBuffers(decoderObject, static_cast<UINT>(descriptions.size()), descriptions.data());
        EXPECT_EQ(context->DecoderEndFrame(decoderObject), kResultOk);
        EXPECT_EQ(result, reason ? kResultInvalidArgument : kResultOk);
        ASSERT_EQ(log.messages().size(), reason ? 1u : 0u);
        EXPECT_TRUE(!reason || log.messages()[0].find(reason) != std::string::npos) << log.messages()[0];
    }
}

}  // namespace
