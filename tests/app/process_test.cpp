#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

const std::filesystem::path kProgram = std::filesystem::path(TARSEL_BINARY_DIR) / "app" / "tarsel-bench";

TEST(Process, WithoutChannelVariableExitsMinusOneSilently)
{
    TempDir dir;
    ProcessResult result = RunProcess(kProgram, dir.path(), {});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput, "");
    // The log was opened before the variable was read.
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tarsel.log"));
}

TEST(Process, UnwritableLogPrintsTwoLinesAndExitsMinusOne)
{
    TempDir dir;
    // A directory where the log file should be: opening it fails even as root.
    std::filesystem::create_directory(dir.path() / "tarsel.log");
    ProcessResult result = RunProcess(kProgram, dir.path(), {{"NODE_CHANNEL_FD", "3"}});
    EXPECT_EQ(result.exitStatus, 255);
    std::istringstream lines(result.standardOutput);
    std::string first, second, rest;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, rest, '\0');
    EXPECT_EQ(first.rfind("Log init failed: ", 0), 0u) << result.standardOutput;
    EXPECT_GT(first.size(), std::string("Log init failed: ").size());
    EXPECT_EQ(second, "logger: failed to init logger");
    EXPECT_EQ(rest, "");
}

}  // namespace
