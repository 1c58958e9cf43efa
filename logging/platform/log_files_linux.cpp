#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "logging/log_files.h"

namespace {

std::error_code LastError()
{
    return {errno, std::system_category()};
}

class LinuxLogFile final : public LogFile {
public:
    explicit LinuxLogFile(int fd) : m_Fd(fd) {}
    ~LinuxLogFile() override { close(m_Fd); }
    LinuxLogFile(const LinuxLogFile&) = delete;
    LinuxLogFile& operator=(const LinuxLogFile&) = delete;

    std::error_code Append(const char* data, size_t size, size_t& written) override
    {
        written = 0;
        while (written < size) {
            const ssize_t piece = write(m_Fd, data + written, size - written);
            if (piece < 0) {
                if (errno == EINTR)
                    continue;
                return LastError();
            }
            written += static_cast<size_t>(piece);
        }
        return {};
    }

    uint64_t Size() override
    {
        struct stat ours {};
        return fstat(m_Fd, &ours) == 0 ? static_cast<uint64_t>(ours.st_size) : 0;
    }

    bool IsNamed(const std::string& name) override
    {
        struct stat ours {}, named {};
        if (stat(name.c_str(), &named) != 0)
            return errno != ENOENT;
        return fstat(m_Fd, &ours) != 0 || (ours.st_dev == named.st_dev && ours.st_ino == named.st_ino);
    }

    bool Lock() override
    {
        return WaitForLock([this] {
            if (flock(m_Fd, LOCK_EX | LOCK_NB) == 0)
                return LockTry::taken;
            return errno == EWOULDBLOCK || errno == EINTR ? LockTry::busy : LockTry::failed;
        });
    }

    void Unlock() override { flock(m_Fd, LOCK_UN); }

private:
    int m_Fd;
};

}  // namespace

std::unique_ptr<LogFile> LogFileSystem::Open(const std::string& name, std::error_code& error)
{
    // O_APPEND: each write goes to the end as one piece, beside other writers.
    const int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = LastError();
        return nullptr;
    }
    error.clear();
    return std::make_unique<LinuxLogFile>(fd);
}

std::error_code LogFileSystem::Rename(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return LastError();
    // A file system without the flag: the caller has seen `to` absent.
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : LastError();
}
