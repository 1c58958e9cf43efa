#include "logging/log_files.h"

#include <filesystem>
#include <thread>

std::error_code LogFileSystem::Remove(const std::string& name)
{
    std::error_code error;
    std::filesystem::remove(name, error);
    return error;
}

bool LogFileSystem::MayExist(const std::string& name)
{
    // A name that cannot be looked up (a file pending deletion on Windows)
    // counts as present: nothing may be renamed onto it.
    std::error_code error;
    const auto status = std::filesystem::status(name, error);
    return status.type() != std::filesystem::file_type::not_found;
}

bool WaitForLock(const std::function<LockTry()>& tryLock)
{
    // Instances hold the lock for one write or one rotation: a millisecond's
    // pause between tries is plenty.
    const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        const LockTry result = tryLock();
        if (result != LockTry::busy)
            return result == LockTry::taken;
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string DescribeLogFileError(std::error_code error)
{
    std::string text = error.message();
    // System texts may end in a period and a line end, which must not split a log line.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text + " (error " + std::to_string(error.value()) + ")";
}
