// Two threads log at full speed through several rotations; the kept files,
// oldest first, must hold every line of each writer whole and in order.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "logging/spdlog_logger.h"
#include "support/temp_dir.h"

namespace {

TEST(LogUnderLoad, TwoWritersThroughRotationsLoseAndInterleaveNothing)
{
    TempDir dir;
    ScopedWorkingDirectory inDir(dir.path());
    auto previous = g_Logger.m_Logger;
    ASSERT_TRUE(g_Logger.Init());
    // About 200 bytes a line: 2 x 50000 lines make some 20 MB, four rotations, fewer than the five files kept.
    constexpr int kLines = 50000;
    auto writer = [](char tag) {
        for (int i = 0; i < kLines; ++i)
            g_Logger.Log(LogLevel::info, "%c %d %s", tag, i, std::string(150, tag));
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();
    g_Logger.m_Logger = previous;

    ASSERT_TRUE(std::filesystem::exists(dir.path() / "tarsel.3.log"));
    ASSERT_FALSE(std::filesystem::exists(dir.path() / "tarsel.5.log")) << "lines were rotated away; lower the load";
    int next[2] = {0, 0};
    for (const char* name : {"tarsel.4.log", "tarsel.3.log", "tarsel.2.log", "tarsel.1.log", "tarsel.log"}) {
        if (!std::filesystem::exists(dir.path() / name))
            continue;
        std::stringstream file;
        file << std::ifstream(dir.path() / name, std::ios::binary).rdbuf();
        const std::string text = file.str();
        EXPECT_LE(text.size(), 5u * 1024 * 1024) << name;
        // Whole lines only, each writer's in order and none skipped.
        ASSERT_TRUE(text.ends_with("\r\n")) << name;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::string line = text.substr(start, end - start);
            size_t at = line.find("] [global] [info] ");
            std::istringstream fields(line.substr(at == std::string::npos ? line.size() : at + 18));
            char tag = 0;
            int sequence = -1;
            std::string payload;
            fields >> tag >> sequence >> payload;
            ASSERT_TRUE((tag == 'a' || tag == 'b') && payload == std::string(150, tag) && fields.eof()) << line;
            ASSERT_EQ(sequence, next[tag - 'a']++) << name;
        }
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

}  // namespace
