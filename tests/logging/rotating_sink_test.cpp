#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>

#include "logging/rotating_log_sink.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// The real file system, except that a held file can be neither renamed nor
// removed, as on Windows while another program has it open without sharing
// deletion, and that the next m_Failures appends fail: cut short (all but the
// last byte reach the file) or with nothing written.
class FaultyFiles : public LogFileSystem {
public:
    std::error_code Rename(const std::string& from, const std::string& to) override
    {
        if (from == "tarsel.log")
            m_LogRenames.push_back(Clock::now());
        return m_Held.count(from) ? std::make_error_code(std::errc::device_or_resource_busy) : LogFileSystem::Rename(from, to);
    }
    std::error_code Remove(const std::string& name) override
    {
        return m_Held.count(name) ? std::make_error_code(std::errc::device_or_resource_busy) : LogFileSystem::Remove(name);
    }
    std::unique_ptr<LogFile> Open(const std::string& name, std::error_code& error) override
    {
        auto file = LogFileSystem::Open(name, error);
        return file ? std::make_unique<File>(std::move(file), *this) : nullptr;
    }
    std::set<std::string> m_Held;
    std::vector<Clock::time_point> m_LogRenames;
    int m_Failures = 0;
    bool m_CutShort = false;

private:
    class File final : public LogFile {
    public:
        File(std::unique_ptr<LogFile> real, FaultyFiles& files) : m_Real(std::move(real)), m_Files(files) {}
        std::error_code Append(const char* data, size_t size, size_t& written) override
        {
            written = 0;
            if (m_Files.m_Failures == 0)
                return m_Real->Append(data, size, written);
            --m_Files.m_Failures;
            if (m_Files.m_CutShort && size > 1) {
                EXPECT_FALSE(m_Real->Append(data, size - 1, written));
            }
            return std::make_error_code(std::errc::no_space_on_device);
        }
        uint64_t Size() override { return m_Real->Size(); }
        bool IsNamed(const std::string& name) override { return m_Real->IsNamed(name); }
        bool Lock() override { return m_Real->Lock(); }
        void Unlock() override { m_Real->Unlock(); }

    private:
        std::unique_ptr<LogFile> m_Real;
        FaultyFiles& m_Files;
    };
};

std::shared_ptr<spdlog::logger> MakeLogger(std::shared_ptr<LogFileSystem> files, uint64_t maxSize)
{
    auto logger = std::make_shared<spdlog::logger>("global", std::make_shared<RotatingLogSink>("tarsel.log", maxSize, 5, files));
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(spdlog::pattern_time_type::local, "\r\n"));
    return logger;
}

// The info messages in the named files, in file order.
std::vector<std::string> Messages(std::initializer_list<const char*> names)
{
    std::vector<std::string> messages;
    for (const char* name : names) {
        const std::string text = FileContents(name);
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const size_t message = text.find("] [info] ", start);
            if (message < end)
                messages.push_back(text.substr(message + 9, end - message - 9));
        }
    }
    return messages;
}

// A rotation blocked by a held file (the log itself, an old kept file, the
// oldest one that should go) loses no line and no kept file, says so once,
// retries at most once a second, and completes once the holder lets go.
TEST(RotatingLogSink, HeldFilePutsRotationOffWithoutLosingAnything)
{
    for (const char* held : {"tarsel.log", "tarsel.3.log", "tarsel.5.log"}) {
        SCOPED_TRACE(held);
        TempDir dir;
        ScopedWorkingDirectory inDir(dir.path());
        for (int index = 1; index <= 5; ++index)
            std::ofstream("tarsel." + std::to_string(index) + ".log", std::ios::binary) << "kept " << index << "\r\n";
        std::ofstream("tarsel.log", std::ios::binary) << std::string(9000, 'x') << "\r\n";
        auto files = std::make_shared<FaultyFiles>();
        files->m_Held.insert(held);
        auto logger = MakeLogger(files, 10000);
        std::vector<std::string> sent;
        const auto started = Clock::now();
        auto logWhile = [&](auto condition) {
            for (; condition(); std::this_thread::sleep_for(std::chrono::milliseconds(5)))
                logger->info(sent.emplace_back("line " + std::to_string(sent.size())));
        };
        logWhile([&] { return Clock::now() - started < std::chrono::milliseconds(1500); });
        files->m_Held.clear();
        logWhile([&] {
            return FileContents("tarsel.log").starts_with("xxx") && Clock::now() - started < std::chrono::seconds(5);
        });
        logger.reset();

        const std::string oldLog = FileContents("tarsel.1.log");
        EXPECT_TRUE(oldLog.starts_with(std::string(9000, 'x') + "\r\n")) << oldLog.substr(0, 80);
        EXPECT_EQ(FileContents("tarsel.2.log") + FileContents("tarsel.3.log") + FileContents("tarsel.4.log") +
                      FileContents("tarsel.5.log"),
                  "kept 1\r\nkept 2\r\nkept 3\r\nkept 4\r\n");
        EXPECT_FALSE(std::filesystem::exists("tarsel.6.log"));
        EXPECT_EQ(Messages({"tarsel.1.log", "tarsel.log"}), sent);
        // Said once.
        const std::string putOff = "] [global] [error] log: rotation put off, tarsel.log grows past its limit";
        EXPECT_TRUE(oldLog.find(putOff) != std::string::npos && oldLog.find(putOff) == oldLog.rfind(putOff));
        EXPECT_NE(oldLog.find(std::string("could not ") + (held == std::string("tarsel.5.log") ? "remove " : "rename ") + held), std::string::npos);
        ASSERT_GE(files->m_LogRenames.size(), held == std::string("tarsel.log") ? 3u : 1u);
        for (size_t attempt = 1; attempt < files->m_LogRenames.size(); ++attempt)
            EXPECT_GE(files->m_LogRenames[attempt] - files->m_LogRenames[attempt - 1], std::chrono::seconds(1));
    }
}

// A failed append, cut short or writing nothing, once or for several writes
// in a row while rotations fall due, is reported each time and loses nothing:
// once the file takes writes again, every line is there once, in order.
TEST(RotatingLogSink, FailedAppendKeepsTheLinesForTheNextWrite)
{
    const struct { bool cutShort; int failures; } cases[] = {{true, 1}, {false, 1}, {true, 3}, {false, 3}};
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::Message() << (test.cutShort ? "cut short, " : "nothing written, ") << test.failures);
        TempDir dir;
        ScopedWorkingDirectory inDir(dir.path());
        auto files = std::make_shared<FaultyFiles>();
        files->m_CutShort = test.cutShort;
        // Two 50-byte lines to a file.
        auto logger = MakeLogger(files, 120);
        std::vector<std::string> errors, sent;
        logger->set_error_handler([&](const std::string& error) { errors.push_back(error); });
        for (int line = 0; line < 8; ++line) {
            if (line == 2)
                files->m_Failures = test.failures;
            logger->info(sent.emplace_back("line " + std::to_string(line)));
            logger->flush();
        }
        logger.reset();
        EXPECT_EQ(errors.size(), static_cast<size_t>(test.failures));
        for (const std::string& error : errors)
            EXPECT_TRUE(error.starts_with("Failed writing to file tarsel.log: ")) << error;
        EXPECT_EQ(Messages({"tarsel.5.log", "tarsel.4.log", "tarsel.3.log", "tarsel.2.log", "tarsel.1.log", "tarsel.log"}), sent);
        EXPECT_TRUE(std::filesystem::exists("tarsel.2.log"));
    }
}

// A lock that is never let go (a foreign program's, or a stuck instance's)
// costs the rotation a wait, not the log.
TEST(RotatingLogSink, LockNeverLetGoOnlyDelaysTheRotation)
{
    TempDir dir;
    ScopedWorkingDirectory inDir(dir.path());
    std::ofstream("tarsel.log", std::ios::binary) << std::string(9000, 'x') << "\r\n";
    std::error_code error;
    auto holder = LogFileSystem().Open("tarsel.log", error);
    ASSERT_TRUE(holder && holder->Lock());
    auto logger = MakeLogger(std::make_shared<LogFileSystem>(), 9010);
    auto logged = std::async(std::launch::async, [&] {
        logger->info("past the limit");
        logger->flush();
    });
    const bool finished = logged.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    holder->Unlock();
    logged.get();
    EXPECT_TRUE(finished);
    logger.reset();
    EXPECT_TRUE(FileContents("tarsel.1.log") == std::string(9000, 'x') + "\r\n");
    EXPECT_EQ(Messages({"tarsel.log"}), std::vector<std::string>{"past the limit"});
}

}  // namespace
