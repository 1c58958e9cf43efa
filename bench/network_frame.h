#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One encoded frame as the benchmark hands it to the decoder. Virtual base of
// the frame records, so a record that is both a video frame and a file frame
// holds a single NetworkFrame.
class NetworkFrame {
public:
    virtual ~NetworkFrame() = default;

    // Copies up to `capacity` payload bytes to `destination`; returns the count copied.
    virtual int64_t CopyData(uint8_t* destination, size_t capacity) const = 0;
    // Payload size in bytes (the frame without its header).
    virtual size_t DataSize() const = 0;
    virtual bool QueryFlag() const = 0;
    virtual std::string Describe() const = 0;
    // Reads the frame header from the start of `data`; returns the header's size.
    virtual size_t ReadInfo(const uint8_t* data, size_t size) = 0;
    // The payload itself when the record holds it in memory (DataSize bytes,
    // valid while the record lives), else null.
    virtual const uint8_t* Payload() const { return nullptr; }
};
