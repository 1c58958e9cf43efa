#include "bench/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifndef O_BINARY
#define O_BINARY 0
#endif
// Where FIFOs cannot block an open (or flags do not exist) there is nothing to ask for.
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
// Windows' spelling of "not inherited by child processes".
#ifndef O_NOINHERIT
#define O_NOINHERIT 0
#endif

int OpenForReading(const std::string& path)
{
    return open(path.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK | O_CLOEXEC | O_NOINHERIT);
}

bool IsDirectory(const std::string& path)
{
#ifdef _WIN32
    struct _stat64 status;
    return _stat64(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == S_IFDIR;
#else
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

OpenFileStatus StatusOfOpenFile(int fd)
{
#ifdef _WIN32
    struct _stat64 status;
    const bool known = _fstat64(fd, &status) == 0;
#else
    struct stat status;
    const bool known = fstat(fd, &status) == 0;
#endif
    if (!known || status.st_size < 0)
        return {};
    const auto type = status.st_mode & S_IFMT;
    return {true, type == S_IFDIR, type == S_IFREG, static_cast<uint64_t>(status.st_size)};
}
