#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "logging/first_error_capture.h"
#include "logging/spdlog_logger.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// The log continues an existing file, whose size counts towards the 5 MiB at
// which it rotates, and keeps five old files. Two threads logging at full
// speed through five rotations, the first at once, lose and interleave no
// line, and every line ends in CR LF. Then a bad format costs only its own
// line, and a line from a thread still running after shutdown is kept.
TEST(Logger, TwoWritersThroughRotationsLoseAndInterleaveNothing)
{
    TempDir dir;
    ScopedWorkingDirectory inDir(dir.path());
    const std::string old = "earlier run\r\n" + std::string(5 * 1024 * 1024 - 23, 'x');
    std::ofstream(dir.path() / "tarsel.log", std::ios::binary) << old;
    std::ofstream(dir.path() / "tarsel.1.log", std::ios::binary) << "older run\r\n";  // pushed out by the fifth rotation
    auto previous = g_Logger.m_Logger;
    ASSERT_TRUE(g_Logger.Init());
    // About 230 bytes a line: 2 x 50000 lines make some 22 MiB, four files and a part.
    auto writer = [](char tag) {
        for (int i = 0; i < 50000; ++i)
            g_Logger.Log(LogLevel::info, "%c %d %s", tag, i, std::string(180, tag));
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();
    g_Logger.Log(LogLevel::error, "missing argument %d %s", 1);
    EXPECT_TRUE(g_Logger.Shutdown());
    g_Logger.Log(LogLevel::warn, "odd value %zd 0x%x", std::ptrdiff_t(-5), int32_t(0x80004005));
    g_Logger.m_Logger = previous;  // closes the file

    EXPECT_EQ(FileContents("tarsel.5.log"), old);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tarsel.6.log"));
    int next[2] = {0, 0};
    for (const char* name : {"tarsel.4.log", "tarsel.3.log", "tarsel.2.log", "tarsel.1.log", "tarsel.log"}) {
        std::string text = FileContents(name);
        EXPECT_TRUE(text.size() <= 5u * 1024 * 1024 && (text.size() > 5u * 1024 * 1024 - 300 || name == std::string("tarsel.log"))) << name << " " << text.size();
        if (name == std::string("tarsel.log")) {
            const size_t tail = text.rfind("\r\n", text.rfind("] [global] [error] ")) + 2;
            EXPECT_TRUE(std::regex_match(text.substr(tail), std::regex(R"(\[[-\d :.]{23}\] \[global\] \[error\] log: bad format "missing argument %d %s": [^\r\n]+\r\n)"
                                                                       R"(\[[-\d :.]{23}\] \[global\] \[warning\] odd value -5 0x80004005\r\n)"))) << text.substr(tail);
            text.resize(tail);
        }
        ASSERT_TRUE(text.ends_with("\r\n")) << name;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            // "[date time] [global] [info] <tag> <sequence> <180 x tag>", whole.
            const std::string line = text.substr(start, end - start);
            const char tag = line.size() > 42 ? line[42] : 0;
            ASSERT_TRUE((tag == 'a' || tag == 'b') && line.substr(24, 18) == "] [global] [info] " && line.ends_with(" " + std::string(180, tag))) << line;
            ASSERT_EQ(line.substr(44, line.size() - 44 - 181), std::to_string(next[tag - 'a']++)) << name;
        }
    }
    EXPECT_EQ(next[0], 50000);
    EXPECT_EQ(next[1], 50000);
}

}  // namespace

// The first error line of a stretch of work, trimmed, for a result to give
// as its reason; the innermost capture takes it, lines at lower levels never.
TEST(FirstErrorCapture, KeepsTheFirstErrorLineOfItsThread)
{
    LogCapture log;
    FirstErrorCapture outer;
    g_Logger.Log(LogLevel::warn, "bench: only a warning");
    {
        FirstErrorCapture inner;
        g_Logger.Log(LogLevel::error, "decoder: first %d\n", 1);
        g_Logger.Log(LogLevel::critical, "decoder: second");
        // Another thread's lines are not this capture's.
        std::thread([] { g_Logger.Log(LogLevel::error, "elsewhere"); }).join();
        EXPECT_EQ(inner.Text(), "decoder: first 1");
    }
    EXPECT_EQ(outer.Text(), "");
    g_Logger.Log(LogLevel::error, "video: third");
    EXPECT_EQ(outer.Text(), "video: third");
    EXPECT_EQ(log.count("decoder: first 1"), 1u);
}
