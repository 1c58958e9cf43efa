#include "bench/stream_source.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>

#include "bench/stream_frame.h"
#include "logging/spdlog_logger.h"

std::unique_ptr<StreamFrameSource> StreamFrameSource::Open(const std::string& path, uint8_t codec, std::string& error,
                                                           size_t chunkSize, size_t maxUnitSize)
{
    std::unique_ptr<StreamFrameSource> source(new StreamFrameSource(codec, chunkSize, maxUnitSize));
    StreamReader& reader = source->m_Reader;
    if (!reader.Open(path)) {
        error = reader.Error();
        return nullptr;
    }
    source->m_Case = {path, 0, 0, codec, 0, false, 0};
    AccessUnitView unit;
    StreamReader::Result result;
    while ((result = reader.Next(unit)) == StreamReader::Result::Unit) {
        if (source->m_Count == 0) {
            const std::unique_ptr<StreamFrame> first = MakeStreamFrame(codec, 0, unit);
            if (!first) {
                error = "stream: " + path + ": out of memory for its first access unit";
                return nullptr;
            }
            if (unit.spsOffset == SplitStep::kNoSps) {
                error = "stream: " + path + ": its first access unit has no sequence parameter set";
                return nullptr;
            }
            if (first->width == 0 || first->height == 0) {
                error = "stream: " + path + ": its first sequence parameter set gives no picture size";
                return nullptr;
            }
            source->m_Case.width = first->width;
            source->m_Case.height = first->height;
        }
        // Timestamps are unit indices and must not wrap.
        if (source->m_Count == std::numeric_limits<uint32_t>::max()) {
            error = "stream: " + path + ": more than " + std::to_string(source->m_Count) + " access units";
            return nullptr;
        }
        ++source->m_Count;
        source->m_Largest = std::max(source->m_Largest, unit.size);
    }
    if (result == StreamReader::Result::Failed || !reader.Rewind()) {
        error = reader.Error();
        return nullptr;
    }
    source->m_Case.frameCount = source->m_Count;
    return source;
}

std::unique_ptr<VideoFrame> StreamFrameSource::Load(size_t index)
{
    if (index == 0 || index != m_Next) {
        if (!m_Reader.Rewind()) {
            g_Logger.Log(LogLevel::error, "%s", m_Reader.Error());
            return nullptr;
        }
        m_Next = 0;
    }
    // Only an out-of-order caller skips units; a pass never does.
    AccessUnitView unit;
    for (;;) {
        const StreamReader::Result result = m_Reader.Next(unit);
        if (result == StreamReader::Result::Failed) {
            g_Logger.Log(LogLevel::error, "%s", m_Reader.Error());
            return nullptr;
        }
        if (result == StreamReader::Result::End) {
            g_Logger.Log(LogLevel::error, "stream: %s: it ended after %zu access units, not %zu; did the file change?",
                         m_Case.path, m_Next, m_Count);
            return nullptr;
        }
        if (m_Next++ == index)
            break;
    }
    std::unique_ptr<StreamFrame> frame = MakeStreamFrame(m_Codec, static_cast<uint32_t>(index), unit);
    if (!frame)
        g_Logger.Log(LogLevel::error, "stream: %s: out of memory for %s", m_Case.path, FrameName(index));
    return frame;
}

std::string StreamFrameSource::FrameName(size_t index) const
{
    return m_Case.path + " access unit " + std::to_string(index);
}

bool StreamCodecFromName(const std::string& path, uint8_t& codec)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".264" || extension == ".h264") {
        codec = kCodecH264;
        return true;
    }
    if (extension == ".265" || extension == ".h265" || extension == ".hevc") {
        codec = kCodecH265;
        return true;
    }
    return false;
}
