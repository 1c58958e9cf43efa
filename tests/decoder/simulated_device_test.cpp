#include <gtest/gtest.h>

#include <filesystem>

#include "bench/bench_case.h"
#include "bench/video_file_frame.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated_video_device.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using namespace platform;

namespace {

// Every frame of the benchmark's data set passes the simulated device's
// checks, with short and with long H.264 slice control.
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
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [&errors](int code) { errors.push_back(code); }, simulated);
        ASSERT_EQ(decoder.Init(), 1);
        size_t frames = 0;
        for (const BenchCase& benchCase : g_BenchCases) {
            for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index, ++frames) {
                std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
                ASSERT_GT(decoder.Decode(frame), 0) << FrameFileName(benchCase, index) << "\n" << ::testing::PrintToString(log.messages());
            }
        }
        EXPECT_EQ(frames, 240u);
        EXPECT_TRUE(errors.empty());
    }
}

}  // namespace
