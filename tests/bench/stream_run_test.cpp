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

    // One stream case measured as the bundled cases are: set-up from the
    // first unit, recorded passes over every unit, a latency per unit; the
    // row takes the SPS's size and the unit count; then the bare run.
    void Measure(const std::string& fixture, uint8_t codec, size_t width, size_t height, size_t units)
    {
        const std::string path = CopyFixture(dir, fixture);
        BenchCase benchCase{};
        CaseMeasurement measurement;
        int finished = 0;
        RunMeasuredStream(decoder, path, codec, {3, 1}, benchCase, measurement, nullptr,
                          [&](const BenchCase& done, const CaseMeasurement&) { finished += &done == &benchCase; });
        EXPECT_TRUE(measurement.passed) << measurement.reason << "\n" << ::testing::PrintToString(log.messages());
        EXPECT_EQ(benchCase.path, path);
        EXPECT_EQ(std::vector<size_t>({benchCase.width, benchCase.height, benchCase.codec, benchCase.frameCount,
                                       benchCase.passed, size_t(finished), measurement.samplesUs.size(),
                                       measurement.latenciesUs.size()}),
                  std::vector<size_t>({width, height, codec, units, 1, 1, 3, units}));
        ASSERT_FALSE(measurement.samplesUs.empty());
        EXPECT_EQ(benchCase.elapsedUs, measurement.samplesUs[0]);
        // Configured once, by the set-up.
        EXPECT_EQ(sizes, std::vector<std::string>({std::to_string(width) + "x" + std::to_string(height)}));

        BenchCase bare{};
        RunStreamCase(decoder, path, codec, bare);
        EXPECT_EQ(std::vector<size_t>({bare.passed, bare.frameCount, bare.elapsedUs > 0}), std::vector<size_t>({1, units, 1}));
    }
};

TEST_F(StreamRun, MeasuresAnH264Stream) { Measure("h264/baseline_aud.264", kCodecH264, 96, 64, 3); }
TEST_F(StreamRun, MeasuresAnH265Stream) { Measure("hevc/slices.hevc", kCodecH265, 128, 128, 3); }

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
    RunMeasuredStream(decoder, path, kCodecH264, {2, 0}, benchCase, measurement,
                      [&](const BenchCase&) { checked = true; return std::string(); },
                      [&](const BenchCase&, const CaseMeasurement& measured) { finished += !measured.passed; });
    const std::string reason = "stream: " + path + ": not an Annex B byte stream: it does not begin with a start code";
    EXPECT_EQ(measurement.reason, reason);
    EXPECT_EQ(std::vector<size_t>({checked, size_t(finished), measurement.samplesUs.size(), benchCase.frameCount,
                                   benchCase.passed}),
              std::vector<size_t>({0, 1, 0, 0, 0}));
    EXPECT_EQ(benchCase.path, path);
    std::vector<std::string> errors;
    for (const std::string& line : log.lines())
        if (line.starts_with("error: "))
            errors.push_back(line);
    EXPECT_EQ(errors, std::vector<std::string>({"error: " + reason}));

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
