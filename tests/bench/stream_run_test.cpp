#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_runner.h"
#include "bench/measured_run.h"
#include "bench/stream_source.h"
#include "bench/video_frame.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated/simulated_video_device.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// A decoder over the simulated device.
struct StreamRun : ::testing::Test {
    void SetUp() override { ASSERT_EQ(decoder.Init(), 1); }
    LogCapture log;
    TempDir dir;
    platform::SimulatedVideoPlatform device;
    DXVA2VideoDecoder decoder{[](size_t, size_t, float, float) {}, [](int) {}, device};
};

// A file that is no stream fails its case with its reason, logged once, and
// the decoder is never asked; the check is not asked either.
TEST_F(StreamRun, AFileThatIsNoStreamFailsItsCaseWithItsReason)
{
    const std::string path = WriteFileContents(dir.path() / "notes.264", "not video\n");
    BenchCase benchCase{};
    CaseMeasurement measurement;
    measurement.samplesUs = {1};
    bool checked = false;
    int finished = 0;
    log.clear();  // the decoder's set-up lines
    RunMeasuredStream(decoder, path, kCodecH264, {2, 0}, benchCase, measurement,
                      [&](const BenchCase&) { checked = true; return std::string(); },
                      [&](const BenchCase&, const CaseMeasurement& measured) { finished += !measured.passed; });
    const std::string reason = "stream: " + path + ": not an Annex B byte stream: it does not begin with a start code";
    EXPECT_EQ(measurement.reason, reason);
    EXPECT_EQ(std::vector<size_t>({checked, size_t(finished), measurement.samplesUs.size(), benchCase.frameCount,
                                   benchCase.passed}),
              std::vector<size_t>({0, 1, 0, 0, 0}));
    EXPECT_EQ(benchCase.path, path);
    EXPECT_EQ(log.lines(), std::vector<std::string>({"error: " + reason}));

    BenchCase bare{};
    RunStreamCase(decoder, path, kCodecH264, bare);
    EXPECT_FALSE(bare.passed);
    EXPECT_EQ(log.count(reason), 2u);
}

// A stream cut short after it was counted fails the pass that meets the end.
TEST_F(StreamRun, AStreamThatShrankAfterItWasCountedFailsThePass)
{
    const std::string fixture = std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/h264/baseline_aud.264";
    const std::string path = WriteFileContents(dir.path() / "baseline_aud.264", FileContents(fixture));
    std::string error;
    const auto source = StreamFrameSource::Open(path, kCodecH264, error);
    ASSERT_NE(source, nullptr) << error;
    std::filesystem::resize_file(path, 1421);
    EXPECT_FALSE(DecodeCasePass(decoder, *source));
    EXPECT_EQ(log.count("stream: " + path + ": it ended after 1 access units, not 3; did the file change?"), 1u);
}

}  // namespace
