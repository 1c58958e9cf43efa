#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

// One open log file. Every write lands at the file's end even while another
// process appends to the same file.
class LogFile {
public:
    virtual ~LogFile() = default;
    // Sets `written` to how much of `data` reached the file, also when it
    // fails part-way: the caller writes only the rest again.
    virtual std::error_code Append(const char* data, size_t size, size_t& written) = 0;
    virtual uint64_t Size() = 0;
    // False once `name` is proven to name another file or none: another
    // process has rotated or deleted the file under us.
    virtual bool IsNamed(const std::string& name) = 0;
    // Takes this file's lock, waiting while another instance holds it.
    // False when the file system has no locks or the lock stays taken for
    // kLockWait: a foreign program holding it must not stop our logging.
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
};

enum class LockTry { taken, busy, failed };
inline constexpr std::chrono::seconds kLockWait{1};
// Repeats `tryLock` while it finds the lock busy, for up to kLockWait.
bool WaitForLock(const std::function<LockTry()>& tryLock);

// The file-system operations of the rotating log, one seam so that a test can
// make them fail. This class is the real thing; Open and Rename live in the
// platform's file.
class LogFileSystem {
public:
    virtual ~LogFileSystem() = default;
    // Opens or creates `name` for appending. Other processes may read, write,
    // rename and delete it while we hold it, so that our holding never stops
    // another instance's rotation.
    virtual std::unique_ptr<LogFile> Open(const std::string& name, std::error_code& error);
    // Never replaces an existing `to`: two instances rotating at once must
    // not rename a fresh log over a full one.
    virtual std::error_code Rename(const std::string& from, const std::string& to);
    virtual std::error_code Remove(const std::string& name);
    // True unless `name` is known to be absent.
    virtual bool MayExist(const std::string& name);
};

// "what failed: the system's text (error N)", on one line.
std::string DescribeLogFileError(std::error_code error);
