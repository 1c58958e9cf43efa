// Two threads log at full speed through several rotations of the log file;
// afterwards the kept files, read oldest first, must hold every line of each
// writer whole and in order.
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "logging/spdlog_logger.h"
#include "support/temp_dir.h"

namespace {

// About 200 bytes per line with the pattern: 2 x 50000 lines fill some 20 MB,
// four rotations, just under the five old files kept, so no line may be gone.
constexpr int kLinesPerWriter = 50000;
constexpr size_t kPayloadLength = 150;
constexpr int kExpectedRotationsAtLeast = 3;

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Checks one line of text; returns the writer index (0 or 1) and its
// sequence number, or -1 when the line is not exactly one writer's line.
int ParseLine(const std::string& line, int& sequence)
{
    static const std::string kMarker = "[global] [info] ";
    size_t at = line.find(kMarker);
    if (at == std::string::npos)
        return -1;
    std::string message = line.substr(at + kMarker.size());
    // "<tag> <sequence> <payload of tag repeated>"
    if (message.size() < 4 || (message[0] != 'a' && message[0] != 'b') || message[1] != ' ')
        return -1;
    char tag = message[0];
    size_t space = message.find(' ', 2);
    if (space == std::string::npos)
        return -1;
    try {
        sequence = std::stoi(message.substr(2, space - 2));
    } catch (const std::exception&) {
        return -1;
    }
    if (message.substr(space + 1) != std::string(kPayloadLength, tag))
        return -1;
    return tag - 'a';
}

TEST(LogUnderLoad, TwoWritersThroughRotationsLoseAndInterleaveNothing)
{
    TempDir dir;
    ScopedWorkingDirectory inDir(dir.path());
    std::shared_ptr<spdlog::logger> previous = g_Logger.m_Logger;
    ASSERT_TRUE(g_Logger.Init());

    auto writer = [](char tag) {
        const std::string payload(kPayloadLength, tag);
        for (int i = 0; i < kLinesPerWriter; ++i)
            g_Logger.Log(LogLevel::info, "%c %d %s", tag, i, payload);
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();
    // Dropping the logger closes the file, so everything written is on disk.
    g_Logger.m_Logger = previous;

    // Oldest kept file first.
    std::vector<std::filesystem::path> files;
    for (int index = static_cast<int>(SpdlogLogger::kMaxRotatedFiles); index >= 1; --index) {
        auto path = dir.path() / ("tarsel." + std::to_string(index) + ".log");
        if (std::filesystem::exists(path))
            files.push_back(path);
    }
    ASSERT_GE(static_cast<int>(files.size()), kExpectedRotationsAtLeast) << "the load did not rotate the log enough";
    ASSERT_LT(files.size(), SpdlogLogger::kMaxRotatedFiles) << "lines were rotated away; lower the load";
    files.push_back(dir.path() / SpdlogLogger::kFileName);

    std::array<int, 2> next = {0, 0};
    size_t badLines = 0;
    size_t outOfOrder = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        EXPECT_LE(std::filesystem::file_size(path), SpdlogLogger::kMaxFileSize);
        std::string text = ReadWhole(path);
        // A rotation never cuts a line: each file ends on a line end.
        ASSERT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            std::string line = text.substr(start, end - start);
            start = end + 2;
            int sequence = -1;
            int writerIndex = ParseLine(line, sequence);
            if (writerIndex < 0) {
                if (++badLines <= 5)
                    ADD_FAILURE() << "mangled line: " << line.substr(0, 200);
                continue;
            }
            // Each writer's lines arrive in the order it wrote them, none skipped.
            if (sequence != next[writerIndex] && ++outOfOrder <= 5)
                ADD_FAILURE() << "writer " << writerIndex << ": line " << sequence << " where " << next[writerIndex]
                              << " was due";
            next[writerIndex] = sequence + 1;
        }
    }
    EXPECT_EQ(badLines, 0u);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(next[0], kLinesPerWriter);
    EXPECT_EQ(next[1], kLinesPerWriter);
}

}  // namespace
