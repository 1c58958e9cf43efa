#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/video_frame.h"

// A frame record held in memory; a non-zero size announces a picture size, as
// a record starting with an SPS does.
std::unique_ptr<VideoFrame> Frame(uint8_t codec, std::vector<uint8_t> payload, size_t width = 0, size_t height = 0);

// The access units of a stream under tests/decoder/fixtures, each as its own payload.
std::vector<std::vector<uint8_t>> FixtureAccessUnits(const std::string& name, uint8_t codec);
