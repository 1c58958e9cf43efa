#include <filesystem>
#include <fstream>
#include <iterator>
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

std::string CopyFixture(const TempDir& dir, const std::string& name)
{
    std::ifstream in(std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/" + name, std::ios::binary);
    const std::string path = (dir.path() / std::filesystem::path(name).filename()).string();
    std::ofstream(path, std::ios::binary) << in.rdbuf();
    return path;
}

// The simulated device behind a decoder that records each configured size.
struct StreamRun : ::testing::Test {
    void SetUp() override { ASSERT_EQ(decoder.Init(), 1); }
    LogCapture log;
    TempDir dir;
    platform::SimulatedVideoPlatform device;
    std::vector<std::string> sizes;
    DXVA2VideoDecoder decoder{[this](size_t width, size_t height, float, float) {
                                  sizes.push_back(std::to_string(width) + "x" + std::to_string(height));
                              }, [](int) {}, device};
};

// A stream case measured as the bundled cases are, its row from the SPS; the
// set-up configures the device once for every pass; then the bare run. The
// row's fields and both codecs are checked end to end by the --stream runs.
TEST_F(StreamRun, MeasuresAStreamThenRunsItBare)
{
    const std::string path = CopyFixture(dir, "h264/baseline_aud.264");
    BenchCase benchCase{};
    CaseMeasurement measurement;
    RunMeasuredStream(decoder, path, kCodecH264, {3, 1}, benchCase, measurement, nullptr, nullptr);
    EXPECT_TRUE(measurement.passed) << measurement.reason << "\n" << ::testing::PrintToString(log.messages());
    EXPECT_EQ(benchCase.path, path);
    EXPECT_EQ(std::vector<size_t>({benchCase.width, benchCase.height, benchCase.frameCount, measurement.latenciesUs.size()}),
              std::vector<size_t>({96, 64, 3, 3}));
    EXPECT_EQ(sizes, std::vector<std::string>({"96x64"}));

    BenchCase bare{};
    RunStreamCase(decoder, path, kCodecH264, bare);
    EXPECT_EQ(std::vector<size_t>({bare.passed, bare.frameCount, bare.elapsedUs > 0}), std::vector<size_t>({1, 3, 1}));
}

// A file that is no stream fails its case with its reason, logged once, and
// the decoder is never asked; the check is not asked either.
TEST_F(StreamRun, AFileThatIsNoStreamFailsItsCaseWithItsReason)
{
    const std::string path = (dir.path() / "notes.264").string();
    std::ofstream(path) << "not video\n";
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
    const std::string path = CopyFixture(dir, "h264/baseline_aud.264");
    std::string error;
    const auto source = StreamFrameSource::Open(path, kCodecH264, error);
    ASSERT_NE(source, nullptr) << error;
    std::filesystem::resize_file(path, 1421);
    EXPECT_FALSE(DecodeCasePass(decoder, *source));
    EXPECT_EQ(log.count("stream: " + path + ": it ended after 1 access units, not 3; did the file change?"), 1u);
}

}  // namespace
