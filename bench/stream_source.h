#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bench/bench_case.h"
#include "bench/frame_source.h"
#include "bench/stream_reader.h"

// The access units of one Annex B stream file as a case's frames.
class StreamFrameSource : public FrameSource {
public:
    // Reads the whole stream once, before any clock: every NAL unit is
    // parsed, the access units are counted and the largest measured, and the
    // picture size comes from the first unit's SPS. Null with a one-line
    // `error` ("stream: <path>: <why>") when the file is no stream of `codec`
    // the benchmark can run.
    static std::unique_ptr<StreamFrameSource> Open(const std::string& path, uint8_t codec, std::string& error,
                                                   size_t chunkSize = StreamReader::kDefaultChunkSize,
                                                   size_t maxUnitSize = StreamReader::kMaxAccessUnitSize);

    size_t FrameCount() const override { return m_Count; }
    std::unique_ptr<VideoFrame> Load(size_t index) override;
    std::string FrameName(size_t index) const override;

    size_t LargestFrame() const { return m_Largest; }
    // The case's row: the path, the first SPS's picture size, the codec and the unit count.
    const BenchCase& Case() const { return m_Case; }

private:
    StreamFrameSource(uint8_t codec, size_t chunkSize, size_t maxUnitSize)
        : m_Codec(codec), m_Reader(codec, chunkSize, maxUnitSize)
    {
    }

    uint8_t m_Codec;
    StreamReader m_Reader;
    BenchCase m_Case{};
    size_t m_Count = 0;
    size_t m_Largest = 0;
    size_t m_Next = 0;  // index of the unit the reader hands out next
};

// The codec a stream file's name implies: .264 and .h264 H.264, .265,
// .h265 and .hevc H.265 (any letter case); false for any other name.
bool StreamCodecFromName(const std::string& path, uint8_t& codec);
