#include "bench/file_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <unistd.h>

#include "bench/open_file.h"

#include "logging/spdlog_logger.h"

int64_t FileFrame::CopyData(uint8_t* destination, size_t capacity) const
{
    size_t count = std::min(DataSize(), capacity);
    if (count == 0)
        return 0;
    std::memcpy(destination, data.data() + headerSize, count);
    return static_cast<int64_t>(count);
}

const uint8_t* FileFrame::Payload() const
{
    return data.data() && data.size() >= headerSize ? data.data() + headerSize : nullptr;
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

// Fits every platform's read count.
constexpr size_t kReadChunk = size_t{1} << 30;

// Closes the descriptor on every way out of the load, refusals included.
struct OpenFile {
    int fd;
    ~OpenFile() { close(fd); }
};

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
    // Non-blocking, so that a FIFO is refused below instead of waiting for a writer.
    int fd = OpenForReading(path);
    if (fd < 0)
        RefuseFile("could not open frame file", path);
    OpenFile file{fd};

    const OpenFileStatus status = StatusOfOpenFile(fd);
    if (!status.known)
        RefuseFile("could not read the length of frame file", path);
    // A directory or a device opens too, with a nonsense length.
    if (!status.regular)
        RefuseFile("could not open frame file", path);
    if (status.size > std::numeric_limits<size_t>::max())
        RefuseFile("could not read the length of frame file", path);
    size_t length = static_cast<size_t>(status.size);
    if (length < minimumSize)
        RefuseFile("frame file is shorter than its header", path);
    if (!data.Resize(length))
        RefuseFile("frame file is too large to load", path);

    // A file that shrank while we read it would leave stale bytes in the
    // payload; refuse it instead of decoding made-up data.
    size_t done = 0;
    while (done < length) {
        auto count = read(fd, data.data() + done, static_cast<unsigned>(std::min(length - done, kReadChunk)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            RefuseFile("could not read frame file whole", path);
        done += static_cast<size_t>(count);
    }
    fileSize = length;
}
