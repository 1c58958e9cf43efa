#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/video_frame.h"

// A frame record held in memory, for feeding the decoder without files.
class MemoryFrame : public VideoFrame {
public:
    explicit MemoryFrame(std::vector<uint8_t> payload) : m_Payload(std::move(payload)) {}

    int64_t CopyData(uint8_t* destination, size_t capacity) const override;
    size_t DataSize() const override { return m_Payload.size(); }
    bool QueryFlag() const override { return false; }

    std::vector<uint8_t> m_Payload;
};

// A frame that announces a picture size, as one starting with an SPS does.
std::unique_ptr<VideoFrame> SizedFrame(uint8_t codec, size_t width, size_t height, std::vector<uint8_t> payload);
std::unique_ptr<VideoFrame> UnsizedFrame(uint8_t codec, std::vector<uint8_t> payload);

// The access units of a fixture stream, each as its own payload.
std::vector<std::vector<uint8_t>> FixtureAccessUnits(const std::string& name, uint8_t codec);
