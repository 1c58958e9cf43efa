#include "bench/stream_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "bench/open_file.h"

namespace {

std::string Mebibytes(size_t bytes)
{
    return bytes % (size_t{1} << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace

StreamReader::StreamReader(uint8_t codec, size_t chunkSize, size_t maxUnitSize)
    : m_Splitter(codec), m_ChunkSize(std::max<size_t>(chunkSize, 1)), m_MaxUnitSize(std::max<size_t>(maxUnitSize, 1))
{
}

StreamReader::~StreamReader()
{
    if (m_File >= 0)
        close(m_File);
}

StreamReader::Result StreamReader::Fail(const std::string& reason)
{
    m_Failed = true;
    m_Error = "stream: " + m_Path + ": " + reason;
    return Result::Failed;
}

StreamReader::Result StreamReader::TooLarge(uint64_t offset)
{
    return Fail("the access unit at offset " + std::to_string(offset) + " is larger than " + Mebibytes(m_MaxUnitSize));
}

bool StreamReader::Open(const std::string& path)
{
    m_Path = path;
    if (m_File >= 0)
        close(m_File);
    m_File = OpenForReading(path);
    if (m_File < 0) {
        const int openError = errno;
        Fail(IsDirectory(path) ? std::string("it is a directory, not a video stream file")
                               : std::string("cannot open it: ") + std::strerror(openError));
        return false;
    }
    const OpenFileStatus status = StatusOfOpenFile(m_File);
    if (!status.known) {
        Fail(std::string("cannot read its length: ") + std::strerror(errno));
        return false;
    }
    if (status.directory) {
        Fail("it is a directory, not a video stream file");
        return false;
    }
    if (!status.regular) {
        Fail("it is not a regular file");
        return false;
    }
    if (status.size == 0) {
        Fail("the file is empty");
        return false;
    }
    return Rewind();
}

bool StreamReader::Rewind()
{
    if (m_File < 0) {
        Fail("the stream is not open");
        return false;
    }
    if (lseek(m_File, 0, SEEK_SET) != 0) {
        Fail(std::string("cannot go back to its start: ") + std::strerror(errno));
        return false;
    }
    m_Splitter.Restart();
    m_Error.clear();
    m_AtEnd = m_Failed = false;
    m_Start = m_Filled = m_Handed = 0;
    return true;
}

bool StreamReader::ReadChunk(size_t room)
{
    const size_t wanted = std::min(m_ChunkSize, room);
    // The unit being looked for moves to the buffer's front before the buffer grows.
    if (m_Start > 0) {
        std::memmove(m_Buffer.data(), m_Buffer.data() + m_Start, m_Filled - m_Start);
        m_Filled -= m_Start;
        m_Start = 0;
    }
    if (m_Buffer.size() < m_Filled + wanted)
        m_Buffer.resize(m_Filled + wanted);
    for (;;) {
        const auto count = read(m_File, m_Buffer.data() + m_Filled, static_cast<unsigned>(wanted));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            m_AtEnd = true;
        m_Filled += static_cast<size_t>(count);
        return true;
    }
}

StreamReader::Result StreamReader::Next(AccessUnitView& unit)
{
    if (m_File < 0)
        return Fail("the stream is not open");
    if (m_Failed)
        return Result::Failed;
    m_Start += m_Handed;
    m_Handed = 0;
    for (;;) {
        const size_t windowSize = m_Filled - m_Start;
        const SplitStep step = m_Splitter.Next(m_Buffer.data() + m_Start, windowSize, m_AtEnd);
        switch (step.kind) {
        case SplitStep::Kind::End:
            return Result::End;
        case SplitStep::Kind::Failed:
            return Fail(m_Splitter.Error());
        case SplitStep::Kind::Unit: {
            const uint64_t offset = m_Splitter.UnitOffset() - step.size;
            if (step.size > m_MaxUnitSize)
                return TooLarge(offset);
            unit = {m_Buffer.data() + m_Start, step.size, step.spsOffset, offset};
            m_Handed = step.size;
            return Result::Unit;
        }
        case SplitStep::Kind::NeedMore:
            // The window holds the unit and the next unit's first slice, each within the limit.
            if (windowSize >= 2 * m_MaxUnitSize)
                return TooLarge(m_Splitter.UnitOffset());
            if (!ReadChunk(2 * m_MaxUnitSize - windowSize))
                return Fail(std::string("cannot read it: ") + std::strerror(errno));
            break;
        }
    }
}
