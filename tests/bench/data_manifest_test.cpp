#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/bench_case.h"
#include "bench/data_manifest.h"
#include "bench/sha256.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

std::string Hex(const std::optional<Sha256Digest>& digest)
{
    return digest ? Sha256Hex(*digest) : "(failed)";
}

// The published test vectors, through every way in: whole, piecewise in
// uneven pieces, and from a file.
TEST(Sha256, HashesTheStandardVectorsWholePiecewiseAndFromFiles)
{
    const struct {
        std::string input;
        const char* digest;
    } rows[] = {
        {"", kEmptyDigest},
        {"abc", kAbcDigest},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // Bigger than one chunk of a file read.
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input.size());
        EXPECT_EQ(Hex(Sha256Bytes(row.input)), row.digest);

        Sha256 hash;
        size_t done = 0;
        for (size_t piece = 1; done < row.input.size(); piece = piece * 7 + 3) {
            const size_t size = std::min(piece, row.input.size() - done);
            ASSERT_TRUE(hash.Update(row.input.data() + done, size));
            done += size;
        }
        EXPECT_EQ(Hex(hash.Finish()), row.digest);

        const std::filesystem::path file = dir.path() / "input";
        WriteFile(file, row.input);
        EXPECT_EQ(Hex(Sha256File(file.string())), row.digest);
    }
}

// Files whose sizes fall on and around the chunk boundaries, of bytes that
// differ from chunk to chunk, so that a chunk read twice or skipped shows.
TEST(Sha256, FileHashEqualsTheHashOfItsBytesAcrossChunkBoundaries)
{
    TempDir dir;
    for (size_t size : {kSha256FileChunk - 1, kSha256FileChunk, kSha256FileChunk + 1, 3 * kSha256FileChunk + 7}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 131 + i / 1000) & 0xff);
        const std::filesystem::path file = dir.path() / "chunks";
        WriteFile(file, bytes);
        EXPECT_EQ(Hex(Sha256File(file.string())), Hex(Sha256Bytes(bytes))) << size;
    }
}

TEST(Sha256, NoDigestForMissingFilesOrFolders)
{
    TempDir dir;
    EXPECT_FALSE(Sha256File((dir.path() / "absent").string()));
    EXPECT_FALSE(Sha256File(dir.path().string()));
}

TEST(Sha256, HexRoundTripsInEitherCaseAndRefusesAnythingElse)
{
    const std::optional<Sha256Digest> lower = ParseSha256Hex(kAbcDigest);
    ASSERT_TRUE(lower);
    EXPECT_EQ((*lower)[0], 0xba);
    EXPECT_EQ((*lower)[31], 0xad);
    EXPECT_EQ(Sha256Hex(*lower), kAbcDigest);
    const std::optional<Sha256Digest> upper =
        ParseSha256Hex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    ASSERT_TRUE(upper);
    EXPECT_EQ(*upper, *lower);

    const std::string good = kAbcDigest;
    for (const std::string& bad : {good.substr(1), good + "0", good.substr(0, 63) + "g", std::string(),
                                   good.substr(0, 10) + " " + good.substr(11)})
        EXPECT_FALSE(ParseSha256Hex(bad)) << bad;
}

// A data folder in a fresh working directory, as the program finds it:
// frame_0 holds "abc", frame_1 nothing.
class DataManifestTest : public ::testing::Test {
protected:
    DataManifestTest() : m_WorkingDirectory(m_Dir.path())
    {
        WriteFile("data/h264/1280_720/frame_0.frame", "abc");
        WriteFile("data/h264/1280_720/frame_1.frame", "");
    }

    static std::string GoodManifest(const char* lineEnd)
    {
        return std::string(kAbcDigest) + "  h264/1280_720/frame_0.frame" + lineEnd + kEmptyDigest +
               "  h264/1280_720/frame_1.frame" + lineEnd;
    }

    TempDir m_Dir;
    ScopedWorkingDirectory m_WorkingDirectory;
};

constexpr const char* kFrame0 = "./data/h264/1280_720/frame_0.frame";
constexpr const char* kFrame1 = "./data/h264/1280_720/frame_1.frame";

TEST_F(DataManifestTest, MatchingFilesPassUnderAnySpellingOfTheirPath)
{
    WriteFile("data/SHA256SUMS", GoodManifest("\n"));
    const DataManifest manifest = DataManifest::Load();
    ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
    EXPECT_EQ(manifest.FileCount(), 2u);
    for (const char* path : {kFrame0, kFrame1, "data/h264/1280_720/frame_0.frame",
                             "./data/./h264/../h264/1280_720//frame_0.frame"})
        EXPECT_EQ(manifest.Check(path), "") << path;
}

TEST_F(DataManifestTest, EachWayAFileCanGoWrongIsNamed)
{
    WriteFile("data/SHA256SUMS", GoodManifest("\n"));
    const struct {
        const char* what;
        std::string path;
        std::string file;  // written at `path` first
        bool remove;       // instead of writing it
        std::string reason;
    } rows[] = {
        {"truncated", kFrame0, "ab", false,
         "data: ./data/h264/1280_720/frame_0.frame does not match data/SHA256SUMS (truncated or altered)"},
        {"altered", kFrame0, "abd", false,
         "data: ./data/h264/1280_720/frame_0.frame does not match data/SHA256SUMS (truncated or altered)"},
        {"grown", kFrame1, "x", false,
         "data: ./data/h264/1280_720/frame_1.frame does not match data/SHA256SUMS (truncated or altered)"},
        {"missing", kFrame1, "", true, "data: ./data/h264/1280_720/frame_1.frame is missing"},
        {"unlisted", "./data/h264/1280_720/frame_2.frame", "abc", false,
         "data: ./data/h264/1280_720/frame_2.frame is not listed in data/SHA256SUMS"},
        {"outside the data folder", "./other/h264/1280_720/frame_0.frame", "abc", false,
         "data: ./other/h264/1280_720/frame_0.frame is not listed in data/SHA256SUMS"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.remove)
            std::filesystem::remove(row.path);
        else
            WriteFile(row.path, row.file);
        const DataManifest manifest = DataManifest::Load("./data");
        ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
        EXPECT_EQ(manifest.Check(row.path), row.reason);
        // Put the set right for the next row.
        WriteFile(kFrame0, "abc");
        WriteFile(kFrame1, "");
    }
    const DataManifest manifest = DataManifest::Load();
    std::filesystem::create_directories("data/h264/folder");
    EXPECT_EQ(manifest.Check("./data/h264/folder"), "data: ./data/h264/folder is no regular file");
}

// sha256sum writes "  " in text mode, " *" in binary mode; a manifest written
// in another folder may name its files "./..."; Windows saves CR LF.
TEST_F(DataManifestTest, AcceptsWhatSha256sumWritesAndWindowsLineEnds)
{
    const struct {
        const char* what;
        std::string manifest;
    } rows[] = {
        {"CR LF", GoodManifest("\r\n")},
        {"binary mode and ./ names", std::string(kAbcDigest) + " *./h264/1280_720/frame_0.frame\n" + kEmptyDigest +
                                         " *h264/1280_720/frame_1.frame"},
        {"upper-case digits and blank lines",
         "\nBA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD  h264/1280_720/frame_0.frame\n\r\n" +
             std::string(kEmptyDigest) + "  h264/1280_720/frame_1.frame\n\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile("data/SHA256SUMS", row.manifest);
        const DataManifest manifest = DataManifest::Load();
        ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
        EXPECT_EQ(manifest.FileCount(), 2u);
        EXPECT_EQ(manifest.Check(kFrame0), "");
        EXPECT_EQ(manifest.Check(kFrame1), "");
    }
}

#ifndef _WIN32
// sha256sum escapes a name holding a backslash or a line break and marks the
// line with a leading backslash.
TEST_F(DataManifestTest, UndoesSha256sumEscapes)
{
    WriteFile("data/back\\slash\nline", "abc");
    WriteFile("data/SHA256SUMS", "\\" + std::string(kAbcDigest) + "  back\\\\slash\\nline\n");
    const DataManifest manifest = DataManifest::Load();
    ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
    EXPECT_EQ(manifest.Check("./data/back\\slash\nline"), "");
}
#endif

TEST_F(DataManifestTest, MalformedManifestsAreRefusedNamingTheLine)
{
    const std::string abc = kAbcDigest;
    const std::string good = abc + "  h264/1280_720/frame_0.frame\n";
    const struct {
        const char* what;
        std::string manifest;
        std::string error;
    } rows[] = {
        {"empty", "", "data: data/SHA256SUMS lists no files"},
        {"blank lines only", "\n\r\n\n", "data: data/SHA256SUMS lists no files"},
        {"a non-hex digit", "g" + abc.substr(1) + "  a\n", "data: data/SHA256SUMS line 1: "},
        {"63 digits", good + abc.substr(1) + "  a\n", "data: data/SHA256SUMS line 2: "},
        {"65 digits", good + "\n" + abc + "0  a\n", "data: data/SHA256SUMS line 3: "},
        {"one space", good + abc + " a\n", "data: data/SHA256SUMS line 2: "},
        {"a tab", good + abc + "\ta\n", "data: data/SHA256SUMS line 2: "},
        {"no name", good + abc + "  \n", "data: data/SHA256SUMS line 2: no file name"},
        {"no name, CR LF", abc + "  \r\n", "data: data/SHA256SUMS line 1: no file name"},
        {"the digest only", abc, "data: data/SHA256SUMS line 1: "},
        {"words", good + "not a checksum line\n", "data: data/SHA256SUMS line 2: "},
        {"a name twice under two spellings", good + abc + "  ./h264//1280_720/frame_0.frame\n",
         "data: data/SHA256SUMS line 2: names the file of line 1 again"},
        {"an unknown escape", "\\" + abc + "  a\\q\n", "data: data/SHA256SUMS line 1: "},
        {"a trailing backslash", "\\" + abc + "  a\\\n", "data: data/SHA256SUMS line 1: "},
        {"a very long line", good + std::string(200000, 'f') + "\n", "data: data/SHA256SUMS line 2: "},
        {"NUL bytes", good + std::string(70, '\0') + "\n", "data: data/SHA256SUMS line 2: "},
        {"binary bytes", std::string("\xff\xfe\x00\x01\x80", 5), "data: data/SHA256SUMS line 1: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile("data/SHA256SUMS", row.manifest);
        const DataManifest manifest = DataManifest::Load();
        EXPECT_EQ(manifest.GetState(), DataManifest::State::invalid);
        EXPECT_EQ(manifest.Error().substr(0, row.error.size()), row.error) << manifest.Error();
        EXPECT_EQ(manifest.Error().find('\n'), std::string::npos);
    }
}

TEST_F(DataManifestTest, WithoutAManifestTheRunIsUnchecked)
{
    EXPECT_EQ(DataManifest::Load().GetState(), DataManifest::State::absent);
    EXPECT_EQ(DataManifest::Load("./no-such-folder").GetState(), DataManifest::State::absent);
    EXPECT_EQ(DataManifest::Load().Identity(), "");
}

TEST_F(DataManifestTest, AManifestThatIsNoFileOrTooLargeIsAnError)
{
    std::filesystem::create_directories("data/SHA256SUMS");
    DataManifest manifest = DataManifest::Load();
    EXPECT_EQ(manifest.GetState(), DataManifest::State::invalid);
    EXPECT_EQ(manifest.Error(), "data: data/SHA256SUMS is no regular file");
    std::filesystem::remove("data/SHA256SUMS");

    std::string large = GoodManifest("\n");
    large.resize(DataManifest::kMaxManifestBytes + 1, '\n');
    WriteFile("data/SHA256SUMS", large);
    manifest = DataManifest::Load();
    EXPECT_EQ(manifest.GetState(), DataManifest::State::invalid);
    EXPECT_NE(manifest.Error().find("data/SHA256SUMS is larger than"), std::string::npos) << manifest.Error();
}

// The identity is the SHA-256 of the manifest's bytes, line ends included.
TEST_F(DataManifestTest, IdentityIsTheHashOfTheManifestFile)
{
    WriteFile("data/h264/1280_720/a", "");
    WriteFile("data/SHA256SUMS", std::string(kEmptyDigest) + "  a");
    DataManifest manifest = DataManifest::Load();
    ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
    // `sha256sum` of the file, computed once.
    EXPECT_EQ(manifest.Identity(), "bbbe2c2abb8e8121ff523e246bf2a0072d52d00937b4430e25cf2b1d39fefc92");

    for (const char* lineEnd : {"\n", "\r\n"}) {
        WriteFile("data/SHA256SUMS", GoodManifest(lineEnd));
        manifest = DataManifest::Load();
        ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
        EXPECT_EQ(manifest.Identity(), Hex(Sha256File("data/SHA256SUMS")));
    }
}

// The repository's own set, when the tests run from a checkout holding it.
TEST(DataManifest, TheRepositorysFramesMatchTheirManifest)
{
    const std::filesystem::path source = TARSEL_SOURCE_DIR;
    if (!std::filesystem::exists(source / "data" / "SHA256SUMS"))
        GTEST_SKIP() << "no data/SHA256SUMS beside the tests";
    ScopedWorkingDirectory inSource(source);
    const DataManifest manifest = DataManifest::Load();
    ASSERT_EQ(manifest.GetState(), DataManifest::State::loaded) << manifest.Error();
    for (const BenchCase& benchCase : g_BenchCases)
        for (int32_t index = 0; static_cast<size_t>(index) < benchCase.frameCount; ++index)
            EXPECT_EQ(manifest.Check(FrameFileName(benchCase, index)), "");
}

}  // namespace
