#include <cstddef>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include "logging/spdlog_logger.h"
#include "support/temp_dir.h"

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test gets its own working directory and a logger on "tarsel.log" there;
// the logger is dropped before the directory goes so the file is closed.
class LoggerFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Previous = g_Logger.m_Logger;
        m_Cwd = std::make_unique<ScopedWorkingDirectory>(m_Dir.path());
    }
    void TearDown() override
    {
        g_Logger.m_Logger = m_Previous;
        m_Cwd.reset();
    }
    // Closes the file so everything buffered reaches the disk.
    std::string CloseAndRead(const char* name = "tarsel.log")
    {
        g_Logger.m_Logger.reset();
        return ReadFile(m_Dir.path() / name);
    }

    TempDir m_Dir;
    std::unique_ptr<ScopedWorkingDirectory> m_Cwd;
    std::shared_ptr<spdlog::logger> m_Previous;
};

TEST_F(LoggerFileTest, LineShapeIsDefaultPatternWithCrLf)
{
    ASSERT_TRUE(g_Logger.Init());
    g_Logger.Log(LogLevel::info, "com chan connected");
    g_Logger.Log(LogLevel::warn, "odd value %d", 7);
    std::string text = CloseAndRead();

    std::regex line(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] \[global\] \[(info|warning)\] ([^\r\n]*)\r\n)");
    std::vector<std::string> messages;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        messages.push_back((*it)[1].str() + "|" + (*it)[2].str());
    EXPECT_EQ(messages, (std::vector<std::string>{"info|com chan connected", "warning|odd value 7"}));
    // Nothing but the two matched lines.
    EXPECT_EQ(std::regex_replace(text, line, ""), "");
}

TEST_F(LoggerFileTest, TrailingNewlineInFormatLeavesEmptyLine)
{
    ASSERT_TRUE(g_Logger.Init());
    g_Logger.Log(LogLevel::info, "videoDecoderOutputChanged %zdx%zd@%d\n", size_t(1280), size_t(720), 30);
    std::string text = CloseAndRead();
    const std::string tail = "[global] [info] videoDecoderOutputChanged 1280x720@30\n\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

struct Conversion {
    std::string expected;
    std::function<void()> log;
};

TEST_F(LoggerFileTest, PrintfConversionsAreTypeSafe)
{
    ASSERT_TRUE(g_Logger.Init());
    std::vector<Conversion> cases = {
        {"signed size -5", [] { g_Logger.Log(LogLevel::info, "signed size %zd", std::ptrdiff_t(-5)); }},
        {"unsigned size 18446744073709551615", [] { g_Logger.Log(LogLevel::info, "unsigned size %zu", SIZE_MAX); }},
        {"int -2147483648", [] { g_Logger.Log(LogLevel::info, "int %d", INT32_MIN); }},
        {"text pipe: hello", [] { g_Logger.Log(LogLevel::info, "text %s", "pipe: hello"); }},
        {"std string abc", [] { g_Logger.Log(LogLevel::info, "std string %s", std::string("abc")); }},
        {"hresult 0x8000ffff", [] { g_Logger.Log(LogLevel::info, "hresult 0x%x", 0x8000FFFFu); }},
        {"negative hresult 0x80004005", [] { g_Logger.Log(LogLevel::info, "negative hresult 0x%x", int32_t(0x80004005)); }},
        {"percent 100%", [] { g_Logger.Log(LogLevel::info, "percent 100%%"); }},
    };
    for (auto& c : cases)
        c.log();
    std::string text = CloseAndRead();
    for (auto& c : cases)
        EXPECT_NE(text.find("[info] " + c.expected + "\r\n"), std::string::npos) << c.expected;
}

TEST_F(LoggerFileTest, BadFormatNeverThrows)
{
    ASSERT_TRUE(g_Logger.Init());
    EXPECT_NO_THROW(g_Logger.Log(LogLevel::error, "missing argument %d %s", 1));
    g_Logger.Log(LogLevel::info, "still logging");
    std::string text = CloseAndRead();
    EXPECT_NE(text.find("still logging\r\n"), std::string::npos);
}

TEST_F(LoggerFileTest, ExistingFileIsAppendedTo)
{
    { std::ofstream(m_Dir.path() / "tarsel.log", std::ios::binary) << "earlier run\r\n"; }
    ASSERT_TRUE(g_Logger.Init());
    g_Logger.Log(LogLevel::info, "this run");
    std::string text = CloseAndRead();
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u);
    EXPECT_NE(text.find("this run\r\n"), std::string::npos);
}

TEST_F(LoggerFileTest, NearlyFullFileRotatesBeforeNextLine)
{
    const std::string old(5242870, 'x');
    { std::ofstream(m_Dir.path() / "tarsel.log", std::ios::binary) << old; }
    ASSERT_TRUE(g_Logger.Init());
    g_Logger.Log(LogLevel::info, "first line after rotation");
    std::string current = CloseAndRead();
    EXPECT_EQ(ReadFile(m_Dir.path() / "tarsel.1.log"), old);
    EXPECT_TRUE(std::regex_match(current, std::regex(R"(\[[^\]]+\] \[global\] \[info\] first line after rotation\r\n)")))
        << current;
}

TEST_F(LoggerFileTest, SixRotationsKeepFiveOldFiles)
{
    ASSERT_TRUE(g_Logger.Init());
    // Each filler line takes more than half a file, so every one of them
    // rotates: about fourteen rotations, far more than are kept.
    const std::string filler(SpdlogLogger::kMaxFileSize / 2, 'f');
    for (int generation = 0; generation < 7; ++generation) {
        g_Logger.Log(LogLevel::info, "generation %d", generation);
        g_Logger.Log(LogLevel::info, "%s", filler);
        g_Logger.Log(LogLevel::info, "%s", filler);
    }
    g_Logger.m_Logger.reset();
    auto dir = m_Dir.path();
    EXPECT_FALSE(std::filesystem::exists(dir / "tarsel.6.log"));
    // The newest generations survive; the oldest are gone.
    std::vector<std::string> names = {"tarsel.log", "tarsel.1.log", "tarsel.2.log", "tarsel.3.log", "tarsel.4.log", "tarsel.5.log"};
    std::string all;
    for (auto& name : names) {
        ASSERT_TRUE(std::filesystem::exists(dir / name)) << name;
        EXPECT_LE(std::filesystem::file_size(dir / name), SpdlogLogger::kMaxFileSize) << name;
        all += ReadFile(dir / name);
    }
    EXPECT_EQ(all.find("generation 0\r\n"), std::string::npos);
    EXPECT_NE(all.find("generation 6\r\n"), std::string::npos);
}

TEST_F(LoggerFileTest, LoggingContinuesAfterShutdown)
{
    ASSERT_TRUE(g_Logger.Init());
    ASSERT_TRUE(g_Logger.Shutdown());
    g_Logger.Log(LogLevel::info, "late line from another thread");
    std::string text = CloseAndRead();
    EXPECT_NE(text.find("late line from another thread\r\n"), std::string::npos);
}

TEST_F(LoggerFileTest, LoggerStaysOutOfRegistry)
{
    ASSERT_TRUE(g_Logger.Init());
    EXPECT_EQ(spdlog::get("global"), nullptr);
}

TEST_F(LoggerFileTest, ConcurrentWritersNeverInterleaveWithinALine)
{
    ASSERT_TRUE(g_Logger.Init());
    constexpr int kLines = 2000;
    auto writer = [](char tag) {
        for (int i = 0; i < kLines; ++i)
            g_Logger.Log(LogLevel::info, "%c-%d-%s", tag, i, std::string(64, tag));
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::string text = CloseAndRead();
    std::regex line(R"(\[global\] \[info\] ([ab])-(\d+)-([ab]{64})\r\n)");
    int counts[2] = {0, 0};
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        char tag = (*it)[1].str()[0];
        EXPECT_EQ((*it)[3].str(), std::string(64, tag));
        EXPECT_EQ(std::stoi((*it)[2].str()), counts[tag - 'a']);  // in order per writer
        ++counts[tag - 'a'];
    }
    EXPECT_EQ(counts[0], kLines);
    EXPECT_EQ(counts[1], kLines);
}

TEST_F(LoggerFileTest, InitFailurePrintsLibraryTextAndKeepsPreviousLogger)
{
    std::filesystem::create_directory(m_Dir.path() / "tarsel.log");
    auto before = g_Logger.m_Logger;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(g_Logger.Init());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Log init failed: ", 0), 0u) << out;
    EXPECT_GT(out.size(), std::string("Log init failed: \n").size());
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(g_Logger.m_Logger, before);
}

}  // namespace
