#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/video_frame.h"
#include "decoder/dxva/dxva_dump_writer.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "test_frames.h"

using namespace platform;

namespace {

// "name[16][2]" for each member of a structure as the SDK's dxva.h declares
// it, leaving out each union's whole word: the member between the bit-field
// struct's closing brace and the union's.
std::vector<std::string> SdkMembers(const std::string& header, const std::string& structure)
{
    size_t start = header.find("typedef struct _" + structure + "\n");
    std::istringstream body(header.substr(start, header.find("} " + structure + ",", start) - start));
    std::vector<std::string> lines;
    for (std::string line; std::getline(body, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            lines.push_back(line);
    lines.push_back(";");  // so that the last member has a line after it
    const std::regex declaration(R"(^\s*\w+\s+(\w+(?:\[\d+\])*)\s*(?::\s*\d+\s*)?;)");
    std::vector<std::string> members;
    std::smatch match;
    for (size_t index = 1; index + 1 < lines.size(); ++index) {
        bool wholeWord = lines[index - 1].find('}') != std::string::npos && lines[index + 1].find('}') != std::string::npos;
        if (!wholeWord && std::regex_search(lines[index], match, declaration))
            members.push_back(match[1]);
    }
    return members;
}

// The same form read from a dumped object: arrays by their nesting, and
// anything but a number at the bottom marked.
std::vector<std::string> DumpMembers(const nlohmann::ordered_json& object)
{
    std::vector<std::string> members;
    for (const auto& [name, value] : object.items()) {
        std::string member = name;
        const nlohmann::ordered_json* inner = &value;
        for (; inner->is_array() && !inner->empty(); inner = &inner->back())
            member += '[' + std::to_string(inner->size()) + ']';
        members.push_back(inner->is_number_integer() ? member : member + " (not a number)");
    }
    return members;
}

struct DumpFixture : ::testing::Test {
    // putenv keeps the buffer itself on POSIX: one that never moves.
    static void SetDumpFolder(const std::string& folder)
    {
        static char setting[4096];
        std::snprintf(setting, sizeof(setting), "TARSEL_DXVA_DUMP=%s", folder.c_str());
        putenv(setting);
    }
    void TearDown() override { SetDumpFolder(""); }

    // Decodes the first access units of the H.264 and the H.265 fixture; true when all were accepted.
    bool DecodeBothCodecs(size_t count)
    {
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, platform);
        bool accepted = decoder.Init() == 1;
        for (auto [codec, fixture] : {std::pair{kCodecH264, "h264_64x48_two_slices.h264"}, std::pair{kCodecH265, "hevc_64x48.h265"}}) {
            std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(fixture, codec);
            for (size_t index = 0; index < count && index < units.size(); ++index) {
                std::unique_ptr<VideoFrame> frame = Frame(codec, units[index], index == 0 ? 64 : 0, index == 0 ? 48 : 0);
                accepted = decoder.Decode(frame) > 0 && accepted;
            }
        }
        return accepted;
    }

    LogCapture log;
    TempDir folder;
    fake::ScriptedPlatform platform;
};

// One line per configuration and per frame, each structure with the SDK's
// members and the buffers as the device received them. (The values dumped,
// and the configured format, are compared with the streams end to end.)
TEST_F(DumpFixture, WritesOneSdkShapedLinePerConfigurationAndFrame)
{
    std::ifstream headerFile("/usr/share/mingw-w64/include/dxva.h");
    if (!headerFile)
        GTEST_SKIP() << "the SDK's dxva.h is not installed";
    const std::string header((std::istreambuf_iterator<char>(headerFile)), std::istreambuf_iterator<char>());

    for (UINT bitstreamRaw : {1u, 2u}) {
        SCOPED_TRACE(bitstreamRaw == 1 ? "long slices" : "short slices");
        // Raw 1 stays on offer: it is the one H.265 takes.
        platform.configs = {fake::Config(bitstreamRaw), fake::Config(1)};
        platform.submissions.clear();
        SetDumpFolder(folder.path().string());
        ASSERT_TRUE(DecodeBothCodecs(2));
        std::ifstream dump(folder.path() / "dxva.jsonl");
        std::vector<nlohmann::ordered_json> lines;
        for (std::string line; std::getline(dump, line);)
            lines.push_back(nlohmann::ordered_json::parse(line));
        ASSERT_EQ(lines.size(), 6u);
        const char* kSdkBufferNames[] = {"PICTURE_PARAMETERS", "", "", "", "INVERSE_QUANTIZATION_MATRIX", "SLICE_CONTROL", "BITSTREAM"};
        for (size_t index = 0; index < lines.size(); ++index) {
            const bool h264 = index < 3;
            const std::string suffix = h264 ? "H264" : "HEVC";
            if (index % 3 == 0) {
                EXPECT_TRUE(lines[index].contains("configure"));
                continue;
            }
            const nlohmann::ordered_json& frame = lines[index].at("frame");
            const fake::Submission& submission = platform.submissions.at(index - 1 - index / 3);
            std::vector<std::string> buffers;
            for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions)
                buffers.push_back(kSdkBufferNames[description.BufferType]);
            EXPECT_EQ(frame.at("buffers"), buffers);
            EXPECT_EQ(DumpMembers(frame.at("PicParams")), SdkMembers(header, "DXVA_PicParams_" + suffix));
            // Present exactly when the buffer was submitted.
            if (frame.contains("Qmatrix") || std::find(buffers.begin(), buffers.end(), kSdkBufferNames[4]) != buffers.end()) {
                EXPECT_EQ(DumpMembers(frame.value("Qmatrix", nlohmann::ordered_json::object())), SdkMembers(header, "DXVA_Qmatrix_" + suffix));
            }
            const std::string slice = h264 ? (bitstreamRaw == 1 ? "DXVA_Slice_H264_Long" : "DXVA_Slice_H264_Short") : "DXVA_Slice_HEVC_Short";
            for (const nlohmann::ordered_json& entry : frame.at("Slices"))
                EXPECT_EQ(DumpMembers(entry), SdkMembers(header, slice));
            EXPECT_EQ(frame.at("Slices").size() * (h264 && bitstreamRaw == 1 ? 864 : 10), submission.descriptions[0].DataSize);
            EXPECT_EQ(frame.at("PicParams").at("CurrPic"), frame.at("surface"));
        }
    }
    EXPECT_EQ(log.count("dxva dump"), 0u);
}

// A folder that cannot take the file, or a file that cannot take a line,
// costs one error line; every frame is still decoded.
TEST_F(DumpFixture, FailedOpenOrWriteLogsOnceAndDecodingGoesOn)
{
    const std::filesystem::path full = folder.path() / "full";
    std::filesystem::create_directory(full);
    std::error_code noLink;
    // A full disk, where there is one to point at.
    if (std::filesystem::exists("/dev/full"))
        std::filesystem::create_symlink("/dev/full", full / "dxva.jsonl", noLink);
    struct Case { std::filesystem::path folder; const char* error; };
    std::vector<Case> cases = {{folder.path() / "missing" / "deeper", "decoder: could not open the dxva dump"}};
    if (std::filesystem::is_symlink(full / "dxva.jsonl"))
        cases.push_back({full, "decoder: could not write the dxva dump"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.string());
        log.clear();
        SetDumpFolder(c.folder.string());
        EXPECT_TRUE(DecodeBothCodecs(3));
        EXPECT_EQ(log.count(c.error), 1u);
        EXPECT_EQ(log.count("dxva"), 1u);
    }
}

// Signed fields come out as negative JSON numbers, not as their unsigned
// bit patterns, in the file as written and read back.
TEST(DxvaDump, NegativeFieldsStayNegative)
{
    DXVA_PicParams_HEVC hevc{};
    hevc.PicOrderCntValList[14] = -2147483647 - 1;
    hevc.init_qp_minus26 = -26;
    DXVA_PicParams_H264 h264{};
    h264.FieldOrderCntList[15][1] = -65536;
    // One field of each shape: a scalar, an array, an array of arrays.
    const std::pair<const char*, int64_t> expected[] = {
        {"/0/PicOrderCntValList/14", -2147483648LL}, {"/0/init_qp_minus26", -26}, {"/1/FieldOrderCntList/15/1", -65536},
    };

    TempDir folder;
    {
        DxvaDumpWriter writer(folder.path());
        D3D11_VIDEO_DECODER_BUFFER_DESC description{};
        description.BufferType = D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS;
        description.DataSize = sizeof(hevc);
        writer.KeepBuffer(description.BufferType, &hevc, sizeof(hevc));
        writer.Frame(kCodecH265, 0, true, &description, 1);
        description.DataSize = sizeof(h264);
        writer.KeepBuffer(description.BufferType, &h264, sizeof(h264));
        writer.Frame(kCodecH264, 0, true, &description, 1);
    }
    std::ifstream dump(folder.path() / "dxva.jsonl");
    nlohmann::json pictures = nlohmann::json::array();
    for (std::string line; std::getline(dump, line);)
        pictures.push_back(nlohmann::json::parse(line).at("frame").at("PicParams"));
    for (const auto& [pointer, value] : expected) {
        const nlohmann::json& field = pictures.at(nlohmann::json::json_pointer(pointer));
        EXPECT_TRUE(field.is_number_integer()) << pointer;
        EXPECT_EQ(field.get<int64_t>(), value) << pointer;
    }
}

}  // namespace
