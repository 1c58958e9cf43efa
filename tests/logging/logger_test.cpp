#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "logging/spdlog_logger.h"
#include "support/temp_dir.h"

namespace {

// Each test logs to "tarsel.log" in a directory of its own.
class LoggerFileTest : public ::testing::Test {
protected:
    ~LoggerFileTest() override { g_Logger.m_Logger = m_Previous; }
    // Dropping the logger closes the file, so everything written is on disk.
    std::string CloseAndRead(const char* name = "tarsel.log")
    {
        g_Logger.m_Logger.reset();
        std::stringstream text;
        text << std::ifstream(m_Dir.path() / name, std::ios::binary).rdbuf();
        return text.str();
    }

    std::shared_ptr<spdlog::logger> m_Previous = g_Logger.m_Logger;
    TempDir m_Dir;
    ScopedWorkingDirectory m_Cwd{m_Dir.path()};
};

// A bad format costs only its own line; every line ends in CR LF; lines
// from a thread still running after shutdown are kept.
TEST_F(LoggerFileTest, BadFormatCostsOnlyItsLine)
{
    ASSERT_TRUE(g_Logger.Init());
    EXPECT_NO_THROW(g_Logger.Log(LogLevel::error, "missing argument %d %s", 1));
    ASSERT_TRUE(g_Logger.Shutdown());
    g_Logger.Log(LogLevel::warn, "odd value %zd 0x%x", std::ptrdiff_t(-5), int32_t(0x80004005));
    EXPECT_TRUE(std::regex_match(CloseAndRead(), std::regex(R"(\[[-\d :.]{23}\] \[global\] \[error\] log: bad format "missing argument %d %s": [^\r\n]+\r\n)"
                                                            R"(\[[-\d :.]{23}\] \[global\] \[warning\] odd value -5 0x80004005\r\n)")));
}

// The log rotates at 5 MiB into tarsel.1.log ... tarsel.5.log.
TEST_F(LoggerFileTest, NearlyFullFileRotatesBeforeTheNextLine)
{
    const std::string old = "earlier run\r\n" + std::string(5 * 1024 * 1024 - 23, 'x');
    std::ofstream(m_Dir.path() / "tarsel.log", std::ios::binary) << old;
    ASSERT_TRUE(g_Logger.Init());
    g_Logger.Log(LogLevel::info, "first line after rotation");
    EXPECT_NE(CloseAndRead().find("[info] first line after rotation\r\n"), std::string::npos);
    EXPECT_EQ(CloseAndRead("tarsel.1.log"), old);
}

TEST_F(LoggerFileTest, ManyRotationsKeepFiveOldFiles)
{
    ASSERT_TRUE(g_Logger.Init());
    // A line of 3 MiB never shares a file: generation 8 ends up the oldest kept.
    for (int generation = 0; generation < 14; ++generation)
        g_Logger.Log(LogLevel::info, "generation %d %s", generation, std::string(3 * 1024 * 1024, 'f'));
    EXPECT_NE(CloseAndRead("tarsel.5.log").find("generation 8 "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_Dir.path() / "tarsel.6.log"));
}

}  // namespace
