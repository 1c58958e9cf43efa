#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/frame_storage.h"
#include "bench/network_frame.h"

// A frame whose bytes come from one file, held whole in memory. The payload
// is everything after the header that ReadInfo consumed.
class FileFrame : public virtual NetworkFrame {
public:
    ~FileFrame() override = default;

    int64_t CopyData(uint8_t* destination, size_t capacity) const override;
    size_t DataSize() const override;
    bool QueryFlag() const override;
    std::string Describe() const override;
    const uint8_t* Payload() const override;

    uint64_t fileSize = 0;
    FrameStorage data;
    uint64_t headerSize = 0;

protected:
    // Reads the whole file into `data`. Throws std::runtime_error naming the
    // path when the file cannot be opened or read, is no regular file (a
    // FIFO is refused without waiting for a writer), or is shorter than
    // `minimumSize`, so that no record exists for a file we cannot trust.
    void LoadFile(const std::string& path, size_t minimumSize);
};
