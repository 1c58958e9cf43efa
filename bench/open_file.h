#pragma once

#include <cstdint>
#include <string>

// Opens `path` read-only and binary, not inherited by child processes, and
// without waiting for a writer when it is a FIFO (which the caller then
// refuses as no regular file): the descriptor, or -1 with errno set.
int OpenForReading(const std::string& path);

// What the system says of an open file; Windows' plain stat could not tell a
// size past 2 GiB.
struct OpenFileStatus {
    bool known = false;  // false when it could not be asked (errno set)
    bool directory = false;
    bool regular = false;
    uint64_t size = 0;
};
OpenFileStatus StatusOfOpenFile(int fd);
// Windows refuses to open a directory (EACCES) where POSIX opens it: this
// tells that refusal apart from a file one may not read.
bool IsDirectory(const std::string& path);
