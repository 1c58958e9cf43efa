#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "bench/benchmark_runner.h"
#include "bench/measured_run.h"
#include "bench/stream_reader.h"
#include "bench/stream_source.h"
#include "bench/video_frame.h"
#include "bitstream/annexb_fixture.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated/simulated_video_device.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

std::string Fixture(const std::string& codec, const std::string& name)
{
    return FileContents(FixturePath(codec, name));
}

// Whatever is no usable stream is refused with one line naming the path,
// before anything could be timed; memory stays bounded by the unit limit. A
// huge file of nothing and a FIFO without a writer are refused without
// reading the whole file or waiting. The cut itself is held to the splitter's
// by the fuzz replay and checked unit by unit by the corpus runs.
TEST(StreamFrameSource, RefusesWhatIsNoUsableStreamWithOneLine)
{
    TempDir dir;
#ifndef _WIN32
    WriteFileContents(dir.path() / "huge.264", "");
    ASSERT_EQ(truncate((dir.path() / "huge.264").c_str(), off_t{8} << 30), 0);
    ASSERT_EQ(mkfifo((dir.path() / "fifo.264").c_str(), 0600), 0);
#endif
    const std::string aud = Fixture("h264", "baseline_aud.264");
    const std::string hevc = Fixture("hevc", "aud_temporal_layers.hevc");
    std::filesystem::create_directories(dir.path() / "folder");
    const struct {
        std::string name;
        std::string bytes;  // written unless the name exists already
        uint8_t codec;
        size_t maxUnit;
        std::string reason;
    } rows[] = {
        {"missing.264", "", 0, 0, "cannot open it: No such file or directory"},
        {"folder", "", 0, 0, "it is a directory, not a video stream file"},
        {"empty.264", "", 0, 0, "the file is empty"},
        {"bare.264", std::string("\0\0\x01", 3), 0, 0, "not an Annex B byte stream: no start code"},
        {"forbidden.264", std::string("\0\0\x01\x85\x11\x22", 6), 0, 0,
         "not an H.264 stream: forbidden_zero_bit set in the NAL unit at offset 3"},
        {"empty_nal.264", aud.substr(0, 6) + std::string("\0\0\x01", 3) + aud.substr(6), 0, 0,
         "empty NAL unit at offset 9"},
        {"h264_as.hevc", aud, 1, 0,
         "not a valid H.265 stream: NAL unit of type 4 at offset 4: its header is not that of a single-layer H.265 "
         "stream (it looks like an H.264 stream)"},
        // The SPS cut out.
        {"no_sps.264", aud.substr(0, 6) + aud.substr(32), 0, 0, "its first access unit has no sequence parameter set"},
        {"headers_only.264", aud.substr(0, 41), 0, 0, "no H.264 pictures found"},
        // The last slice cut two bytes after its NAL unit header.
        {"truncated.264", aud.substr(0, 1620), 0, 0,
         "not a valid H.264 stream: NAL unit of type 1 at offset 1617: it ends inside its slice header"},
        {"truncated.hevc", hevc.substr(0, 522), 1, 0,
         "not a valid H.265 stream: NAL unit of type 1 at offset 518: it ends inside its slice header"},
        // A unit limit one byte short of the first unit.
        {"first_large.264", aud, 0, 1420, "the access unit at offset 0 is larger than 1420 bytes"},
#ifndef _WIN32
        {"huge.264", "", 0, 0, "the access unit at offset 0 is larger than 32 MiB"},
        {"fifo.264", "", 0, 0, "it is not a regular file"},
#endif
    };
    for (const auto& row : rows) {
        const std::string path = (dir.path() / row.name).string();
        if (row.name != "missing.264" && !std::filesystem::exists(path))
            WriteFileContents(path, row.bytes);
        std::string error;
        const auto source = StreamFrameSource::Open(path, row.codec, error, 64,
                                                    row.maxUnit ? row.maxUnit : StreamReader::kMaxAccessUnitSize);
        EXPECT_EQ(source, nullptr) << row.name;
        EXPECT_EQ(error, "stream: " + path + ": " + row.reason);
    }
    // A unit at the limit is no error.
    std::string error;
    const std::string atLimit = WriteFileContents(dir.path() / "at_limit.264", aud);
    EXPECT_NE(StreamFrameSource::Open(atLimit, 0, error, 64, 1421), nullptr) << error;
}

TEST(StreamCodecFromName, KnowsTheStreamExtensionsInAnyCase)
{
    const std::pair<std::string, int> rows[] = {{"a.264", 0}, {"dir/b.H264", 0}, {"c.265", 1}, {"d.h265", 1},
                                                 {"e.HEVC", 1}, {"f.mp4", -1}, {"264", -1}, {"g.264.txt", -1}};
    for (const auto& [name, expected] : rows) {
        uint8_t codec = 9;
        EXPECT_EQ(StreamCodecFromName(name, codec) ? int(codec) : -1, expected) << name;
    }
}

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
    const std::string path = WriteFileContents(dir.path() / "baseline_aud.264", Fixture("h264", "baseline_aud.264"));
    std::string error;
    const auto source = StreamFrameSource::Open(path, kCodecH264, error);
    ASSERT_NE(source, nullptr) << error;
    std::filesystem::resize_file(path, 1421);
    EXPECT_FALSE(DecodeCasePass(decoder, *source));
    EXPECT_EQ(log.count("stream: " + path + ": it ended after 1 access units, not 3; did the file change?"), 1u);
}

}  // namespace
