#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bench/bench_case.h"
#include "bench/video_file_frame.h"
#include "decoder/dxva2_video_decoder.h"
#include "sdk_doubles.h"
#include "support/log_capture.h"

// Every frame of the data set through the Windows code path: decoder, Direct3D
// 11 layer, COM objects implementing the SDK's interfaces, simulated device.
TEST(D3D11Layer, DecodesTheDataSetThroughTheSdkInterfaces)
{
    // The program's only test: the doubles stay in place until it ends.
    platform::g_D3D11EntryPoints = sdk_doubles::EntryPoints();
    LogCapture log;
    int outputChanges = 0;
    std::vector<int> errors;
    // The decoder's default platform: the Direct3D 11 layer on Windows.
    DXVA2VideoDecoder decoder([&](size_t, size_t, float, float) { ++outputChanges; },
                              [&](int code) { errors.push_back(code); });
    ASSERT_EQ(decoder.Init(), 1) << ::testing::PrintToString(log.messages());
    // The adapter's name crossed the SDK's record twice, as UTF-16.
    EXPECT_TRUE(log.contains("adapter 0 -> Simulated video decoder (no hardware)"));
    for (const BenchCase& benchCase : g_BenchCases)
        for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index) {
            std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
            ASSERT_GT(decoder.Decode(frame), 0) << FrameFileName(benchCase, index) << "\n"
                                                << ::testing::PrintToString(log.messages());
        }
    // 8 cases of 30 frames, each accepted by the simulated device.
    EXPECT_EQ(sdk_doubles::g_AcceptedSubmissions, 240);
    EXPECT_EQ(outputChanges, 8);
    EXPECT_TRUE(errors.empty());
}
