#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tools/frame_file_writer.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path DataFrame(const std::string& folder, int index)
{
    return fs::path(TARSEL_SOURCE_DIR) / "data" / folder / ("frame_" + std::to_string(index) + ".frame");
}

// Exit status and everything make-frame-files printed.
std::pair<int, std::string> RunMaker(const std::string& arguments)
{
    FILE* pipe = popen((std::string(TARSEL_BINARY_DIR) + "/tools/make-frame-files " + arguments + " 2>&1").c_str(), "r");
    std::string output;
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        output += char(c);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class FrameMakerDataTest : public ::testing::TestWithParam<const char*> {};

// Cutting a case's payloads (each frame file after its five-byte header),
// concatenated, gives back the data set's files, 30 fps timestamps included.
TEST_P(FrameMakerDataTest, CuttingTheConcatenatedFramesGivesThemBack)
{
    const std::string folder = GetParam();
    TempDir dir;
    std::ofstream stream(dir.path() / "in", std::ios::binary);
    for (int index = 0; index < 30; ++index)
        stream << ReadFile(DataFrame(folder, index)).substr(5);
    stream.close();
    auto [status, output] = RunMaker("--codec " + folder.substr(0, 4) + " --fps 30 " + (dir.path() / "in").string() + " " +
                                     (dir.path() / "nested" / "out").string());
    ASSERT_EQ(status, 0) << output;
    for (int index = 0; index < 30; ++index)
        EXPECT_EQ(ReadFile(dir.path() / "nested" / "out" / ("frame_" + std::to_string(index) + ".frame")),
                  ReadFile(DataFrame(folder, index))) << index;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "nested" / "out"), {}), 30);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameMakerDataTest,
                         ::testing::Values("h264/1280_720", "h264/1920_1080", "h264/2560_1440", "h264/3840_2160",
                                           "h265/1280_720", "h265/1920_1080", "h265/2560_1440", "h265/3840_2160"),
                         [](const auto& info) { return std::string(info.param).replace(4, 1, "_"); });

// Input that is no H.264 stream is refused before any frame file is written.
TEST(MakeFrameFiles, RefusesAStreamOfTheWrongCodec)
{
    TempDir dir;
    std::ofstream(dir.path() / "in", std::ios::binary) << ReadFile(DataFrame("h265/1280_720", 0)).substr(5);
    auto [status, output] = RunMaker("--codec h264 " + (dir.path() / "in").string() + " " + (dir.path() / "out").string());
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(output.starts_with("make-frame-files: ") && output.find("not a valid H.264 stream") != std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

// 29.97 fps rounds to whole 90 kHz ticks; past 2^32 ticks the time wraps.
TEST(FrameFileWriter, TimestampsRoundAndWrap)
{
    EXPECT_EQ(FrameTimestamp(1, 30000.0 / 1001.0), 3003u);
    EXPECT_EQ(FrameTimestamp(1431656, 30.0), uint32_t(1431656ull * 3000ull));
}

}  // namespace
