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
    auto writer = [](char tag) {
        for (int i = 0; i < 50000; ++i)
            g_Logger.Log(LogLevel::info, "%c %d %s", tag, i, std::string(150, tag));
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();
    g_Logger.m_Logger = previous;

    ASSERT_TRUE(std::filesystem::exists(dir.path() / "tarsel.3.log") && !std::filesystem::exists(dir.path() / "tarsel.5.log"));
    int next[2] = {0, 0};
    for (const char* name : {"tarsel.4.log", "tarsel.3.log", "tarsel.2.log", "tarsel.1.log", "tarsel.log"}) {
        std::stringstream file;
        file << std::ifstream(dir.path() / name, std::ios::binary).rdbuf();
        const std::string text = file.str();
        EXPECT_LE(text.size(), 5u * 1024 * 1024) << name;
        ASSERT_TRUE(text.empty() || text.ends_with("\r\n")) << name;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            // "[date time] [global] [info] <tag> <sequence> <150 x tag>", whole.
            const std::string line = text.substr(start, end - start);
            const char tag = line.size() > 42 ? line[42] : 0;
            ASSERT_TRUE((tag == 'a' || tag == 'b') && line.substr(24, 18) == "] [global] [info] " && line.ends_with(" " + std::string(150, tag))) << line;
            ASSERT_EQ(line.substr(44, line.size() - 44 - 151), std::to_string(next[tag - 'a']++)) << name;
        }
    }
    EXPECT_EQ(next[0], 50000);
    EXPECT_EQ(next[1], 50000);
}

}  // namespace
