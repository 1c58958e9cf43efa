#include "logging/log_rotation.h"

std::string RotatedLogName(const std::string& name, size_t index)
{
    if (index == 0)
        return name;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return name + "." + std::to_string(index);
    return name.substr(0, dot) + "." + std::to_string(index) + name.substr(dot);
}

std::string ShiftLogFiles(LogFileSystem& files, const std::string& name, size_t kept)
{
    // Only the files below the first free place move. A shift stopped half-way
    // (tarsel.log held open elsewhere) leaves tarsel.1.log free, and the retry
    // then renames tarsel.log alone rather than pushing out one more old file
    // per try.
    size_t free = 1;
    while (free <= kept && files.MayExist(RotatedLogName(name, free)))
        ++free;
    if (free > kept) {
        free = kept;
        if (std::error_code error = files.Remove(RotatedLogName(name, kept)))
            return "could not remove " + RotatedLogName(name, kept) + ": " + DescribeLogFileError(error);
    }
    for (size_t index = free; index > 0; --index) {
        const std::string from = RotatedLogName(name, index - 1), to = RotatedLogName(name, index);
        if (std::error_code error = files.Rename(from, to))
            return "could not rename " + from + " to " + to + ": " + DescribeLogFileError(error);
    }
    return {};
}
