#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bench/bench_case.h"
#include "bench/video_file_frame.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/d3d11/d3d11_entry_points.h"
#include "sdk_doubles.h"
#include "support/log_capture.h"

namespace {

// Puts other entry points behind the Direct3D 11 layer for one test.
class ScopedEntryPoints {
public:
    explicit ScopedEntryPoints(platform::D3D11EntryPoints replacement) { platform::g_D3D11EntryPoints = replacement; }
    ~ScopedEntryPoints() { platform::g_D3D11EntryPoints = m_Saved; }

private:
    platform::D3D11EntryPoints m_Saved = platform::g_D3D11EntryPoints;
};

// Every frame of the data set through the Windows code path: decoder, Direct3D
// 11 layer, COM objects implementing the SDK's interfaces, simulated device.
TEST(D3D11Layer, DecodesTheDataSetThroughTheSdkInterfaces)
{
    ScopedEntryPoints doubles({&sdk_doubles::CreateDXGIFactory1, &sdk_doubles::D3D11CreateDevice});
    sdk_doubles::g_AcceptedSubmissions = 0;
    LogCapture log;
    int outputChanges = 0;
    std::vector<int> errors;
    // The decoder's default platform: the Direct3D 11 layer on Windows.
    DXVA2VideoDecoder decoder([&](size_t, size_t, float, float) { ++outputChanges; },
                              [&](int code) { errors.push_back(code); });
    ASSERT_EQ(decoder.Init(), 1) << ::testing::PrintToString(log.messages());
    // The adapter's name crossed the SDK's record twice, as UTF-16.
    EXPECT_TRUE(log.contains("adapter 0 -> Simulated video decoder (no hardware)"));
    for (const BenchCase& benchCase : g_BenchCases) {
        for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index) {
            std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
            ASSERT_GT(decoder.Decode(frame), 0) << FrameFileName(benchCase, index) << "\n"
                                                << ::testing::PrintToString(log.messages());
        }
    }
    // 8 cases of 30 frames, each accepted by the simulated device.
    EXPECT_EQ(sdk_doubles::g_AcceptedSubmissions, 240);
    EXPECT_EQ(outputChanges, 8);
    EXPECT_TRUE(errors.empty());
}

}  // namespace
