#include "bench/file_frame.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <stdexcept>

#include "logging/spdlog_logger.h"

int64_t FileFrame::CopyData(uint8_t* destination, size_t capacity) const
{
    size_t count = std::min(DataSize(), capacity);
    if (count == 0)
        return 0;
    std::memcpy(destination, data.data() + headerSize, count);
    return static_cast<int64_t>(count);
}

size_t FileFrame::DataSize() const
{
    // headerSize never exceeds what was loaded, but a record whose header
    // could not be read must still answer with 0 rather than wrap around.
    return data.size() > headerSize ? static_cast<size_t>(data.size() - headerSize) : 0;
}

bool FileFrame::QueryFlag() const
{
    return false;
}

std::string FileFrame::Describe() const
{
    return {};
}

namespace {

// A frame that cannot be loaded leaves no record behind: the failure is
// logged here and the caller gets the same text in the exception.
[[noreturn]] void RefuseFile(const std::string& reason, const std::string& path)
{
    std::string message = "video: videoframe -> " + reason + ": " + path;
    g_Logger.Log(LogLevel::error, "%s", message.c_str());
    throw std::runtime_error(message);
}

}  // namespace

void FileFrame::LoadFile(const std::string& path, size_t minimumSize)
{
    // A directory opens as a stream too, with a nonsense length.
    std::error_code statusError;
    if (!std::filesystem::is_regular_file(path, statusError))
        RefuseFile("could not open frame file", path);
    std::ifstream stream(path, std::ios::binary | std::ios::ate);
    if (!stream.is_open())
        RefuseFile("could not open frame file", path);

    std::streamoff length = stream.tellg();
    if (length < 0 || static_cast<uint64_t>(length) > std::numeric_limits<size_t>::max())
        RefuseFile("could not read the length of frame file", path);
    if (static_cast<uint64_t>(length) < minimumSize)
        RefuseFile("frame file is shorter than its header", path);

    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        RefuseFile("frame file is too large to load", path);
    }
    stream.seekg(0);
    stream.read(reinterpret_cast<char*>(bytes.data()), length);
    // A file that shrank while we read it would leave zeros in the payload;
    // refuse it instead of decoding made-up bytes.
    if (stream.gcount() != length)
        RefuseFile("could not read frame file whole", path);

    fileSize = static_cast<uint64_t>(length);
    data = std::move(bytes);
}
