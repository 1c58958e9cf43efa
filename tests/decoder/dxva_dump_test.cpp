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

#include "decoder/dxva2_video_decoder.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "test_frames.h"

using namespace platform;

namespace {

struct Member {
    std::string name;
    std::vector<size_t> extents;
};

// The members of a structure as the SDK's dxva.h declares them, leaving out
// the whole word that follows each bit-field struct in its union.
std::vector<Member> SdkMembers(const std::string& header, const std::string& structure)
{
    size_t start = header.find("typedef struct _" + structure + "\n");
    size_t end = header.find("} " + structure + ",", start);
    std::istringstream body(header.substr(start, end - start));
    const std::regex declaration(R"(^\s*\w+\s+(\w+)((?:\[\d+\])*)\s*(?::\s*\d+\s*)?;)");
    std::vector<Member> members;
    std::vector<std::string> open;  // "struct" or "union" per unclosed brace
    std::string opening = "struct";
    bool wholeWordNext = false;
    std::string line;
    std::smatch match;
    while (std::getline(body, line)) {
        if (line.find("union") != std::string::npos || line.find("struct") != std::string::npos)
            opening = line.find("union") != std::string::npos ? "union" : "struct";
        if (line.find('{') != std::string::npos)
            open.push_back(opening);
        if (line.find('}') != std::string::npos) {
            wholeWordNext = open.back() == "struct";
            open.pop_back();
        } else if (std::regex_search(line, match, declaration)) {
            Member member{match[1], {}};
            std::string extents = match[2];
            const std::regex number(R"(\d+)");
            for (std::sregex_iterator it(extents.begin(), extents.end(), number), last; it != last; ++it)
                member.extents.push_back(std::stoul(it->str()));
            if (!wholeWordNext)
                members.push_back(member);
            wholeWordNext = false;
        }
    }
    return members;
}

// Each member by name and in order, arrays nested to the declared extents and
// holding numbers, as everything else does.
void ExpectSdkShape(const nlohmann::ordered_json& object, const std::vector<Member>& members, const std::string& structure)
{
    SCOPED_TRACE(structure);
    ASSERT_TRUE(object.is_object());
    std::vector<std::string> names;
    for (auto it = object.begin(); it != object.end(); ++it)
        names.push_back(it.key());
    std::vector<std::string> expected;
    for (const Member& member : members)
        expected.push_back(member.name);
    ASSERT_EQ(names, expected);
    for (const Member& member : members) {
        const nlohmann::ordered_json* value = &object[member.name];
        for (size_t extent : member.extents) {
            ASSERT_TRUE(value->is_array() && value->size() == extent) << member.name;
            value = &(*value)[extent - 1];
        }
        EXPECT_TRUE(value->is_number_integer()) << member.name;
    }
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
// members, the buffers as the device received them, and values from the
// streams (trace_headers: the first pictures are IDRs, the next ones not).
TEST_F(DumpFixture, WritesOneSdkShapedLinePerConfigurationAndFrame)
{
    std::ifstream headerFile("/usr/share/mingw-w64/include/dxva.h");
    if (!headerFile)
        GTEST_SKIP() << "the SDK's dxva.h is not installed";
    const std::string header((std::istreambuf_iterator<char>(headerFile)), std::istreambuf_iterator<char>());

    for (UINT bitstreamRaw : {1u, 2u}) {
        SCOPED_TRACE(bitstreamRaw == 1 ? "long slices" : "short slices");
        platform.configs = {fake::Config(bitstreamRaw)};
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
                const nlohmann::ordered_json& configure = lines[index].at("configure");
                EXPECT_EQ(configure.at("codec"), h264 ? "h264" : "h265");
                EXPECT_EQ(configure.at("decoder").at("SampleWidth"), 64);
                EXPECT_EQ(configure.at("decoder").at("OutputFormat"), 103);  // DXGI_FORMAT_NV12
                EXPECT_EQ(configure.at("texture").at("SampleDesc").at("Count"), 1);
                continue;
            }
            const nlohmann::ordered_json& frame = lines[index].at("frame");
            const fake::Submission& submission = platform.submissions.at(index - 1 - index / 3);
            std::vector<std::string> buffers;
            for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions)
                buffers.push_back(kSdkBufferNames[description.BufferType]);
            EXPECT_EQ(frame.at("buffers"), buffers);
            ExpectSdkShape(frame.at("PicParams"), SdkMembers(header, "DXVA_PicParams_" + suffix), "PicParams");
            // Present exactly when the buffer was submitted.
            if (frame.contains("Qmatrix") || std::find(buffers.begin(), buffers.end(), kSdkBufferNames[4]) != buffers.end())
                ExpectSdkShape(frame.value("Qmatrix", nlohmann::ordered_json()), SdkMembers(header, "DXVA_Qmatrix_" + suffix), "Qmatrix");
            const std::string slice = h264 ? (bitstreamRaw == 1 ? "DXVA_Slice_H264_Long" : "DXVA_Slice_H264_Short") : "DXVA_Slice_HEVC_Short";
            for (const nlohmann::ordered_json& entry : frame.at("Slices"))
                ExpectSdkShape(entry, SdkMembers(header, slice), slice);
            EXPECT_EQ(frame.at("Slices").size() * (h264 && bitstreamRaw == 1 ? 864 : 10), submission.descriptions[0].DataSize);
            EXPECT_EQ(frame.at("PicParams").at("CurrPic"), frame.at("surface"));
            EXPECT_EQ(frame.at("PicParams").at(h264 ? "IntraPicFlag" : "IdrPicFlag"), index % 3 == 1 ? 1 : 0);
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

}  // namespace
