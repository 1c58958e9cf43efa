#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Bytes of a stream in tests/dxva/fixtures/; fails the current test when the
// file cannot be read (the vector is then empty).
std::vector<uint8_t> ReadFixture(const std::string& name);

// The NAL units of an Annex B stream, each from its first header byte, in
// stream order; located with the parser's own start-code search.
std::vector<std::span<const uint8_t>> SplitNalUnits(const std::vector<uint8_t>& stream);
