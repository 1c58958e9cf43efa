#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_frame.h"
#include "support/temp_dir.h"
#include "tools/access_unit_splitter.h"
#include "tools/frame_file_writer.h"

namespace {

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

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path CaseFrame(const DataCase& c, int index)
{
    return std::filesystem::path(TARSEL_SOURCE_DIR) / "data" / c.folder / ("frame_" + std::to_string(index) + ".frame");
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

class FrameMakerDataTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(FrameMakerDataTest, CuttingTheConcatenatedFramesGivesThemBack)
{
    const DataCase& c = GetParam();
    std::vector<std::vector<uint8_t>> payloads = CasePayloads(c);
    std::vector<uint8_t> stream = Concatenate(payloads);

    std::vector<AccessUnitRange> units;
    std::string error;
    ASSERT_TRUE(SplitAccessUnits(c.codec, stream.data(), stream.size(), units, error)) << error;
    ASSERT_EQ(units.size(), payloads.size());
    for (size_t i = 0; i < units.size(); ++i)
        EXPECT_EQ(std::vector<uint8_t>(stream.begin() + units[i].offset,
                                       stream.begin() + units[i].offset + units[i].size),
                  payloads[i])
            << "frame " << i;

    TempDir dir;
    ASSERT_TRUE(WriteFrameFiles(dir.path().string(), c.codec, 30.0, stream.data(), units, error)) << error;
    for (int index = 0; index < kFramesPerCase; ++index)
        EXPECT_EQ(ReadFile(dir.path() / ("frame_" + std::to_string(index) + ".frame")), ReadFile(CaseFrame(c, index)))
            << "frame " << index;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), kFramesPerCase);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameMakerDataTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DataCase>& info) {
                             std::string name = info.param.folder;
                             for (char& ch : name)
                                 if (ch == '/')
                                     ch = '_';
                             return name;
                         });

TEST(SplitAccessUnits, DelimitersAndTrailingUnitsSitOnTheRightSide)
{
    struct Extra {
        uint8_t codec;
        std::vector<uint8_t> delimiter;  // opens each access unit
        std::vector<uint8_t> trailing;   // may only follow a picture
    };
    const Extra extras[] = {
        {kCodecH264, {0x00, 0x00, 0x00, 0x01, 0x09, 0xf0}, {0x00, 0x00, 0x01, 0x0a}},  // AUD; end of sequence
        {kCodecH265, {0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50}, {0x00, 0x00, 0x01, 0x48, 0x01}},  // AUD; EOS
    };
    for (const Extra& extra : extras) {
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
        size_t offset = 0;
        for (size_t i = 0; i < units.size(); ++i) {
            EXPECT_EQ(units[i].offset, offset);
            EXPECT_EQ(units[i].size, frames[i].size());
            offset += frames[i].size();
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

    struct BadCase {
        const char* name;
        uint8_t codec;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const BadCase cases[] = {
        {"empty", kCodecH264, {}, "no start code"},
        {"text", kCodecH265, std::vector<uint8_t>(200, 'x'), "no start code"},
        {"container prefix", kCodecH264, withPrefix, "does not begin with a start code"},
        {"forbidden bit", kCodecH264, forbiddenBit, "forbidden_zero_bit"},
        {"empty NAL unit", kCodecH264, emptyNal, "empty NAL unit"},
        {"parameter sets only", kCodecH264, {0x00, 0x00, 0x01, 0x09, 0xf0}, "no H.264 pictures"},
        {"unknown codec", 2, firstH264Frame, "unknown codec"},
        {"H.264 as H.265", kCodecH265, firstH264Frame, "not a valid H.265 stream"},
        {"H.265 as H.264", kCodecH264, firstHevcFrame, "not a valid H.264 stream"},
    };
    for (const BadCase& c : cases) {
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

TEST(FrameFileWriter, HeadersCarryCodecVersionAndNinetyKilohertzTime)
{
    EXPECT_EQ(MakeFrameHeader(kCodecH265, 0x12345678), (std::vector<uint8_t>{0x11, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(MakeFrameHeader(kCodecH264, 0), (std::vector<uint8_t>{0x01, 0, 0, 0, 0}));
    EXPECT_EQ(FrameTimestamp(29, 30.0), 87000u);
    EXPECT_EQ(FrameTimestamp(1, 30000.0 / 1001.0), 3003u);
    EXPECT_EQ(FrameTimestamp(1, 60.0), 1500u);
    // Past 2^32 ticks (about 13 hours) the time wraps like any 32-bit clock.
    EXPECT_EQ(FrameTimestamp(1431656, 30.0), static_cast<uint32_t>(1431656ull * 3000ull));
}

// Runs the program with a shell command line; gives its exit status and
// what it printed on both streams.
struct CommandResult {
    int status;
    std::string output;
};

CommandResult RunMaker(const std::string& arguments)
{
    std::string command = std::string(TARSEL_BINARY_DIR) + "/tools/make-frame-files " + arguments + " 2>&1";
    CommandResult result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        result.output += buffer;
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(MakeFrameFilesCommand, ExplainsItsUsage)
{
    for (const char* arguments : {"", "--codec h264", "--codec h264 only-one-argument", "--bogus a b"}) {
        SCOPED_TRACE(arguments);
        CommandResult result = RunMaker(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.output.find("usage: make-frame-files"), std::string::npos) << result.output;
    }
}

TEST(MakeFrameFilesCommand, FailsWithoutWritingAnyFrame)
{
    TempDir dir;
    WriteFile(dir.path() / "text.264", std::vector<uint8_t>(1000, 'a'));
    std::vector<uint8_t> truncated = CasePayloads(kCases[0])[0];
    truncated[4] |= 0x80;
    WriteFile(dir.path() / "broken.264", truncated);
    std::filesystem::path out = dir.path() / "out";

    struct FailCase {
        std::string arguments;
        const char* message;
    };
    const FailCase cases[] = {
        {"--codec h264 " + (dir.path() / "missing.264").string() + " " + out.string(), "cannot open"},
        {"--codec h264 " + dir.path().string() + " " + out.string(), "not a regular file"},
        {"--codec h264 " + (dir.path() / "text.264").string() + " " + out.string(), "not an Annex B byte stream"},
        {"--codec h264 " + (dir.path() / "broken.264").string() + " " + out.string(), "forbidden_zero_bit"},
        {"--codec vp9 " + (dir.path() / "text.264").string() + " " + out.string(), "unknown codec"},
        {"--codec h264 --fps 0 " + (dir.path() / "text.264").string() + " " + out.string(), "--fps"},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        CommandResult result = RunMaker(c.arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.output.rfind("make-frame-files: ", 0), 0u) << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(MakeFrameFilesCommand, WritesOneFilePerAccessUnit)
{
    TempDir dir;
    std::vector<uint8_t> stream = Concatenate(CasePayloads(kCases[4]));
    WriteFile(dir.path() / "case.265", stream);
    std::filesystem::path out = dir.path() / "nested" / "out";

    CommandResult result = RunMaker("--codec h265 --fps 30 " + (dir.path() / "case.265").string() + " " + out.string());
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("30 frames"), std::string::npos) << result.output;
    for (int index = 0; index < kFramesPerCase; ++index)
        EXPECT_EQ(ReadFile(out / ("frame_" + std::to_string(index) + ".frame")), ReadFile(CaseFrame(kCases[4], index)));
}

}  // namespace
