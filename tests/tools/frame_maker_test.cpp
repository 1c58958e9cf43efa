#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_frame.h"
#include "support/temp_dir.h"
#include "tools/access_unit_splitter.h"
#include "tools/frame_file_writer.h"

namespace {

namespace fs = std::filesystem;

struct DataCase {
    const char* folder;
    uint8_t codec;
};

const DataCase kCases[] = {
    {"h264/1280_720", kCodecH264}, {"h264/1920_1080", kCodecH264}, {"h264/2560_1440", kCodecH264},
    {"h264/3840_2160", kCodecH264}, {"h265/1280_720", kCodecH265}, {"h265/1920_1080", kCodecH265},
    {"h265/2560_1440", kCodecH265}, {"h265/3840_2160", kCodecH265},
};
constexpr int kFramesPerCase = 30;

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path CaseFrame(const DataCase& c, int index)
{
    return fs::path(TARSEL_SOURCE_DIR) / "data" / c.folder / ("frame_" + std::to_string(index) + ".frame");
}

// The payloads of a case's frame files, in order.
std::vector<std::vector<uint8_t>> CasePayloads(const DataCase& c)
{
    std::vector<std::vector<uint8_t>> payloads;
    for (int index = 0; index < kFramesPerCase; ++index) {
        std::vector<uint8_t> file = ReadFile(CaseFrame(c, index));
        payloads.emplace_back(file.begin() + std::min<size_t>(5, file.size()), file.end());
    }
    return payloads;
}

std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Runs the program; gives its exit status and what it printed on both streams.
std::pair<int, std::string> RunMaker(const std::string& arguments)
{
    std::string command = std::string(TARSEL_BINARY_DIR) + "/tools/make-frame-files " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {-1, ""};
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class FrameMakerDataTest : public ::testing::TestWithParam<DataCase> {};

// The program cuts the concatenated payloads of a case back into files equal
// to the data set's, headers with their 30 fps timestamps included.
TEST_P(FrameMakerDataTest, CuttingTheConcatenatedFramesGivesThemBack)
{
    const DataCase& c = GetParam();
    TempDir dir;
    WriteFile(dir.path() / "case.stream", Concatenate(CasePayloads(c)));
    fs::path out = dir.path() / "nested" / "out";
    auto [status, output] = RunMaker(std::string("--codec ") + (c.codec == kCodecH264 ? "h264" : "h265") +
                                     " --fps 30 " + (dir.path() / "case.stream").string() + " " + out.string());
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("30 frames"), std::string::npos) << output;
    for (int index = 0; index < kFramesPerCase; ++index)
        EXPECT_EQ(ReadFile(out / ("frame_" + std::to_string(index) + ".frame")), ReadFile(CaseFrame(c, index)))
            << "frame " << index;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), kFramesPerCase);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameMakerDataTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.folder;
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
});

// A delimiter opens each access unit; an end-of-sequence unit stays with the
// picture before it.
TEST(SplitAccessUnits, DelimitersAndTrailingUnitsSitOnTheRightSide)
{
    const struct {
        uint8_t codec;
        std::vector<uint8_t> delimiter, trailing;
    } extras[] = {
        {kCodecH264, {0x00, 0x00, 0x00, 0x01, 0x09, 0xf0}, {0x00, 0x00, 0x01, 0x0a}},  // AUD; end of sequence
        {kCodecH265, {0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50}, {0x00, 0x00, 0x01, 0x48, 0x01}},  // AUD; EOS
    };
    for (const auto& extra : extras) {
        SCOPED_TRACE(static_cast<int>(extra.codec));
        std::vector<std::vector<uint8_t>> frames = CasePayloads(extra.codec == kCodecH264 ? kCases[0] : kCases[4]);
        frames.resize(4);
        for (auto& frame : frames)
            frame.insert(frame.begin(), extra.delimiter.begin(), extra.delimiter.end());
        frames.back().insert(frames.back().end(), extra.trailing.begin(), extra.trailing.end());
        std::vector<uint8_t> stream = Concatenate(frames);

        std::vector<AccessUnitRange> units;
        std::string error;
        ASSERT_TRUE(SplitAccessUnits(extra.codec, stream.data(), stream.size(), units, error)) << error;
        ASSERT_EQ(units.size(), frames.size());
        for (size_t i = 0, offset = 0; i < units.size(); offset += frames[i++].size()) {
            EXPECT_EQ(units[i].offset, offset);
            EXPECT_EQ(units[i].size, frames[i].size());
        }
    }
}

TEST(SplitAccessUnits, RefusesWhatIsNoAnnexBStreamOfTheCodec)
{
    std::vector<uint8_t> firstH264Frame = CasePayloads(kCases[0])[0];
    std::vector<uint8_t> firstHevcFrame = CasePayloads(kCases[4])[0];
    std::vector<uint8_t> withPrefix = {'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
    withPrefix.insert(withPrefix.end(), firstH264Frame.begin(), firstH264Frame.end());
    std::vector<uint8_t> forbiddenBit = firstH264Frame;
    forbiddenBit[4] |= 0x80;
    std::vector<uint8_t> emptyNal = {0x00, 0x00, 0x01, 0x00, 0x00, 0x01};
    emptyNal.insert(emptyNal.end(), firstH264Frame.begin(), firstH264Frame.end());

    const struct {
        const char* name;
        uint8_t codec;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"empty", kCodecH264, {}, "no start code"},
        {"container prefix", kCodecH264, withPrefix, "does not begin with a start code"},
        {"forbidden bit", kCodecH264, forbiddenBit, "forbidden_zero_bit"},
        {"empty NAL unit", kCodecH264, emptyNal, "empty NAL unit"},
        {"parameter sets only", kCodecH264, {0x00, 0x00, 0x01, 0x09, 0xf0}, "no H.264 pictures"},
        {"unknown codec", 2, firstH264Frame, "unknown codec"},
        {"H.264 as H.265", kCodecH265, firstH264Frame, "not a valid H.265 stream"},
        {"H.265 as H.264", kCodecH264, firstHevcFrame, "not a valid H.264 stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<AccessUnitRange> units = {{1, 2}};
        std::string error;
        EXPECT_FALSE(SplitAccessUnits(c.codec, c.bytes.data(), c.bytes.size(), units, error));
        EXPECT_TRUE(units.empty());
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(SplitAccessUnits, EveryPrefixOfAStreamIsCutOrRefusedCleanly)
{
    // Frame 0 opens with the parameter sets, frame 1 with a slice header:
    // cut inside them, every parser path sees a truncated unit.
    for (const DataCase& c : {kCases[0], kCases[4]}) {
        std::vector<std::vector<uint8_t>> payloads = CasePayloads(c);
        for (int frame : {0, 1}) {
            std::vector<uint8_t> stream = payloads[frame];
            stream.resize(std::min<size_t>(stream.size(), 160));
            for (size_t size = 0; size <= stream.size(); ++size) {
                SCOPED_TRACE(testing::Message() << c.folder << " frame " << frame << " prefix " << size);
                std::vector<uint8_t> prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size));
                std::vector<AccessUnitRange> units;
                std::string error;
                if (SplitAccessUnits(c.codec, prefix.data(), prefix.size(), units, error)) {
                    ASSERT_EQ(units.size(), 1u);
                    EXPECT_EQ(units[0].size, size);
                } else {
                    EXPECT_FALSE(error.empty());
                }
            }
        }
    }
}

// Headers at 30 fps are checked against the data set above; here the rounding and the wrap.
TEST(FrameFileWriter, TimestampsRoundToNinetyKilohertzTicksAndWrap)
{
    EXPECT_EQ(MakeFrameHeader(kCodecH265, 0x12345678), (std::vector<uint8_t>{0x11, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(FrameTimestamp(1, 30000.0 / 1001.0), 3003u);
    // Past 2^32 ticks (about 13 hours) the time wraps like any 32-bit clock.
    EXPECT_EQ(FrameTimestamp(1431656, 30.0), static_cast<uint32_t>(1431656ull * 3000ull));
}

TEST(MakeFrameFilesCommand, RefusesBadArgumentsAndInputsWithoutWritingAnyFrame)
{
    TempDir dir;
    WriteFile(dir.path() / "text.264", std::vector<uint8_t>(1000, 'a'));
    const std::string text = (dir.path() / "text.264").string();
    const fs::path out = dir.path() / "out";
    const struct {
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {"--codec h264 only-one-argument", 2, "usage: make-frame-files"},
        {"--bogus a b", 2, "usage: make-frame-files"},
        {"--codec h264 " + (dir.path() / "missing.264").string() + " " + out.string(), 1, "cannot open"},
        {"--codec h264 " + dir.path().string() + " " + out.string(), 1, "not a regular file"},
        {"--codec h264 " + text + " " + out.string(), 1, "not an Annex B byte stream"},
        {"--codec vp9 " + text + " " + out.string(), 1, "unknown codec"},
        {"--codec h264 --fps 0 " + text + " " + out.string(), 1, "--fps"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        auto [status, output] = RunMaker(c.arguments);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(output.rfind(c.status == 2 ? "usage: make-frame-files" : "make-frame-files: ", 0), 0u) << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(out));
    }
}

}  // namespace
