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

struct Counters {
    std::vector<int> errors;
    int outputChanges = 0;
};

std::unique_ptr<DXVA2VideoDecoder> InitialisedDecoder(VideoPlatform& videoPlatform, Counters& counters)
{
    auto decoder = std::make_unique<DXVA2VideoDecoder>(
        [&counters](size_t, size_t, float, float) { ++counters.outputChanges; },
        [&counters](int code) { counters.errors.push_back(code); }, videoPlatform);
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
        SCOPED_TRACE(longSlices ? "long slices" : "short slices");
        SimulatedVideoPlatform simulated({!longSlices, true});
        Counters counters;
        LogCapture log;
        auto decoder = InitialisedDecoder(simulated, counters);
        EXPECT_TRUE(log.contains("decoder : adapter 0 -> Simulated video decoder (no hardware) [0x0//0x0]"));
        size_t frames = 0;
        for (const BenchCase& benchCase : g_BenchCases) {
            for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index) {
                std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
                ASSERT_GT(decoder->Decode(frame), 0) << FrameFileName(benchCase, index) << "\n"
                                                     << ::testing::PrintToString(log.messages());
                ++frames;
            }
        }
        EXPECT_EQ(frames, 240u);
        EXPECT_EQ(counters.outputChanges, 8);
        EXPECT_TRUE(counters.errors.empty());
        EXPECT_EQ(log.count("video: decoder: this decoder is using long slice"), longSlices ? 4u : 0u);
    }
}

// Frames the decoder passes on but a strict driver must refuse: a picture whose
// size disagrees with the configuration, and a predicted picture whose
// reference surface is empty.
TEST(SimulatedDevice, RefusesBadFrames)
{
    std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(kH264Stream, kCodecH264);
    std::vector<std::vector<uint8_t>> hevc = FixtureAccessUnits("hevc_64x48.h265", kCodecH265);
    struct Case {
        const char* name;
        std::function<std::unique_ptr<VideoFrame>()> prepare;   // decoded after the IDR, must be refused
        const char* reason;
    };
    const Case cases[] = {
        {"size disagrees", [&] { return SizedFrame(kCodecH264, 128, 96, units[1]); },
         "picture parameters give 64x48, the decoder is configured for 128x96"},
        {"empty reference", nullptr, "holds no earlier picture"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        SimulatedVideoPlatform simulated;
        Counters counters;
        LogCapture log;
        auto decoder = InitialisedDecoder(simulated, counters);
        std::unique_ptr<VideoFrame> idr = SizedFrame(kCodecH264, 64, 48, units[0]);
        ASSERT_GT(decoder->Decode(idr), 0);
        std::unique_ptr<VideoFrame> bad;
        if (testCase.prepare) {
            bad = testCase.prepare();
        } else {
            // A switch to H.265 and back gives fresh, empty surfaces.
            std::unique_ptr<VideoFrame> other = SizedFrame(kCodecH265, 64, 48, hevc[0]);
            ASSERT_GT(decoder->Decode(other), 0);
            bad = SizedFrame(kCodecH264, 64, 48, units[1]);
        }
        EXPECT_EQ(decoder->Decode(bad), -3);
        EXPECT_EQ(counters.errors, std::vector<int>{-3});
        std::vector<std::string> messages = log.messages();
        bool explained = std::any_of(messages.begin(), messages.end(), [&](const std::string& line) {
            return line.rfind("decoder: simulated device refused SubmitDecoderBuffers: ", 0) == 0 &&
                   line.find(testCase.reason) != std::string::npos;
        });
        EXPECT_TRUE(explained) << ::testing::PrintToString(messages);
        EXPECT_TRUE(log.contains("decoder: failed SubmitDecoderBuffers. hr = 0x80070057"));
    }
}

// In the long format the slices must cover the picture: an access unit that
// lost its first slice leaves macroblocks 0 to 7 undescribed.
TEST(SimulatedDevice, RefusesLongSlicesThatMissMacroblocks)
{
    std::vector<uint8_t> idr = FixtureAccessUnits(kH264Stream, kCodecH264)[0];
    std::vector<size_t> slices;
    for (size_t index = 0; index + 3 < idr.size(); ++index) {
        if (idr[index] == 0 && idr[index + 1] == 0 && idr[index + 2] == 1 && (idr[index + 3] & 0x1F) == 5)
            slices.push_back(index);
    }
    ASSERT_EQ(slices.size(), 2u);
    std::vector<uint8_t> lost = idr;
    lost.erase(lost.begin() + slices[0], lost.begin() + slices[1]);

    SimulatedVideoPlatform simulated({false, true});
    Counters counters;
    LogCapture log;
    auto decoder = InitialisedDecoder(simulated, counters);
    std::unique_ptr<VideoFrame> frame = SizedFrame(kCodecH264, 64, 48, lost);
    EXPECT_EQ(decoder->Decode(frame), -3);
    EXPECT_TRUE(log.contains(
        "decoder: simulated device refused SubmitDecoderBuffers: slices cover 4 macroblocks, the picture has 12"));
    frame = SizedFrame(kCodecH264, 64, 48, idr);
    EXPECT_GT(decoder->Decode(frame), 0);
}

// Replays a submission captured from the decoder straight on the simulated
// device, with one thing spoiled at a time.
struct Replay : ::testing::Test {
    void SetUp() override
    {
        fake::FakeVideoPlatform recorder;
        recorder.adapters = {fake::CapableAdapter()};
        Counters counters;
        auto decoder = InitialisedDecoder(recorder, counters);
        std::unique_ptr<VideoFrame> idr =
            SizedFrame(kCodecH264, 64, 48, FixtureAccessUnits(kH264Stream, kCodecH264)[0]);
        ASSERT_GT(decoder->Decode(idr), 0);
        captured = recorder.submissions.at(0);

        void* factoryPointer = nullptr;
        ASSERT_EQ(simulated.CreateDXGIFactory1(IID_IDXGIFactory2, &factoryPointer), kResultOk);
        auto* factory = static_cast<IDXGIFactory2*>(factoryPointer);
        IDXGIAdapter1* adapter = nullptr;
        ASSERT_EQ(factory->EnumAdapters1(0, &adapter), kResultOk);
        ID3D11DeviceContext* deviceContext = nullptr;
        ASSERT_EQ(simulated.D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0x820, nullptr, 0,
                                              kD3D11SdkVersion, &device, nullptr, &deviceContext),
                  kResultOk);
        adapter->Release();
        factory->Release();
        void* pointer = nullptr;
        ASSERT_EQ(device->QueryInterface(IID_ID3D11VideoDevice, &pointer), kResultOk);
        videoDevice = static_cast<ID3D11VideoDevice*>(pointer);
        ASSERT_EQ(deviceContext->QueryInterface(IID_ID3D11VideoContext, &pointer), kResultOk);
        context = static_cast<ID3D11VideoContext*>(pointer);
        deviceContext->Release();

        D3D11_VIDEO_DECODER_DESC description = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, 64, 48, DXGI_FORMAT_NV12};
        D3D11_VIDEO_DECODER_CONFIG config = {};
        ASSERT_EQ(videoDevice->GetVideoDecoderConfig(&description, 0, &config), kResultOk);
        ASSERT_EQ(config.ConfigBitstreamRaw, 2u);
        ASSERT_EQ(videoDevice->CreateVideoDecoder(&description, &config, &decoderObject), kResultOk);
        D3D11_TEXTURE2D_DESC textureDescription = {64, 48, 1, 2, DXGI_FORMAT_NV12, {1, 0}, D3D11_USAGE_DEFAULT,
                                                   D3D11_BIND_DECODER, 0, 0};
        ASSERT_EQ(device->CreateTexture2D(&textureDescription, nullptr, &texture), kResultOk);
        for (UINT slice = 0; slice < 2; ++slice) {
            D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC viewDescription = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT,
                                                                    D3D11_VDOV_DIMENSION_TEXTURE2D, {slice}};
            ASSERT_EQ(videoDevice->CreateVideoDecoderOutputView(texture, &viewDescription, &views[slice]), kResultOk);
        }
    }

    void TearDown() override
    {
        for (ID3D11VideoDecoderOutputView*& view : views)
            SafeRelease(view);
        SafeRelease(texture);
        SafeRelease(decoderObject);
        SafeRelease(context);
        SafeRelease(videoDevice);
        SafeRelease(device);
    }

    // Begins on surface 0, copies the captured buffers in and submits them.
    HRESULT Submit(std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> descriptions,
                   std::map<UINT, std::vector<uint8_t>> buffers)
    {
        EXPECT_EQ(context->DecoderBeginFrame(decoderObject, views[0], 0, nullptr), kResultOk);
        for (auto& [type, bytes] : buffers) {
            auto bufferType = static_cast<D3D11_VIDEO_DECODER_BUFFER_TYPE>(type);
            UINT size = 0;
            void* memory = nullptr;
            EXPECT_EQ(context->GetDecoderBuffer(decoderObject, bufferType, &size, &memory), kResultOk);
            EXPECT_LE(bytes.size(), size);
            std::memcpy(memory, bytes.data(), std::min<size_t>(bytes.size(), size));
            EXPECT_EQ(context->ReleaseDecoderBuffer(decoderObject, bufferType), kResultOk);
        }
        HRESULT result =
            context->SubmitDecoderBuffers(decoderObject, static_cast<UINT>(descriptions.size()), descriptions.data());
        EXPECT_EQ(context->DecoderEndFrame(decoderObject), kResultOk);
        return result;
    }

    SimulatedVideoPlatform simulated;
    fake::Submission captured;
    ID3D11Device* device = nullptr;
    ID3D11VideoDevice* videoDevice = nullptr;
    ID3D11VideoContext* context = nullptr;
    ID3D11VideoDecoder* decoderObject = nullptr;
    ID3D11Texture2D* texture = nullptr;
    ID3D11VideoDecoderOutputView* views[2] = {};
};

TEST_F(Replay, EachSpoiledSubmissionIsRefusedWithItsReason)
{
    using Descriptions = std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC>;
    using Buffers = std::map<UINT, std::vector<uint8_t>>;
    auto slice = [](Buffers& buffers) { return reinterpret_cast<DXVA_Slice_H264_Short*>(buffers[5].data()); };
    struct Case {
        const char* name;
        std::function<void(Descriptions&, Buffers&)> spoil;
        const char* reason;
    };
    const Case cases[] = {
        {"as captured", [](Descriptions&, Buffers&) {}, nullptr},
        {"three descriptions", [](Descriptions& d, Buffers&) { d.pop_back(); }, "expected 4 buffer descriptions, got 3"},
        {"type twice", [](Descriptions& d, Buffers&) { d[3].BufferType = D3D11_VIDEO_DECODER_BUFFER_BITSTREAM; },
         "buffer type 6 described twice"},
        {"matrices not obtained", [](Descriptions&, Buffers& b) { b.erase(4); },
         "buffer type 4 was not obtained and released in this frame"},
        {"short picture parameters", [](Descriptions& d, Buffers&) { d[2].DataSize = 1000; },
         "picture parameters of 1000 bytes, expected 1040"},
        {"no slices", [](Descriptions& d, Buffers&) { d[0].DataSize = 0; }, "no slice-control entry"},
        {"partial entry", [](Descriptions& d, Buffers&) { d[0].DataSize = 15; }, "not a whole number of 10-byte entries"},
        {"unaligned bitstream", [](Descriptions& d, Buffers&) { d[1].DataSize -= 1; }, "is not a non-zero multiple of 128"},
        {"bitstream beyond buffer", [](Descriptions& d, Buffers&) { d[1].DataSize = 1u << 30; }, "beyond its buffer"},
        {"entry past the end", [&](Descriptions&, Buffers& b) { slice(b)[1].SliceBytesInBuffer += 1; },
         "reaches past the bitstream"},
        {"entry off its start code", [&](Descriptions&, Buffers& b) { slice(b)[0].BSNALunitDataLocation += 1; },
         "does not point at a 00 00 01 start code"},
        {"wrong target", [](Descriptions&, Buffers& b) { reinterpret_cast<DXVA_PicParams_H264*>(b[0].data())->CurrPic.Index7Bits = 1; },
         "CurrPic names surface 1 but the frame was begun on surface 0"},
        {"predicted without reference",
         [](Descriptions&, Buffers& b) { reinterpret_cast<DXVA_PicParams_H264*>(b[0].data())->IntraPicFlag = 0; },
         "predicted picture without a reference"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Descriptions descriptions = captured.descriptions;
        Buffers buffers = captured.buffers;
        testCase.spoil(descriptions, buffers);
        LogCapture log;
        HRESULT result = Submit(descriptions, buffers);
        if (!testCase.reason) {
            EXPECT_EQ(result, kResultOk);
            EXPECT_TRUE(log.messages().empty());
            continue;
        }
        EXPECT_EQ(result, kResultInvalidArgument);
        ASSERT_EQ(log.messages().size(), 1u);
        EXPECT_NE(log.messages()[0].find(testCase.reason), std::string::npos) << log.messages()[0];
    }
}

// The frame protocol: steps out of order are refused.
TEST_F(Replay, FrameProtocolOutOfOrderIsRefused)
{
    LogCapture log;
    UINT size = 0;
    void* memory = nullptr;
    EXPECT_EQ(context->DecoderEndFrame(decoderObject), kResultInvalidArgument);
    EXPECT_EQ(context->GetDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, &size, &memory), kResultInvalidArgument);
    EXPECT_EQ(context->DecoderBeginFrame(decoderObject, views[1], 0, nullptr), kResultOk);
    EXPECT_EQ(context->DecoderBeginFrame(decoderObject, views[1], 0, nullptr), kResultInvalidArgument);
    EXPECT_EQ(context->GetDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, &size, &memory), kResultOk);
    EXPECT_GE(size, 64u * 48 * 3 / 2);
    EXPECT_EQ(context->GetDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, &size, &memory), kResultInvalidArgument);
    EXPECT_EQ(context->GetDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN, &size, &memory), kResultInvalidArgument);
    EXPECT_EQ(context->SubmitDecoderBuffers(decoderObject, static_cast<UINT>(captured.descriptions.size()),
                                            captured.descriptions.data()),
              kResultInvalidArgument);
    EXPECT_EQ(context->ReleaseDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM), kResultOk);
    EXPECT_EQ(context->ReleaseDecoderBuffer(decoderObject, D3D11_VIDEO_DECODER_BUFFER_BITSTREAM), kResultInvalidArgument);
    EXPECT_EQ(context->DecoderEndFrame(decoderObject), kResultOk);
    std::vector<std::string> expected = {
        "decoder: simulated device refused DecoderEndFrame: no frame begun",
        "decoder: simulated device refused GetDecoderBuffer: no frame begun",
        "decoder: simulated device refused DecoderBeginFrame: the previous frame was not ended",
        "decoder: simulated device refused GetDecoderBuffer: buffer type 6 is already held",
        "decoder: simulated device refused GetDecoderBuffer: buffer type 8 not used by this decoder",
        "decoder: simulated device refused SubmitDecoderBuffers: buffer type 6 still held at submission",
        "decoder: simulated device refused ReleaseDecoderBuffer: buffer type 6 is not held",
    };
    EXPECT_EQ(log.messages(), expected);
}

}  // namespace
