#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/stream_splitter.h"

// One access unit as the reader hands it out: its bytes stay valid until the
// reader's next call.
struct AccessUnitView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t spsOffset = SplitStep::kNoSps;  // start code of its first SPS, from `data`
    uint64_t offset = 0;                   // in the file
};

// Reads an Annex B file one access unit at a time, in chunks, so memory stays
// bounded however long the file is: it holds at most one unit and the next
// unit's first slice, each no larger than the unit limit.
class StreamReader {
public:
    static constexpr size_t kDefaultChunkSize = size_t{1} << 20;
    static constexpr size_t kMaxAccessUnitSize = size_t{32} << 20;

    enum class Result { Unit, End, Failed };

    explicit StreamReader(uint8_t codec, size_t chunkSize = kDefaultChunkSize, size_t maxUnitSize = kMaxAccessUnitSize);
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Opens a regular file; false with Error() set otherwise.
    bool Open(const std::string& path);
    // The next access unit into `unit`; End after the last; Failed with Error() set.
    Result Next(AccessUnitView& unit);
    // Starts again at the file's first byte.
    bool Rewind();
    // One line: "stream: <path>: <why>".
    const std::string& Error() const { return m_Error; }
    const std::string& Path() const { return m_Path; }

private:
    Result Fail(const std::string& reason);
    Result TooLarge(uint64_t offset);
    // Appends up to one chunk, at most `room` bytes; false on a read error.
    bool ReadChunk(size_t room);

    AccessUnitSplitter m_Splitter;
    size_t m_ChunkSize;
    size_t m_MaxUnitSize;
    std::string m_Path;
    std::string m_Error;
    int m_File = -1;
    bool m_AtEnd = false;    // the file has no more bytes
    bool m_Failed = false;
    std::vector<uint8_t> m_Buffer;
    size_t m_Start = 0;      // first byte of the unit being looked for
    size_t m_Filled = 0;
    size_t m_Handed = 0;     // the unit handed out last, still readable until the next call
};
