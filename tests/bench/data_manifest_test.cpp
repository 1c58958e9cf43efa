#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "bench/data_manifest.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// A data folder in a fresh working directory, as the program finds it:
// frame_0 holds "abc", frame_1 nothing.
class DataManifestTest : public ::testing::Test {
protected:
    DataManifestTest() : m_WorkingDirectory(m_Dir.path())
    {
        WriteFileContents("data/h264/1280_720/frame_0.frame", "abc");
        WriteFileContents("data/h264/1280_720/frame_1.frame", "");
    }

    static DataManifest Load(const std::string& manifest)
    {
        WriteFileContents("data/SHA256SUMS", manifest);
        return DataManifest::Load();
    }

    TempDir m_Dir;
    ScopedWorkingDirectory m_WorkingDirectory;
};

constexpr const char* kFrame0 = "./data/h264/1280_720/frame_0.frame";
constexpr const char* kFrame1 = "./data/h264/1280_720/frame_1.frame";
const std::string kGoodManifest =
    std::string(kAbcDigest) + "  h264/1280_720/frame_0.frame\n" + kEmptyDigest + "  h264/1280_720/frame_1.frame\n";

// Binary mode (" *"), "./" names, upper-case digits, Windows line ends and blank
// lines; any spelling of a frame's path. Text mode is the committed data set's.
TEST_F(DataManifestTest, AcceptsWhatSha256sumWritesAndAnySpellingOfAPath)
{
    const DataManifest manifest =
        Load("\r\nBA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD *./h264/1280_720/frame_0.frame\r\n\r\n" +
                 std::string(kEmptyDigest) + " *h264/1280_720/frame_1.frame");
    for (const char* path : {kFrame0, kFrame1, "data/./h264/../h264/1280_720//frame_0.frame"})
        EXPECT_EQ(manifest.Check(path), "") << path;
}

TEST_F(DataManifestTest, EachWayAFileCanGoWrongIsNamed)
{
    const DataManifest manifest = Load(kGoodManifest);
    // Rows: the frame, what it now holds (nullptr: removed), the reason.
    const std::tuple<std::string, const char*, const char*> rows[] = {
        {kFrame1, nullptr, " is missing"},
        {"./data/h264/1280_720/frame_2.frame", "abc", " is not listed in data/SHA256SUMS"},
        // Named like a listed file, but outside the data folder.
        {"./other/h264/1280_720/frame_0.frame", "abc", " is not listed in data/SHA256SUMS"},
    };
    for (const auto& [path, bytes, reason] : rows) {
        if (bytes)
            WriteFileContents(path, bytes);
        else
            std::filesystem::remove(path);
        EXPECT_EQ(manifest.Check(path), "data: " + path + reason);
    }
    std::filesystem::create_directories("data/h264/folder");
    EXPECT_EQ(manifest.Check("./data/h264/folder"), "data: ./data/h264/folder is no regular file");
}

#ifndef _WIN32
// sha256sum escapes names holding a backslash or line break, marking the line with a leading backslash.
TEST_F(DataManifestTest, UndoesSha256sumEscapes)
{
    WriteFileContents("data/back\\slash\nline", "abc");
    const DataManifest manifest = Load("\\" + std::string(kAbcDigest) + "  back\\\\slash\\nline\n");
    EXPECT_EQ(manifest.Check("./data/back\\slash\nline"), "");
}
#endif

// A bad manifest is an error, never an unchecked run.
TEST_F(DataManifestTest, BadManifestsAreRefusedNamingTheLine)
{
    const std::string abc = kAbcDigest;
    const std::string good = abc + "  h264/1280_720/frame_0.frame\n";
    std::string large = kGoodManifest;
    large.resize(DataManifest::kMaxManifestBytes + 1, '\n');
    const std::pair<std::string, std::string> rows[] = {
        {"\n\r\n", " lists no files"},
        {good + abc.substr(1) + "  a\n", " line 2: does not start with a checksum of 64 hex digits"},
        {good + "\n" + abc + " a\n", " line 3: the checksum is not followed by two spaces and a file name"},
        {abc + "  \r\n", " line 1: no file name"},
        {"\\" + abc + "  a\\q\n", " line 1: the file name has an unknown escape sequence"},
        {good + abc + "  ./h264//1280_720/frame_0.frame\n", " line 2: names the file of line 1 again"},
        {large, " is larger than 4194304 bytes"},
    };
    for (const auto& [text, error] : rows) {
        const DataManifest manifest = Load(text);
        EXPECT_EQ(manifest.GetState(), DataManifest::State::invalid) << error;
        EXPECT_EQ(manifest.Error(), "data: data/SHA256SUMS" + error);
    }

    std::filesystem::remove("data/SHA256SUMS");
    std::filesystem::create_directories("data/SHA256SUMS");
    EXPECT_EQ(DataManifest::Load().Error(), "data: data/SHA256SUMS is no regular file");
}

}  // namespace
